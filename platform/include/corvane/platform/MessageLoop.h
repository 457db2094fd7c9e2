// Integration of the per-thread message queue (winuser.h) with a host event loop, such
// as Qt's: the host is told when work arrives and when the next timer falls due, and
// then lets the queue process what is due.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace corvane::platform {

// Called, from any thread, whenever a message is posted or sent to the calling thread's
// queue or one of its timers is set; the host should then schedule ProcessMessages.
void SetMessageWakeup(std::function<void()> wakeup);

// Milliseconds until the calling thread's earliest timer is due (0 if one is overdue),
// or nothing when it has no timer.
std::optional<std::uint64_t> MillisecondsUntilNextTimer();

// Dispatches every sent message, posted message and due timer tick of the calling
// thread, in that priority; returns how many were dispatched. An exception from a
// window procedure leaves this function after its message was removed.
std::size_t ProcessMessages();

}  // namespace corvane::platform
