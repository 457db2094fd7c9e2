#pragma once
// The memory view: ten marker bytes at a time, redrawn every second.
#include <QWidget>
#include <array>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace corvane::plc {
class TPLC;
}

namespace corvane::console {

// Shows the marker area M bit by bit, page 0 = M0..M9, page 1 = M10..M19 (M20 is never
// shown). It only reads the controller. A page change shows with the next refresh. The
// refresh timer runs from creation on, whether the window is visible or not.
class TMemoryF : public QWidget {
    Q_OBJECT
  public:
    explicit TMemoryF(plc::TPLC& plc);

    int MemoryPage = 0;

    void Button1Click();  // ">>"
    void Button2Click();  // "<<"
    void Timer1Timer();   // refresh

    static constexpr int kColumns = 10;
    QLabel* ColumnLabel(int column) const { return labels_[static_cast<size_t>(column)]; }
    QListWidget* ColumnList(int column) const { return lists_[static_cast<size_t>(column)]; }

    // How the lists show their lines "M12.3", TAB, "     1" within 65 pixels: the
    // 8-point face, made smaller only as far as the widest line needs to fit; the tab
    // stop just past the widest address; no elision.
    qreal TabStop() const { return tabStop_; }
    static constexpr int kTextMargin = 2;  // either side of the text, inside the frame

  private:
    plc::TPLC& plc_;
    std::array<QLabel*, kColumns> labels_{};
    std::array<QListWidget*, kColumns> lists_{};
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QTimer* Timer1 = nullptr;
    qreal tabStop_ = 0;
};

}  // namespace corvane::console
