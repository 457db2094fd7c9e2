#pragma once
// The expansion-module window: six digital modules, I2..I7 and Q2..Q7.
#include <QWidget>
#include <memory>

#include "PaintThrottle.h"

class QCheckBox;

namespace corvane::console {

class TIoBoxes;

// Six modules of eight switches and eight LEDs. The boxes have no handlers of their own
// and never change colour; only their check marks carry the state, which the I/O refresh
// reads and sets whether the window is shown or not. The window can be dragged by its
// background: the pictures, labels and boxes keep their mouse presses to themselves.
class TModuleF : public QWidget {
    Q_OBJECT
  public:
    explicit TModuleF(TIoBoxes& io);

    bool Dragging = false;

    QCheckBox* InputBox(int byte, int bit) const;
    QCheckBox* OutputBox(int byte, int bit) const;

    void FormMouseDown();
    void FormMouseMove(QPoint client);
    void FormMouseUp();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    TIoBoxes& io_;
    std::unique_ptr<TPaintThrottle> paintThrottle_;
};

}  // namespace corvane::console
