#pragma once
// How the controller core shows a message in the middle of an operation.
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::plc {

// Receives every text the core would show in a message box. The console shows a real
// modal box (its nested event loop keeps the timers running); the test bench prints it.
// Delivery is synchronous: the operation continues only when ShowMessage returns.
class TMessageService {
  public:
    virtual ~TMessageService() = default;
    virtual void ShowMessage(std::string_view text) = 0;
    // An error that escaped a GUI event (RunEvent). The console's box shows the error icon
    // there, as the GUI framework does; everywhere else it is a message like any other.
    virtual void ShowError(std::string_view text) { ShowMessage(text); }
};

// Installs the process-wide message service (nullptr: messages are dropped).
// Returns the previous one so that tests can restore it.
TMessageService* SetMessageService(TMessageService* service);
TMessageService* GetMessageService();

// Shows a message through the installed service.
void ShowMessage(std::string_view text);
// Shows the text of an error that escaped a GUI event through the installed service.
void ShowError(std::string_view text);

// Runs a GUI event handler the way the GUI framework does: an exception that escapes it
// ends the handler and its message is shown (ShowError). Returns false when the handler
// failed.
bool RunEvent(const std::function<void()>& handler);

}  // namespace corvane::plc
