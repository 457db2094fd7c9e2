#include "TimerBaseDriver.h"

#include "PLC_Instruction.h"

namespace corvane::plc {

std::chrono::nanoseconds TTimerBaseDriver::SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

TTimerBaseDriver::TTimerBaseDriver(TPLC& plc, Clock clock)
    : plc_(plc), clock_(std::move(clock)), start_(clock_()) {}

int64_t TTimerBaseDriver::OnTimerEvent() {
    using std::chrono::milliseconds;
    const int64_t due = std::chrono::duration_cast<milliseconds>(clock_() - start_).count();
    int64_t ran = 0;
    // ticksRun_ is advanced before each tick: if a tick ever opened a nested event loop,
    // an event inside it would not run the same millisecond twice.
    while (ticksRun_ < due) {
        ++ticksRun_;
        plc_.TimerTick();
        ++ran;
    }
    return ran;
}

}  // namespace corvane::plc
