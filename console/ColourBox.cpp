#include "ColourBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "ConsoleStyle.h"

namespace corvane::console {

TColourBox::TColourBox(const QString& caption, QWidget* parent) : TLoneCheckBox(caption, parent) {
    SetColour(kGrey);
}

void TColourBox::SetColour(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    // A box that fills its background counts as opaque to Qt, which then neither paints
    // what lies behind it nor repaints the neighbour it overlaps by a pixel when it flips.
    // The fill is the palette's colour, which the box's own colour then covers; a
    // translucent colour must show what lies behind instead.
    setAutoFillBackground(colour.alpha() == 255);
    update();
}

void TColourBox::SetIndent(int pixels) {
    indent_ = pixels;
    ForgetImages();
    update();
}

void TColourBox::DrawFace(QStylePainter& painter, const QStyleOptionButton& option) {
    if (indent_ == 0) {
        TLoneCheckBox::DrawFace(painter, option);
        return;
    }
    // The square moved right by the indent, the caption closer to it than the style puts
    // it, so that "STOP" still fits the box's 49 pixels.
    constexpr int kCaptionSpacing = 3;
    QStyleOptionButton square = option;
    square.rect =
        style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this).translated(indent_, 0);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, square);
    QRect caption = rect();
    caption.setLeft(square.rect.right() + 1 + kCaptionSpacing);
    painter.drawItemText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), text(), QPalette::WindowText);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.palette = option.palette;
        focus.rect = caption.intersected(style()->itemTextRect(
            fontMetrics(), caption, Qt::AlignLeft | Qt::AlignVCenter, isEnabled(), text()));
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace corvane::console
