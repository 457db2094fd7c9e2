#include "Console.h"

#include "ConsoleStyle.h"
#include "Uabout.h"
#include "Uwritebit.h"
#include "main.h"
#include "memory.h"
#include "module.h"

namespace corvane::console {
namespace {

// Builds a secondary window on its first use; later uses get the same one.
template <typename T, typename... Args>
T& Ensure(std::unique_ptr<T>& window, Args&&... args) {
    if (!window) {
        window = std::make_unique<T>(std::forward<Args>(args)...);
        CloseOnEscape(*window);
    }
    return *window;
}

}  // namespace

TConsole::TConsole(plc::TTimerBaseDriver::Clock clock)
    : form1_(std::make_unique<TForm1>(std::move(clock))),
      memoryRefresh_(std::make_unique<TMemoryRefresh>(form1_->Plc())) {
    TForm1::TWindows windows;
    windows.About = [this] { return &AboutF(); };
    windows.Module = [this] { return &ModuleF(); };
    windows.Memory = [this] { return &MemoryF(); };
    windows.WriteBit = [this] { return &WriteF(); };
    form1_->SetWindows(windows);
}

TConsole::~TConsole() {
    // Nothing may build a window any more while the others go.
    form1_->SetWindows({});
    write_.reset();
    memory_.reset();
    module_.reset();
    about_.reset();
    memoryRefresh_.reset();
    form1_.reset();
}

TaboutF& TConsole::AboutF() {
    return Ensure(about_);
}

TModuleF& TConsole::ModuleF() {
    return Ensure(module_, form1_->IoBoxes());
}

TMemoryF& TConsole::MemoryF() {
    if (!memory_) return Ensure(memory_, form1_->Plc(), std::move(memoryRefresh_));
    return *memory_;
}

TwriteF& TConsole::WriteF() {
    return Ensure(write_, form1_->Plc());
}

void TConsole::SetImportSymbolsWindow(QWidget* window) {
    if (!window) {
        SetImportSymbolsWindow(std::function<QWidget*()>());
        return;
    }
    CloseOnEscape(*window);
    SetImportSymbolsWindow([attached = QPointer<QWidget>(window)] { return attached.data(); });
}

void TConsole::SetImportSymbolsWindow(std::function<QWidget*()> source) {
    TForm1::TWindows windows = form1_->Windows();
    windows.ImportSymbols = nullptr;
    if (source) {
        windows.ImportSymbols = [source = std::move(source)]() -> QWidget* {
            QWidget* window = source();
            if (window) CloseOnEscape(*window);
            return window;
        };
    }
    form1_->SetWindows(windows);
}

}  // namespace corvane::console
