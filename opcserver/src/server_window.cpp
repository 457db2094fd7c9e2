// The hidden server window's message table and the services groups and tasks use.
#include <map>
#include <mutex>
#include <stdexcept>

#include "opcserver/ItemServer.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/ServerWindow.h"

namespace corvane::opc {
namespace {

std::mutex gWindowMutex;
HWND gWindow = nullptr;
// Tasks posted and not yet run, owned here so that none outlives the window.
std::map<DWORD, std::unique_ptr<TOpcQueuedTask>> gPendingTasks;

HWND CurrentWindow() {
    std::lock_guard lock(gWindowMutex);
    return gWindow;
}

using NotifyFn = void (*)(TOpcItemServer&, void*);

// The operation of each notification code, 1 to 7.
constexpr NotifyFn kNotifications[] = {
    nullptr,
    [](TOpcItemServer& s, void* o) { s.ClientConnected(static_cast<TServerImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.ClientDisconnected(static_cast<TServerImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.ClientNameChanged(static_cast<TServerImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.GroupAdded(static_cast<TGroupImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.GroupRemoved(static_cast<TGroupImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.ItemAdded(static_cast<TGroupItemImpl*>(o)); },
    [](TOpcItemServer& s, void* o) { s.ItemRemoved(static_cast<TGroupItemImpl*>(o)); },
};

void HandleNotification(WPARAM code, LPARAM object) {
    TOpcItemServer* server = ItemServerOrNull();
    if (!server || code == 0 || code >= std::size(kNotifications)) return;
    kNotifications[code](*server, reinterpret_cast<void*>(object));
}

void HandleTimer(WPARAM id) {
    // The timer key is an identity: a tick of a target that is gone finds nothing.
    if (auto* target = OpcObjects().Find<TOpcTimerTarget>(static_cast<DWORD>(id)))
        target->UpdateTick();
}

void HandleTask(WPARAM id) {
    if (id == 0) return;
    std::unique_ptr<TOpcQueuedTask> task;
    {
        std::lock_guard lock(gWindowMutex);
        auto it = gPendingTasks.find(static_cast<DWORD>(id));
        if (it == gPendingTasks.end()) return;
        task = std::move(it->second);
        gPendingTasks.erase(it);
    }
    task->RunQueued();
}

void PassToHandleException(const std::exception& e) {
    // The handler's own failure must not unwind through the message loop.
    try {
        if (TOpcItemServer* server = ItemServerOrNull()) server->HandleException(e);
    } catch (...) {
    }
}

}  // namespace

LRESULT CALLBACK OpcWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
            case WM_TIMER:
                HandleTimer(wParam);
                return 0;
            case WM_OPC_NOTIFY:
                HandleNotification(wParam, lParam);
                return 0;
            case WM_OPC_TASK:
                HandleTask(wParam);
                return 0;
            default:
                return DefWindowProcA(hwnd, msg, wParam, lParam);
        }
    } catch (const std::exception& e) {
        PassToHandleException(e);
    } catch (...) {
        PassToHandleException(std::runtime_error("Unknown exception"));
    }
    return 1;
}

void NotifyItemServer(TNotification n, void* object) {
    const HWND hwnd = CurrentWindow();
    if (!hwnd) return;
    SendMessageA(hwnd, WM_OPC_NOTIFY, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(object));
}

bool StartServerTimer(const TOpcTimerTarget& target, UINT milliseconds) {
    const HWND hwnd = CurrentWindow();
    return hwnd && SetTimer(hwnd, target.Identity(), milliseconds, nullptr) != 0;
}

void StopServerTimer(const TOpcTimerTarget& target) {
    if (const HWND hwnd = CurrentWindow()) KillTimer(hwnd, target.Identity());
}

void DiscardServerTimerTicks() {
    const HWND hwnd = CurrentWindow();
    if (!hwnd) return;
    MSG msg{};
    while (PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
}

DWORD QueueServerTask(std::unique_ptr<TOpcQueuedTask> task) {
    const HWND hwnd = CurrentWindow();
    if (!hwnd || !task) throw EOpcError(E_FAIL);
    const DWORD id = task->Identity();
    {
        std::lock_guard lock(gWindowMutex);
        gPendingTasks[id] = std::move(task);
    }
    if (!PostMessageA(hwnd, WM_OPC_TASK, id, 0)) {
        std::lock_guard lock(gWindowMutex);
        gPendingTasks.erase(id);
        throw EOpcError(E_FAIL);
    }
    return id;
}

std::size_t PendingServerTasks() {
    std::lock_guard lock(gWindowMutex);
    return gPendingTasks.size();
}

namespace detail {

HWND CreateServerWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = OpcWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kServerWindowClass;
    RegisterClassA(&wc);  // may already be registered by an earlier item server
    const HWND hwnd = CreateWindowExA(0, kServerWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      wc.hInstance, nullptr);
    if (hwnd) {
        std::lock_guard lock(gWindowMutex);
        gWindow = hwnd;
    }
    return hwnd;
}

void DestroyServerWindow(HWND hwnd) {
    if (!hwnd) return;
    std::map<DWORD, std::unique_ptr<TOpcQueuedTask>> unrun;
    {
        std::lock_guard lock(gWindowMutex);
        if (gWindow == hwnd) gWindow = nullptr;
        unrun.swap(gPendingTasks);
    }
    DestroyWindow(hwnd);
    UnregisterClassA(kServerWindowClass, GetModuleHandleA(nullptr));
    // Tasks still queued are destroyed unrun, outside the lock.
}

}  // namespace detail
}  // namespace corvane::opc
