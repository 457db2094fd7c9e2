#include "Uabout.h"

#include <QLabel>

#include "ConsoleStyle.h"

namespace corvane::console {
namespace {
constexpr QSize kOuterSize{246, 138};
}

TaboutF::TaboutF() : QWidget(nullptr) {
    setObjectName("aboutF");
    setWindowTitle("About");
    auto addLabel = [this](const char* name, const char* text, int points, QPoint position) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setFont(ClassicFont(points, true));
        label->adjustSize();
        label->move(position);
    };
    addLabel("Label1", "Corvane", 14, {40, 8});
    addLabel("Label2", "Ver: 1.0.2 (Bit only)", 10, {48, 32});
    setFixedSize(kOuterSize);  // not resizable; SetOuterSize keeps it fixed
    SetOuterSize(*this, kOuterSize);
}

void TaboutF::showEvent(QShowEvent* event) {
    SetOuterSize(*this, kOuterSize);
    QWidget::showEvent(event);
}

}  // namespace corvane::console
