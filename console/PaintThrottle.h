#pragma once
// Painting at most at the screen's pace.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QWidget;

namespace corvane::console {

// Lets a window bring its changes to the screen at most once per frame period. In RUN the
// I/O refresh flips LEDs up to a thousand times a second; each flip still sets its box's
// state and colour at once (widgets mark what changed as always), only the flush of those
// marks is held back, and the latest state is on screen within one period.
class TPaintThrottle final : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<std::int64_t()>;  // milliseconds, monotonic

    // A period of the screen's refresh interval; `clock` defaults to a steady clock.
    explicit TPaintThrottle(QWidget& window, Clock clock = {});
    TPaintThrottle(QWidget& window, int periodMs, Clock clock = {});
    ~TPaintThrottle() override;

    int Period() const { return period_; }
    // Lets a held-back flush through now (what the timer does when the period is over).
    void Flush();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    int period_;
    Clock clock_;
    std::int64_t lastFlush_;
    bool flushing_ = false;
    QTimer timer_;
};

}  // namespace corvane::console
