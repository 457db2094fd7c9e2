#include "ColourBox.h"

#include "ConsoleStyle.h"

namespace corvane::console {

TColourBox::TColourBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    SetColour(kGrey);
}

void TColourBox::SetColour(const QColor& colour) {
    colour_ = colour;
    SetBackground(*this, colour);
}

}  // namespace corvane::console
