#include "CommandLine.h"

#include <array>

namespace corvane::console {

QString ComSwitchWord(const QString& argument) {
    static const std::array<QString, 4> kWords = {"REGSERVER", "UNREGSERVER", "AUTOMATION",
                                                  "EMBEDDING"};
    if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return {};
    const QString word = argument.mid(1).toUpper();
    for (const QString& known : kWords) {
        if (word == known) return known;
    }
    return {};
}

namespace {

// Qt's own options (QGuiApplication, QApplication, the X11 platform), with one leading '-'
// or two. Those in the first list take a value, as the next argument or after '='.
const std::array<const char*, 15> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "title",         "icon",   "name"};
const std::array<const char*, 6> kQtFlags = {"reverse", "widgetcount", "nograb",
                                             "dograb",  "sync",        "testability"};

// 0: not a Qt option; 1: a Qt option alone (or with its value after '='); 2: a Qt option
// whose value is the next argument.
int QtOptionArguments(const QString& argument) {
    if (!argument.startsWith('-')) return 0;
    QString word = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
    const qsizetype equals = word.indexOf('=');
    const bool inlineValue = equals >= 0;
    if (inlineValue) word.truncate(equals);
    for (const char* option : kQtOptionsWithValue)
        if (word == QLatin1String(option)) return inlineValue ? 1 : 2;
    if (inlineValue) return word == QLatin1String("qmljsdebugger") ? 1 : 0;
    for (const char* flag : kQtFlags)
        if (word == QLatin1String(flag)) return 1;
    return 0;
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool optionsEnded = false;
    auto program = [&](const QString& argument) {
        if (result.ProgramFile) {
            if (result.Error.isEmpty())
                result.Error = QStringLiteral("only one program can be given ('%1' and '%2')")
                                   .arg(*result.ProgramFile, argument);
        } else {
            result.ProgramFile = argument;
        }
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded) {
            program(argument);
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            result.Help = true;
        } else if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            result.Version = true;
        } else if (const QString word = ComSwitchWord(argument); !word.isEmpty()) {
            result.ComSwitches.append(word);
        } else if (const int taken = QtOptionArguments(argument); taken > 0) {
            i += taken - 1;  // a missing value is Qt's to report
        } else if (argument.startsWith('-')) {
            if (result.Error.isEmpty())
                result.Error = QStringLiteral("unknown option '%1'").arg(argument);
        } else if (!argument.isEmpty()) {
            program(argument);
        }
    }
    return result;
}

QString UsageText() {
    return QStringLiteral(
        "usage: corvane [OPTION]... [PROGRAM]\n"
        "The S7-200 CPU 224 simulator with its operator console and OPC DA server.\n"
        "PROGRAM, an STL file, is loaded at start; the simulator starts in STOP.\n"
        "\n"
        "  -h, --help         print this help and exit\n"
        "  -v, --version      print the version and exit\n"
        "  /RegServer         register the OPC server and exit (no display needed)\n"
        "  /UnRegServer       unregister the OPC server and exit\n"
        "  /Automation, /Embedding\n"
        "                     a start by COM: the program ends when its last client goes\n"
        "  --modbus [HOST:]PORT\n"
        "                     serve the memory image over Modbus TCP (HOST defaults to\n"
        "                     127.0.0.1; --modbus alone listens on 127.0.0.1:1502)\n"
        "  --symbols FILE     import a symbol file at start, as \"Load Symbols\" would\n"
        "  --                 the next argument is the PROGRAM, even if it starts with '-'\n"
        "\n"
        "The COM switches also start with '-' and take any letter case. Qt's standard\n"
        "options (-platform NAME, -style NAME, -qwindowgeometry WxH+X+Y, ...) are passed\n"
        "to Qt. Without a display, run it under xvfb-run or with QT_QPA_PLATFORM=offscreen.\n");
}

QString ProcessEnvironment(const char* name) {
    return qEnvironmentVariable(name);
}

QString DisplayProblem(TEnvironment environment, bool platformArgument) {
    if (platformArgument || !environment("QT_QPA_PLATFORM").isEmpty()) return {};
    if (!environment("DISPLAY").isEmpty() || !environment("WAYLAND_DISPLAY").isEmpty()) return {};
    return QStringLiteral(
        "corvane: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
        "Start it from a desktop session, under a virtual display with\n"
        "    xvfb-run corvane [program.awl]\n"
        "or without any window on screen with\n"
        "    QT_QPA_PLATFORM=offscreen corvane [program.awl]");
}

}  // namespace corvane::console
