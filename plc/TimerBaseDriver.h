#pragma once
// Keeps the timers on real time although GUI timer events come late or not at all.
#include <chrono>
#include <cstdint>
#include <functional>

namespace corvane::plc {

class TPLC;

// Calls TimerTick once per elapsed millisecond of a monotonic clock. A 1 ms GUI timer
// fires well under 1000 times a second, so counting events would run every timer slow;
// instead each event catches up on all the milliseconds since the previous one, without
// limit. The clock is injected so that tests decide how much time passes.
class TTimerBaseDriver {
  public:
    using Clock = std::function<std::chrono::nanoseconds()>;

    static std::chrono::nanoseconds SteadyNow();

    explicit TTimerBaseDriver(TPLC& plc, Clock clock = &SteadyNow);

    // Timer base event (PLCTimerTimer). Returns the number of ticks it ran.
    int64_t OnTimerEvent();

    int64_t TicksRun() const { return ticksRun_; }

  private:
    TPLC& plc_;
    Clock clock_;
    std::chrono::nanoseconds start_;
    int64_t ticksRun_ = 0;
};

}  // namespace corvane::plc
