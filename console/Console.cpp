#include "Console.h"

#include "ConsoleStyle.h"
#include "Uabout.h"
#include "Uwritebit.h"
#include "main.h"
#include "memory.h"
#include "module.h"

namespace corvane::console {

TConsole::TConsole(plc::TTimerBaseDriver::Clock clock)
    : form1_(std::make_unique<TForm1>(std::move(clock))),
      about_(std::make_unique<TaboutF>()),
      module_(std::make_unique<TModuleF>(form1_->IoBoxes())),
      memory_(std::make_unique<TMemoryF>(form1_->Plc())),
      write_(std::make_unique<TwriteF>(form1_->Plc())) {
    TForm1::TWindows windows;
    windows.About = about_.get();
    windows.Module = module_.get();
    windows.Memory = memory_.get();
    windows.WriteBit = write_.get();
    form1_->SetWindows(windows);
    for (QWidget* window :
         {static_cast<QWidget*>(about_.get()), static_cast<QWidget*>(module_.get()),
          static_cast<QWidget*>(memory_.get()), static_cast<QWidget*>(write_.get())})
        CloseOnEscape(*window);
}

TConsole::~TConsole() {
    write_.reset();
    memory_.reset();
    module_.reset();
    about_.reset();
    form1_.reset();
}

void TConsole::SetImportSymbolsWindow(QWidget* window) {
    TForm1::TWindows windows = form1_->Windows();
    windows.ImportSymbols = window;
    form1_->SetWindows(windows);
    if (window) CloseOnEscape(*window);
}

}  // namespace corvane::console
