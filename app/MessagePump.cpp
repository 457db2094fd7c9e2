#include "MessagePump.h"

#include <QMetaObject>
#include <algorithm>

#include "corvane/platform/MessageLoop.h"

namespace corvane::app {

TMessagePump::TMessagePump() {
    next_.setSingleShot(true);
    next_.setTimerType(Qt::PreciseTimer);
    connect(&next_, &QTimer::timeout, this, [this] { Pump(); });
    // The wake-up may come from any thread; the queued call runs the pump on this one,
    // and Qt drops it if the pump is gone by then.
    platform::SetMessageWakeup([this] {
        QMetaObject::invokeMethod(
            this, [this] { Pump(); }, Qt::QueuedConnection);
    });
}

TMessagePump::~TMessagePump() {
    platform::SetMessageWakeup(nullptr);
}

void TMessagePump::Pump() {
    platform::ProcessMessages();
    if (const auto due = platform::MillisecondsUntilNextTimer())
        next_.start(static_cast<int>(std::min<std::uint64_t>(*due, 1u << 30)));
    else
        next_.stop();
}

}  // namespace corvane::app
