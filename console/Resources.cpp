// The pictures and the icon are compiled into the console library; a static library's
// resource initialiser is only linked when something calls it, hence EnsureResources.
#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QtGlobal>

#include "ConsoleStyle.h"

static void InitCorvaneResources() {
    Q_INIT_RESOURCE(corvane);
}

namespace corvane::console {
namespace {
constexpr QSize kIconSize{128, 128};
}  // namespace

void EnsureResources() {
    static const bool initialised = (InitCorvaneResources(), true);
    (void)initialised;
}

QImage DecodeArgb(const QByteArray& data, QSize size) {
    const qint64 pixels = static_cast<qint64>(size.width()) * size.height();
    if (size.isEmpty() || data.size() % 4 != 0 || data.size() / 4 != pixels) return {};
    QImage image(size, QImage::Format_ARGB32);
    if (image.isNull()) return {};
    const auto* byte = reinterpret_cast<const unsigned char*>(data.constData());
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x, byte += 4)
            line[x] = qRgba(byte[2], byte[1], byte[0], byte[3]);
    }
    return image;
}

QIcon AppIcon() {
    EnsureResources();
    // The pixels unencoded: reading the PNG would load every image format plug-in and
    // inflate the picture before the main window can be shown. The PNG stays the
    // fallback (and is what the desktop entry installs).
    QFile raw(":/corvane/corvane.argb");
    if (raw.open(QIODevice::ReadOnly)) {
        const QImage image = DecodeArgb(raw.readAll(), kIconSize);
        if (!image.isNull()) return QIcon(QPixmap::fromImage(image));
    }
    return QIcon(":/corvane/corvane.png");
}

}  // namespace corvane::console
