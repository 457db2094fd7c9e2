#pragma once
// The operator console as a whole: its windows, created in start-up order and wired.
#include <QPointer>
#include <memory>

#include "TimerBaseDriver.h"

class QWidget;

namespace corvane::console {

class TForm1;
class TaboutF;
class TModuleF;
class TMemoryF;
class TwriteF;

// Creates the windows hidden, in this order: main window (which creates the controller
// and resets it), About, Module, Memory, Write Bit; the Import Symbols window is attached
// later by the item provider. Owns them and destroys them in reverse order. Every
// secondary window, the attached one included, closes on Escape.
class TConsole {
  public:
    explicit TConsole(plc::TTimerBaseDriver::Clock clock = &plc::TTimerBaseDriver::SteadyNow);
    ~TConsole();
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // The Import Symbols window that Connect WinCC > "Add Symbols" shows (not owned).
    void SetImportSymbolsWindow(QWidget* window);

    TForm1& Form1() { return *form1_; }
    TaboutF& AboutF() { return *about_; }
    TModuleF& ModuleF() { return *module_; }
    TMemoryF& MemoryF() { return *memory_; }
    TwriteF& WriteF() { return *write_; }

  private:
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TaboutF> about_;
    std::unique_ptr<TModuleF> module_;
    std::unique_ptr<TMemoryF> memory_;
    std::unique_ptr<TwriteF> write_;
};

}  // namespace corvane::console
