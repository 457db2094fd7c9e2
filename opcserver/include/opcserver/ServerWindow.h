// The hidden server window: it serialises notifications to the item server (sent, so
// they complete before the sender goes on), update ticks of groups and queued tasks
// (posted, run in order) onto the thread that created the item server.
#pragma once

#include <memory>

#include "opcserver/ObjectTable.h"
#include "winuser.h"

namespace corvane::opc {

inline constexpr const char* kServerWindowClass = "CorvaneOpcServerWindow";
inline constexpr UINT WM_OPC_NOTIFY = WM_APP + 0x0FFE;  // 0x8FFE
inline constexpr UINT WM_OPC_TASK = WM_APP + 0x0FFF;    // 0x8FFF

enum class TNotification : WPARAM {
    ClientConnected = 1,
    ClientDisconnected = 2,
    ClientNameChanged = 3,
    GroupAdded = 4,
    GroupRemoved = 5,
    ItemAdded = 6,
    ItemRemoved = 7,
};

// An object with a periodic update timer on the server window (a group).
class TOpcTimerTarget : public TOpcObject {
  public:
    virtual void UpdateTick() = 0;
};

// A task queued to the server window; run once, then destroyed. A task that should no
// longer run (cancelled, or its group is gone) decides so in RunQueued.
class TOpcQueuedTask : public TOpcObject {
  public:
    virtual void RunQueued() = 0;
};

// The window procedure of the server window.
LRESULT CALLBACK OpcWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Sends notification n with the object (a TServerImpl, TGroupImpl or TGroupItemImpl);
// nothing happens while there is no item server.
void NotifyItemServer(TNotification n, void* object);
// Periodic timer keyed by the target's identity; false when it cannot be set.
bool StartServerTimer(const TOpcTimerTarget& target, UINT milliseconds);
void StopServerTimer(const TOpcTimerTarget& target);
// Drops every timer tick pending for the server window (of all targets).
void DiscardServerTimerTicks();
// Posts the task; the window owns it from now on. Returns its identity. Raises
// EOpcError(E_FAIL) when there is no server window.
DWORD QueueServerTask(std::unique_ptr<TOpcQueuedTask> task);
// Number of tasks posted and not yet run, for tests.
std::size_t PendingServerTasks();

namespace detail {
// Called by the item server around the life of its window.
HWND CreateServerWindow();
void DestroyServerWindow(HWND hwnd);
}  // namespace detail

}  // namespace corvane::opc
