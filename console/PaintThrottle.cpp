#include "PaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <limits>

namespace corvane::console {
namespace {

int ScreenPeriod(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const double rate = screen ? screen->refreshRate() : 60.0;
    return rate >= 1.0 ? std::max(1, static_cast<int>(std::lround(1000.0 / rate))) : 16;
}

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TPaintThrottle::TPaintThrottle(QWidget& window, Clock clock)
    : TPaintThrottle(window, ScreenPeriod(window), std::move(clock)) {}

TPaintThrottle::TPaintThrottle(QWidget& window, int periodMs, Clock clock)
    : QObject(&window),
      window_(window),
      period_(std::max(1, periodMs)),
      clock_(clock ? std::move(clock) : Clock(SteadyMilliseconds)),
      lastFlush_(std::numeric_limits<std::int64_t>::min() / 2) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TPaintThrottle::Flush);
    window_.installEventFilter(this);
}

TPaintThrottle::~TPaintThrottle() {
    window_.removeEventFilter(this);
}

void TPaintThrottle::Flush() {
    timer_.stop();
    flushing_ = true;
    // The window's own kind of request: it paints every region marked meanwhile.
    QCoreApplication::postEvent(&window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool TPaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_ || event->type() != QEvent::UpdateRequest) return false;
    const std::int64_t now = clock_();
    if (flushing_ || now - lastFlush_ >= period_) {
        flushing_ = false;
        lastFlush_ = now;
        return false;
    }
    // Held back: the marks stay with the window, and the timer brings them out.
    if (!timer_.isActive())
        timer_.start(static_cast<int>(std::max<std::int64_t>(1, period_ - (now - lastFlush_))));
    return true;
}

}  // namespace corvane::console
