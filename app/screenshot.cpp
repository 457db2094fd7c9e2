// Renders the console offscreen for the documentation:
//   corvane_screenshot <output directory> <program.awl>
// writes main-window.png (both panels open, the program running), module-window.png and
// memory-window.png.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "Console.h"
#include "ConsoleStyle.h"
#include "main.h"
#include "memory.h"
#include "module.h"

namespace {

void Click(QWidget& window, const char* name) {
    if (auto* box = window.findChild<QCheckBox*>(name)) box->click();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::console;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output directory> <program.awl>\n", argv[0]);
        return 2;
    }
    // No message service is installed, so no message box waits for anyone to press OK.

    TConsole console;
    TForm1& form1 = console.Form1();
    form1.show();
    if (!form1.LoadProgramFile(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "could not load %s\n", argv[2]);
        return 1;
    }
    form1.Code1Click();
    form1.LogsSimulator1Click();
    form1.RUN1Click();
    Click(form1, "chbi00");
    Click(form1, "chbi02");
    Click(form1, "chbi03");
    TModuleF& module = console.ModuleF();
    module.show();
    Click(module, "chbi20");
    Click(module, "chbi45");
    // Inputs in, one scan, outputs out; then release the start button as an operator would.
    form1.Timer1Timer();
    form1.Timer2Timer();
    form1.Timer1Timer();
    Click(form1, "chbi00");
    form1.Timer1Timer();
    TMemoryF& memory = console.MemoryF();
    form1.Plc().M.At(1, 3) = true;
    form1.Plc().M.At(4, 0) = true;
    memory.show();
    memory.Timer1Timer();
    QApplication::processEvents();

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const bool ok = form1.grab().save(dir.filePath("main-window.png")) &&
                    module.grab().save(dir.filePath("module-window.png")) &&
                    memory.grab().save(dir.filePath("memory-window.png"));
    if (!ok) std::fprintf(stderr, "could not write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
