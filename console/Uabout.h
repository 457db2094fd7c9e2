#pragma once
// The About window.
#include <QWidget>

namespace corvane::console {

// Product name and version; nothing beyond being shown and closed. Its outer size is
// re-applied at each showing, once the platform can tell the frame.
class TaboutF : public QWidget {
    Q_OBJECT
  public:
    TaboutF();

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace corvane::console
