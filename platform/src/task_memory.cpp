// The COM task allocator, with a switch for tests to make allocations fail.
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "corvane/platform/TestHooks.h"
#include "objbase.h"

namespace corvane::platform {
namespace {

std::mutex gHookMutex;
AllocFailurePredicate gFailure;
std::atomic<std::size_t> gOutstanding{0};

bool ShouldFail(std::size_t bytes) {
    std::lock_guard lock(gHookMutex);
    return gFailure && gFailure(bytes);
}

}  // namespace

void SetTaskMemFailure(AllocFailurePredicate predicate) {
    std::lock_guard lock(gHookMutex);
    gFailure = std::move(predicate);
}

void FailTaskMemAfter(std::size_t count) {
    auto left = std::make_shared<std::size_t>(count);
    SetTaskMemFailure([left](std::size_t) {
        if (*left == 0) return true;
        --*left;
        return false;
    });
}

std::size_t TaskMemOutstanding() {
    return gOutstanding.load();
}

}  // namespace corvane::platform

using corvane::platform::gOutstanding;

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    if (corvane::platform::ShouldFail(cb)) return nullptr;
    // A zero-byte request still yields a distinct block, as the COM allocator does.
    void* p = std::malloc(cb == 0 ? 1 : cb);
    if (p) ++gOutstanding;
    return p;
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (!pv) return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    if (corvane::platform::ShouldFail(cb)) return nullptr;
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    if (!pv) return;
    --gOutstanding;
    std::free(pv);
}
