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
            if (!colourChange_) ForgetImages();
            break;
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

// The image is the box's whole rectangle, so the background under it must be one opaque
// colour that Qt fills before every paint (the faceplates' boxes all have one).
bool TLoneCheckBox::CanKeepImages() const {
    if (!keepImages || !autoFillBackground() || !StillStyle(*style())) return false;
    const QBrush& background = palette().brush(backgroundRole());
    return background.style() == Qt::SolidPattern && background.isOpaque();
}

const QPixmap& TLoneCheckBox::ImageFor(const QStyleOptionButton& option) {
    const int state = static_cast<int>(option.state);
    const QRgb background = palette().color(backgroundRole()).rgba();
    const qreal ratio = devicePixelRatio();
    const auto kept = std::find_if(images_.begin(), images_.end(), [&](const TImage& image) {
        return image.state == state && image.background == background && image.size == size() &&
               image.ratio == ratio && image.caption == option.text;
    });
    if (kept != images_.end()) return kept->pixmap;

    QPixmap pixmap(static_cast<int>(std::ceil(width() * ratio)),
                   static_cast<int>(std::ceil(height() * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(palette().color(backgroundRole()));
    {
        // What QPainter::begin takes from a widget it paints on.
        QStylePainter painter(&pixmap, this);
        painter.setFont(font());
        painter.setPen(QPen(palette().brush(foregroundRole()), 1));
        painter.setBackground(palette().brush(backgroundRole()));
        painter.setLayoutDirection(layoutDirection());
        DrawFace(painter, option);
    }
    if (images_.size() >= kMaxImages) images_.erase(images_.begin());
    images_.push_back({state, background, size(), ratio, option.text, std::move(pixmap)});
    return images_.back().pixmap;
}

void TLoneCheckBox::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    if (!CanKeepImages()) {
        QStylePainter painter(this);
        DrawFace(painter, option);
        return;
    }
    const QPixmap& image = ImageFor(option);
    QPainter painter(this);
    painter.drawPixmap(0, 0, image);
}

}  // namespace corvane::console
