#pragma once
// The memory view: ten marker bytes at a time, redrawn every second.
#include <QObject>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "PLC_Instruction.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace corvane::console {

// The memory view's refresh timer before the view exists: it runs from start-up on at the
// view's pace and keeps the markers as its last tick saw them, so that a view built later
// shows what one built at start-up would show and refreshes in the same rhythm. The view
// takes the running timer over.
class TMemoryRefresh : public QObject {
    Q_OBJECT
  public:
    static constexpr int kInterval = 1000;  // ms

    explicit TMemoryRefresh(const plc::TPLC& plc);
    ~TMemoryRefresh() override;

    // Hands the running timer over; its ticks no longer reach this object.
    std::unique_ptr<QTimer> TakeTimer();
    // The running timer until it is handed over.
    QTimer* Timer() const { return timer_.get(); }
    // The markers at the last tick; none before the first.
    const std::optional<plc::TBitArea>& LastSeen() const { return lastSeen_; }
    // What a tick does (public so that tests need not wait a second).
    void Tick();

  private:
    const plc::TPLC& plc_;
    std::unique_ptr<QTimer> timer_;
    std::optional<plc::TBitArea> lastSeen_;
};

// Shows the marker area M bit by bit, page 0 = M0..M9, page 1 = M10..M19 (M20 is never
// shown). It only reads the controller. A page change shows with the next refresh. The
// refresh timer runs from creation on, whether the window is visible or not; built from a
// TMemoryRefresh, the view adopts its timer and shows what its last tick saw.
class TMemoryF : public QWidget {
    Q_OBJECT
  public:
    explicit TMemoryF(plc::TPLC& plc);
    TMemoryF(plc::TPLC& plc, std::unique_ptr<TMemoryRefresh> refresh);

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
    void ShowMarkers(const plc::TBitArea& markers);

    plc::TPLC& plc_;
    std::array<QLabel*, kColumns> labels_{};
    std::array<QListWidget*, kColumns> lists_{};
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QTimer* Timer1 = nullptr;
    qreal tabStop_ = 0;
};

}  // namespace corvane::console
