#pragma once
// The operator console as a whole: its windows, created in start-up order and wired.
#include <QPointer>
#include <functional>
#include <memory>

#include "TimerBaseDriver.h"

class QWidget;

namespace corvane::console {

class TForm1;
class TaboutF;
class TModuleF;
class TMemoryF;
class TMemoryRefresh;
class TwriteF;

// Creates the main window (which creates the controller and resets it) and the memory
// view's refresh; the About, Module, Memory and Write Bit windows are built hidden when
// first needed (a menu item or an accessor below), so that start-up only pays for the
// window the user sees. A late-built window shows exactly what one built at start-up would
// show: the module window's LEDs the outputs last refreshed (TIoBoxes keeps them), the
// memory view what its refresh, which runs from start-up on, last saw. The Import Symbols
// window is attached later by the item provider. Owns the windows and destroys them in
// reverse order. Every secondary window, the attached one included, closes on Escape.
class TConsole {
  public:
    explicit TConsole(plc::TTimerBaseDriver::Clock clock = &plc::TTimerBaseDriver::SteadyNow);
    ~TConsole();
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // The Import Symbols window that Connect WinCC > "Add Symbols" shows (not owned).
    void SetImportSymbolsWindow(QWidget* window);
    // The same, given by `source`, which may build it on the item's first use.
    void SetImportSymbolsWindow(std::function<QWidget*()> source);

    TForm1& Form1() { return *form1_; }
    // Each builds its window on first use.
    TaboutF& AboutF();
    TModuleF& ModuleF();
    TMemoryF& MemoryF();
    TwriteF& WriteF();

  private:
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TMemoryRefresh> memoryRefresh_;  // until the memory view takes it over
    std::unique_ptr<TaboutF> about_;
    std::unique_ptr<TModuleF> module_;
    std::unique_ptr<TMemoryF> memory_;
    std::unique_ptr<TwriteF> write_;
};

}  // namespace corvane::console
