// Draws the console's pictures from scratch and writes them as the JPEG and PNG assets, and
// the icon's pixels once more unencoded (corvane.argb), which start-up reads.
// Usage: corvane_make_assets <output directory>
// Everything is plain shapes painted here; nothing is taken from any other picture.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr QColor kHousing{58, 63, 70};
constexpr QColor kHousingLight{84, 91, 100};
constexpr QColor kStrip{42, 46, 51};
constexpr QColor kTerminal{150, 155, 160};
constexpr QColor kCover{116, 128, 138};
constexpr QColor kPrint{225, 228, 232};

bool WriteJpeg(const QImage& source, const QString& path, int quality) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

QLinearGradient Vertical(QRectF r, QColor top, QColor bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A row of screw terminals between x0 and x1, centred on y.
void Terminals(QPainter& p, double x0, double x1, double y, double pitch, double size) {
    for (double x = x0; x + size <= x1; x += pitch) {
        const QRectF cell(x, y - size / 2, size, size);
        p.setPen(QPen(QColor(20, 22, 25), 0.8));
        p.setBrush(Vertical(cell, QColor(190, 194, 198), kTerminal));
        p.drawRect(cell);
        const QRectF screw = cell.adjusted(size * 0.18, size * 0.18, -size * 0.18, -size * 0.18);
        p.setBrush(QColor(96, 100, 105));
        p.drawEllipse(screw);
        p.setPen(QPen(QColor(40, 42, 45), 1.2));
        p.drawLine(QPointF(screw.left() + 1, screw.center().y()),
                   QPointF(screw.right() - 1, screw.center().y()));
    }
}

void Text(QPainter& p, QRectF r, const QString& text, int pixels, QColor colour,
          int flags = Qt::AlignCenter, bool bold = true) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, flags, text);
}

QImage Faceplate() {
    QImage image(393, 201, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Housing with a soft top light.
    p.fillRect(image.rect(), Vertical(image.rect(), kHousingLight, kHousing));
    // Terminal strips, top and bottom.
    p.fillRect(QRectF(0, 0, 393, 24), kStrip);
    p.fillRect(QRectF(0, 186, 393, 15), kStrip);
    Terminals(p, 6, 300, 12, 14, 11);
    Terminals(p, 6, 300, 193.5, 14, 10);
    Text(p, QRectF(304, 2, 86, 20), "24V DC", 9, kPrint);
    Text(p, QRectF(304, 187, 86, 13), "IN / OUT", 8, kPrint);

    // Status column behind RUN / STOP / SF.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(34, 37, 41));
    p.drawRoundedRect(QRectF(-4, 28, 58, 58), 4, 4);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(70, 76, 84));
        p.drawEllipse(QRectF(52 - 9, 35 + 16 * i, 6, 6));
    }

    // Hinged clear cover over the I/O indicators, with a column header per byte.
    const QRectF cover(70, 26, 222, 152);
    p.setPen(QPen(QColor(30, 33, 36), 1.5));
    p.setBrush(Vertical(cover, kCover.lighter(115), kCover));
    p.drawRoundedRect(cover, 5, 5);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawLine(QPointF(cover.left() + 6, cover.top() + 3),
               QPointF(cover.right() - 6, cover.top() + 3));
    const struct {
        double Left;
        int Rows;
        const char* Name;
    } columns[] = {{80, 8, "I0"}, {128, 6, "I1"}, {192, 8, "Q0"}, {240, 2, "Q1"}};
    for (const auto& c : columns) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 44, 48, 170));
        p.drawRoundedRect(QRectF(c.Left - 3, 38, 39, 16.0 * c.Rows + 5), 3, 3);
        Text(p, QRectF(c.Left - 3, 27, 39, 11), c.Name, 9, kPrint);
    }
    // Recessed name plate below the door, behind the model labels.
    p.setPen(QPen(QColor(28, 30, 33), 1));
    p.setBrush(QColor(150, 154, 158));
    p.drawRoundedRect(QRectF(234, 131, 154, 52), 3, 3);

    // Right-hand door: vents, a communication port and an adjustment knob.
    const QRectF door(300, 28, 89, 98);
    p.setPen(QPen(QColor(28, 30, 33), 1.5));
    p.setBrush(Vertical(door, QColor(72, 78, 86), QColor(52, 57, 63)));
    p.drawRoundedRect(door, 4, 4);
    p.setPen(QPen(QColor(25, 27, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 5; ++i) p.drawLine(QPointF(346, 38 + 8 * i), QPointF(380, 38 + 8 * i));
    QPainterPath port;
    port.moveTo(308, 84);
    port.lineTo(334, 84);
    port.lineTo(331, 98);
    port.lineTo(311, 98);
    port.closeSubpath();
    p.setPen(QPen(QColor(20, 22, 24), 1.2));
    p.setBrush(QColor(170, 174, 178));
    p.drawPath(port);
    p.setBrush(QColor(30, 32, 35));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QRectF(311.5 + 4.5 * i, 88, 2.4, 2.4));
    p.setBrush(QColor(190, 194, 198));
    p.drawEllipse(QRectF(354, 82, 18, 18));
    p.setPen(QPen(QColor(40, 42, 45), 2));
    p.drawLine(QPointF(363, 84), QPointF(363, 91));
    Text(p, QRectF(302, 108, 85, 12), "PORT 0", 8, kPrint);
    p.end();
    return image;
}

QImage Module() {
    QImage image(89, 145, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), Vertical(image.rect(), kHousingLight, kHousing));
    p.fillRect(QRectF(0, 0, 89, 6), kStrip);
    p.fillRect(QRectF(0, 140, 89, 5), kStrip);
    Terminals(p, 3, 88, 3, 7, 5);
    Terminals(p, 3, 88, 142.5, 7, 4);
    for (double left : {5.0, 45.0}) {
        const QRectF window(left, 7, 39, 132);
        p.setPen(QPen(QColor(30, 33, 36), 1));
        p.setBrush(Vertical(window, kCover.lighter(115), kCover));
        p.drawRoundedRect(window, 3, 3);
        for (int b = 0; b < 8; ++b) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(46, 50, 55));
            p.drawEllipse(QRectF(left + 30, 12 + 16 * b, 5, 5));
        }
    }
    p.end();
    return image;
}

QImage Icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(QRectF(0, 0, 128, 128), QColor(70, 110, 150), QColor(32, 58, 88)));
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
    // A compact controller body with one row of inputs and one of outputs.
    const QRectF body(18, 30, 92, 68);
    p.setBrush(Vertical(body, kHousingLight.lighter(130), kHousing));
    p.drawRoundedRect(body, 8, 8);
    p.setBrush(kStrip);
    p.drawRect(QRectF(18, 30, 92, 10));
    p.drawRect(QRectF(18, 88, 92, 10));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i % 2 == 0 ? QColor(255, 255, 0) : QColor(120, 124, 128));
        p.drawEllipse(QRectF(30 + 19 * i, 50, 11, 11));
        p.setBrush(i == 1 ? QColor(90, 220, 90) : QColor(120, 124, 128));
        p.drawEllipse(QRectF(30 + 19 * i, 68, 11, 11));
    }
    p.end();
    return image;
}

// The icon's pixels as the program reads them at start-up: row by row, four bytes per
// pixel in the order blue, green, red, alpha (no header; the size is the program's).
bool WriteArgb(const QImage& picture, const QString& path) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            for (const int channel : {qBlue(pixel), qGreen(pixel), qRed(pixel), qAlpha(pixel)})
                bytes.append(static_cast<char>(channel));
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = WriteJpeg(Faceplate(), dir.filePath("faceplate.jpg"), 90);
    ok = WriteJpeg(Module(), dir.filePath("module.jpg"), 90) && ok;
    const QImage icon = Icon(128);
    ok = icon.save(dir.filePath("corvane.png")) && ok;
    ok = WriteArgb(icon, dir.filePath("corvane.argb")) && ok;
    if (!ok) std::fprintf(stderr, "could not write the assets into %s\n", argv[1]);
    return ok ? 0 : 1;
}
