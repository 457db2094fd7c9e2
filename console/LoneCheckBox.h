#pragma once
// A check box that is cheap to uncheck among many siblings.
#include <QCheckBox>

namespace corvane::console {

// A QCheckBox alone in a non-exclusive button group of its own, otherwise the same.
// An ungrouped QAbstractButton looks through every sibling (findChildren plus a cast each)
// whenever it is unchecked, to find an exclusive partner it does not have; in RUN the I/O
// refresh unchecks LEDs up to a thousand times a second on windows of a hundred boxes, and
// that search was the largest single cost of the console. The group answers the same
// question at once. Arrow keys, which Qt treats differently for grouped buttons, are given
// the ungrouped behaviour back.
class TLoneCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    TLoneCheckBox(const QString& caption, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace corvane::console
