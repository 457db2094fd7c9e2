// corvane: the S7-200 CPU 224 simulator with its operator console.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "Console.h"
#include "ConsoleStyle.h"
#include "QtMessageService.h"
#include "main.h"

namespace {

bool HasPlatformArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::console;

    // Without a display Qt would abort with a terse platform error; say what to do instead.
    if (const QString problem =
            DisplayProblem(&ProcessEnvironment, HasPlatformArgument(argc, argv));
        !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 2;
    }

    // (1) Item provider initialisation goes here, before the application object: it
    //     writes the server identity, creates `Simulator` and calls RegisterOpcServer.

    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    QApplication::setApplicationVersion("1.0.2");
    QApplication::setDesktopFileName("corvane");
    QApplication::setWindowIcon(AppIcon());
    // Closing the main window ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    // (2) Application initialisation: the COM server's switches (REGSERVER, UNREGSERVER,
    //     AUTOMATION, EMBEDDING) are handled here, with class-object registration.
    const TCommandLine commandLine = ParseCommandLine(QApplication::arguments());
    for (const QString& ignored : commandLine.Ignored) {
        std::fprintf(stderr, "corvane: ignoring argument %s\n", ignored.toLocal8Bit().constData());
    }

    TQtMessageService messages;
    const TMessageServiceScope messageScope(messages);

    // (3) The windows, created hidden: main, About, Module, Memory, Write Bit ...
    TConsole console;
    // ... and the Import Symbols window (TForm2), attached with
    //     console.SetImportSymbolsWindow(...) once the item provider has it.
    TForm1& form1 = console.Form1();
    messages.SetParent(&form1);
    QObject::connect(&form1, &TForm1::Closed, &app, &QApplication::quit);

    // (4) Show the main window and run until it closes.
    form1.show();
    if (commandLine.ProgramFile) {
        const QString file = *commandLine.ProgramFile;
        QTimer::singleShot(0, &form1, [&form1, file] { form1.LoadProgramFile(file); });
    }
    return QApplication::exec();
}
