#include "ColourBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "ConsoleStyle.h"

namespace corvane::console {

TColourBox::TColourBox(const QString& caption, QWidget* parent) : TLoneCheckBox(caption, parent) {
    SetColour(kGrey);
}

void TColourBox::SetColour(const QColor& colour) {
    colour_ = colour;
    const QRgb key = colour.rgba();
    BeginColourChange();
    const auto kept = std::find_if(palettes_.begin(), palettes_.end(),
                                   [key](const auto& entry) { return entry.first == key; });
    if (kept != palettes_.end()) {
        setPalette(kept->second);
    } else {
        SetBackground(*this, colour);
        palettes_.emplace_back(key, palette());
    }
    EndColourChange();
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
                         palette(), isEnabled(), text(), QPalette::WindowText);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = caption.intersected(style()->itemTextRect(
            fontMetrics(), caption, Qt::AlignLeft | Qt::AlignVCenter, isEnabled(), text()));
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace corvane::console
