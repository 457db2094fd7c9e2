#include "LoneCheckBox.h"

#include <QButtonGroup>
#include <QKeyEvent>

namespace corvane::console {

TLoneCheckBox::TLoneCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    auto* alone = new QButtonGroup(this);
    alone->setExclusive(false);
    alone->addButton(this);
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

}  // namespace corvane::console
