#include "LoneCheckBox.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane::console {
namespace {

bool keepImages = true;

// Styles known to draw a check box from its style option alone, with no animation or
// other state of their own. A style sheet, a proxy or a desktop's style paints directly.
bool StillStyle(const QStyle& style) {
    const char* name = style.metaObject()->className();
    return std::strcmp(name, "QFusionStyle") == 0 || std::strcmp(name, "QWindowsStyle") == 0;
}

}  // namespace

TLoneCheckBox::TLoneCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    auto* alone = new QButtonGroup(this);
    alone->setExclusive(false);
    alone->addButton(this);
}

void TLoneCheckBox::SetKeepImages(bool on) {
    keepImages = on;
}

void TLoneCheckBox::keyPressEvent(QKeyEvent* event) {
    // What an ungrouped check box does with arrow keys: each moves the focus along the
    // focus chain, Up back and Down on, Left back and Right on (mirrored right to left).
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right && key != Qt::Key_Up && key != Qt::Key_Down) {
        QCheckBox::keyPressEvent(event);
        return;
    }
    const QWidget* owner = parentWidget() ? parentWidget() : this;
    const bool reverse = owner->layoutDirection() == Qt::RightToLeft;
    bool next = key == Qt::Key_Down;
    if (key == Qt::Key_Left || key == Qt::Key_Right) next = (key == Qt::Key_Right) != reverse;
    focusNextPrevChild(next);
}

void TLoneCheckBox::DrawFace(QStylePainter& painter, const QStyleOptionButton& option) {
    painter.drawControl(QStyle::CE_CheckBox, option);  // what QCheckBox::paintEvent draws
}

void TLoneCheckBox::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::LayoutDirectionChange:
        case QEvent::LocaleChange:
        case QEvent::ThemeChange:
            ForgetImages();
            break;
        default:
            break;
    }
    QCheckBox::changeEvent(event);
}

// Either the box's own colour or the palette's background that Qt fills before every
// paint; the image covers the box's whole rectangle, so it must be one opaque colour.
std::optional<QColor> TLoneCheckBox::SolidBackground(const std::optional<QColor>& own) const {
    if (own) {
        if (own->alpha() == 255) return own;
        return std::nullopt;
    }
    const QBrush& background = palette().brush(backgroundRole());
    if (autoFillBackground() && background.style() == Qt::SolidPattern && background.isOpaque())
        return background.color();
    return std::nullopt;
}

const QPixmap& TLoneCheckBox::ImageFor(const QStyleOptionButton& option, const QColor& background) {
    const int state = static_cast<int>(option.state);
    const QRgb colour = background.rgba();
    const qreal ratio = devicePixelRatio();
    const auto kept = std::find_if(images_.begin(), images_.end(), [&](const TImage& image) {
        return image.state == state && image.background == colour && image.size == size() &&
               image.ratio == ratio && image.caption == option.text;
    });
    if (kept != images_.end()) return kept->pixmap;

    QPixmap pixmap(static_cast<int>(std::ceil(width() * ratio)),
                   static_cast<int>(std::ceil(height() * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(background);
    {
        // What QPainter::begin takes from a widget it paints on.
        QStylePainter painter(&pixmap, this);
        painter.setFont(font());
        painter.setPen(QPen(option.palette.brush(foregroundRole()), 1));
        painter.setBackground(option.palette.brush(backgroundRole()));
        painter.setLayoutDirection(layoutDirection());
        DrawFace(painter, option);
    }
    if (images_.size() >= kMaxImages) images_.erase(images_.begin());
    images_.push_back({state, colour, size(), ratio, option.text, std::move(pixmap)});
    return images_.back().pixmap;
}

void TLoneCheckBox::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const std::optional<QColor> own = OwnBackground();
    // Styles read the background role too (Fusion outlines the square in a darker shade).
    if (own) option.palette.setColor(backgroundRole(), *own);
    const std::optional<QColor> solid = SolidBackground(own);
    if (!keepImages || !solid || !StillStyle(*style())) {
        QStylePainter painter(this);
        if (own) painter.fillRect(rect(), *own);
        DrawFace(painter, option);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, ImageFor(option, *solid));
}

}  // namespace corvane::console
