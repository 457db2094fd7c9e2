#include "ColourBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "ConsoleStyle.h"

namespace corvane::console {

TColourBox::TColourBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    SetColour(kGrey);
}

void TColourBox::SetColour(const QColor& colour) {
    colour_ = colour;
    SetBackground(*this, colour);
}

void TColourBox::SetIndent(int pixels) {
    indent_ = pixels;
    update();
}

void TColourBox::paintEvent(QPaintEvent* event) {
    if (indent_ == 0) {
        QCheckBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect.adjust(indent_, 0, 0, 0);
    painter.drawControl(QStyle::CE_CheckBox, option);
}

}  // namespace corvane::console
