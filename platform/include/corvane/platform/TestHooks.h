// Switches that let tests reach failure paths of the platform stand-in (allocation
// failures, a refused clipboard format or window) and control the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace corvane::platform {

// Decides per request whether the task allocator fails; nullptr restores normal service.
using AllocFailurePredicate = std::function<bool(std::size_t bytes)>;
void SetTaskMemFailure(AllocFailurePredicate predicate);
// Makes the next `count` task allocations succeed and every later one fail.
void FailTaskMemAfter(std::size_t count);
// Number of task-memory blocks handed out and not yet freed, for leak checks.
std::size_t TaskMemOutstanding();

// A refused clipboard-format registration (RegisterClipboardFormat returns 0).
void SetClipboardFormatFailure(std::function<bool(const char* name)> predicate);
// A refused window creation (CreateWindowEx returns nullptr).
void SetCreateWindowFailure(bool fail);

// Milliseconds of a monotonic clock; drives GetTickCount and the message-queue timers.
using TickSource = std::function<std::uint64_t()>;
void SetTickSource(TickSource source);  // nullptr restores the steady clock
std::uint64_t CurrentTick();

// Receives every CoDisconnectObject call (a remote bridge drops its proxies here).
void SetDisconnectHandler(std::function<void(void* unknown)> handler);

}  // namespace corvane::platform
