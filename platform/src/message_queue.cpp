// Message-only windows and the per-thread message queue: messages sent from other
// threads come first, then posted messages in posting order, then due timer ticks.
// A timer has at most one pending tick; taking it reschedules the timer a full
// period later, and discarding it (PeekMessage with PM_REMOVE) does the same.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/MessageLoop.h"
#include "corvane/platform/TestHooks.h"
#include "winbase.h"
#include "winuser.h"
#include "corvane/platform/LocalServer.h"

namespace corvane::platform {
namespace {

constexpr UINT kMinimumTimer = 10;  // USER_TIMER_MINIMUM

struct SentMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool done = false;
    LRESULT result = 0;
    std::exception_ptr error;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    std::uint64_t due;
    TIMERPROC proc;
};

struct ThreadQueue {
    std::mutex mutex;
    std::condition_variable doneSignal;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    std::function<void()> wakeup;

    void Wake() {
        std::function<void()> w;
        {
            std::lock_guard lock(mutex);
            w = wakeup;
        }
        doneSignal.notify_all();
        if (w) w();
    }
};

struct Window {
    WNDPROC proc;
    std::thread::id owner;
    std::shared_ptr<ThreadQueue> queue;
    std::string classKey;
};

struct WindowClass {
    std::string name;
    WNDPROC proc;
    HINSTANCE instance;
};

std::mutex gMutex;  // guards the three tables below
std::map<HWND, Window> gWindows;
std::map<std::string, WindowClass> gClasses;
std::uintptr_t gNextHandle = 0x10000;
std::atomic<bool> gFailCreate{false};
ATOM gNextAtom = 0xC000;

thread_local std::shared_ptr<ThreadQueue> tQueue;

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!tQueue) tQueue = std::make_shared<ThreadQueue>();
    return tQueue;
}

std::string ClassKey(LPCSTR name) {
    std::string k = name ? name : "";
    for (char& c : k)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return k;
}

std::optional<Window> FindWindowEntry(HWND hwnd) {
    std::lock_guard lock(gMutex);
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end()) return std::nullopt;
    return it->second;
}

bool InRange(UINT msg, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

// Runs the messages other threads sent to this thread's windows.
void DeliverSent(ThreadQueue& q) {
    for (;;) {
        std::shared_ptr<SentMessage> m;
        {
            std::lock_guard lock(q.mutex);
            if (q.sent.empty()) return;
            m = q.sent.front();
            q.sent.pop_front();
        }
        const auto w = FindWindowEntry(m->hwnd);
        try {
            m->result = w ? w->proc(m->hwnd, m->msg, m->wParam, m->lParam) : 0;
        } catch (...) {
            m->error = std::current_exception();
        }
        {
            std::lock_guard lock(q.mutex);
            m->done = true;
        }
        q.doneSignal.notify_all();
    }
}

}  // namespace

void SetCreateWindowFailure(bool fail) {
    gFailCreate = fail;
}

void SetMessageWakeup(std::function<void()> wakeup) {
    auto q = CurrentQueue();
    std::lock_guard lock(q->mutex);
    q->wakeup = std::move(wakeup);
}

std::optional<std::uint64_t> MillisecondsUntilNextTimer() {
    auto q = CurrentQueue();
    const std::uint64_t now = CurrentTick();
    std::lock_guard lock(q->mutex);
    std::optional<std::uint64_t> next;
    for (const Timer& t : q->timers) {
        const std::uint64_t wait = t.due > now ? t.due - now : 0;
        if (!next || wait < *next) next = wait;
    }
    return next;
}

std::size_t ProcessMessages() {
    std::size_t count = 0;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
        ++count;
    }
    return count;
}

}  // namespace corvane::platform

using namespace corvane::platform;

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(gMutex);
    const std::string key = ClassKey(wc->lpszClassName);
    if (gClasses.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    gClasses[key] = WindowClass{wc->lpszClassName, wc->lpfnWndProc, wc->hInstance};
    return gNextAtom++;
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    std::lock_guard lock(gMutex);
    const std::string key = ClassKey(lpClassName);
    for (const auto& [h, w] : gWindows)
        if (w.classKey == key) return FALSE;  // the class still has windows
    if (gClasses.erase(key) == 0) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR lpClassName, LPWNDCLASSA wc) {
    std::lock_guard lock(gMutex);
    auto it = gClasses.find(ClassKey(lpClassName));
    if (it == gClasses.end() || !wc) return FALSE;
    *wc = WNDCLASSA{};
    wc->lpfnWndProc = it->second.proc;
    wc->hInstance = it->second.instance;
    wc->lpszClassName = it->second.name.c_str();
    return TRUE;
}

HINSTANCE GetModuleHandleA(LPCSTR) {
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000});
}

HWND CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR, DWORD, INT, INT, INT, INT, HWND, HMENU,
                     HINSTANCE, LPVOID) {
    if (gFailCreate) return nullptr;
    auto queue = CurrentQueue();
    std::lock_guard lock(gMutex);
    auto cls = gClasses.find(ClassKey(lpClassName));
    if (cls == gClasses.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    // Handles are numbers, never addresses: nothing is reached through one unchecked.
    const auto hwnd = reinterpret_cast<HWND>(gNextHandle);
    gNextHandle += 0x10;
    gWindows[hwnd] = Window{cls->second.proc, std::this_thread::get_id(), queue, cls->first};
    return hwnd;
}

BOOL IsWindow(HWND hWnd) {
    return FindWindowEntry(hWnd) ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND hWnd) {
    std::shared_ptr<ThreadQueue> q;
    {
        std::lock_guard lock(gMutex);
        auto it = gWindows.find(hWnd);
        if (it == gWindows.end() || it->second.owner != std::this_thread::get_id()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        q = it->second.queue;
        gWindows.erase(it);
    }
    std::lock_guard lock(q->mutex);
    std::erase_if(q->posted, [&](const MSG& m) { return m.hwnd == hWnd; });
    std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hWnd; });
    for (auto& s : q->sent)
        if (s->hwnd == hWnd) s->done = true;
    std::erase_if(q->sent, [&](const auto& s) { return s->hwnd == hWnd; });
    q->doneSignal.notify_all();
    return TRUE;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const auto w = FindWindowEntry(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->owner == std::this_thread::get_id()) return w->proc(hWnd, Msg, wParam, lParam);
    // Another thread owns the window: queue the message there and wait until that
    // thread has run it.
    auto m = std::make_shared<SentMessage>();
    m->hwnd = hWnd;
    m->msg = Msg;
    m->wParam = wParam;
    m->lParam = lParam;
    {
        std::lock_guard lock(w->queue->mutex);
        w->queue->sent.push_back(m);
    }
    w->queue->Wake();
    std::unique_lock lock(w->queue->mutex);
    w->queue->doneSignal.wait(lock, [&] { return m->done; });
    if (m->error) std::rethrow_exception(m->error);
    return m->result;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> q;
    if (!hWnd) {
        q = CurrentQueue();
    } else {
        const auto w = FindWindowEntry(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        q = w->queue;
    }
    {
        std::lock_guard lock(q->mutex);
        q->posted.push_back(MSG{hWnd, Msg, wParam, lParam, GetTickCount(), {}});
    }
    q->Wake();
    return TRUE;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    const auto w = FindWindowEntry(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const UINT period = std::max(uElapse, kMinimumTimer);
    const std::uint64_t due = CurrentTick() + period;
    {
        std::lock_guard lock(w->queue->mutex);
        auto& timers = w->queue->timers;
        auto it = std::find_if(timers.begin(), timers.end(),
                               [&](const Timer& t) { return t.hwnd == hWnd && t.id == nIDEvent; });
        if (it != timers.end())
            *it = Timer{hWnd, nIDEvent, period, due, lpTimerFunc};
        else
            timers.push_back(Timer{hWnd, nIDEvent, period, due, lpTimerFunc});
    }
    w->queue->Wake();
    return nIDEvent == 0 ? 1 : nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    const auto w = FindWindowEntry(hWnd);
    if (!w) return FALSE;
    std::lock_guard lock(w->queue->mutex);
    const auto removed = std::erase_if(
        w->queue->timers, [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
    return removed ? TRUE : FALSE;
}

namespace corvane::platform {
namespace {
// Function-local: a transport installs itself from a static initialiser of its own.
struct TSourceSlot {
    std::mutex Mutex;
    ExternalMessageSource Source;
};
TSourceSlot& SourceSlot() {
    static TSourceSlot slot;
    return slot;
}
thread_local int tPolling = 0;

ExternalMessageSource CurrentSource() {
    std::lock_guard lock(SourceSlot().Mutex);
    return SourceSlot().Source;
}
}  // namespace

void SetExternalMessageSource(ExternalMessageSource source) {
    std::lock_guard lock(SourceSlot().Mutex);
    SourceSlot().Source = std::move(source);
}
}  // namespace corvane::platform

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT lo, UINT hi, UINT wRemoveMsg) {
    if (!lpMsg) return FALSE;
    // Incoming calls from outside are served first, as a window message would be; not
    // again from inside one of them.
    if (const auto source = CurrentSource(); source.Poll && tPolling == 0) {
        ++tPolling;
        try {
            source.Poll();
        } catch (...) {
            --tPolling;
            throw;
        }
        --tPolling;
    }
    auto q = CurrentQueue();
    DeliverSent(*q);
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    std::lock_guard lock(q->mutex);
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        if ((hWnd && it->hwnd != hWnd) || !InRange(it->message, lo, hi)) continue;
        *lpMsg = *it;
        if (remove) q->posted.erase(it);
        return TRUE;
    }
    if (!InRange(WM_TIMER, lo, hi)) return FALSE;
    const std::uint64_t now = CurrentTick();
    Timer* next = nullptr;
    for (Timer& t : q->timers) {
        if ((hWnd && t.hwnd != hWnd) || t.due > now) continue;
        if (!next || t.due < next->due) next = &t;
    }
    if (!next) return FALSE;
    *lpMsg = MSG{next->hwnd,
                 WM_TIMER,
                 next->id,
                 reinterpret_cast<LPARAM>(next->proc),
                 static_cast<DWORD>(now),
                 {}};
    if (remove) next->due = now + next->period;
    return TRUE;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT lo, UINT hi) {
    if (!lpMsg) return -1;
    for (;;) {
        if (PeekMessageA(lpMsg, hWnd, lo, hi, PM_REMOVE)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        const auto due = MillisecondsUntilNextTimer();
        const int timeout =
            due ? static_cast<int>(std::min<std::uint64_t>(*due, 1u << 30)) : -1;
        if (const auto source = CurrentSource(); source.Wait) {
            source.Wait(timeout);
            continue;
        }
        auto q = CurrentQueue();
        std::unique_lock lock(q->mutex);
        const auto ready = [&] { return !q->posted.empty() || !q->sent.empty(); };
        if (timeout < 0)
            q->doneSignal.wait(lock, ready);
        else
            q->doneSignal.wait_for(lock, std::chrono::milliseconds(timeout), ready);
    }
}

void PostQuitMessage(INT nExitCode) {
    PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        // Only a timer procedure this queue registered is called.
        const auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        bool known = false;
        if (const auto w = FindWindowEntry(lpMsg->hwnd)) {
            std::lock_guard lock(w->queue->mutex);
            for (const Timer& t : w->queue->timers)
                if (t.hwnd == lpMsg->hwnd && t.id == lpMsg->wParam && t.proc == proc) known = true;
        }
        if (!known) return 0;
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    const auto w = FindWindowEntry(lpMsg->hwnd);
    if (!w) return 0;
    return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
