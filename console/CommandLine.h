#pragma once
// What the `corvane` command line asks for, and whether a display is there to show it on.
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::console {

// The command line as given (before Qt takes its own options). The COM server's switches
// ("REGSERVER", "UNREGSERVER", "AUTOMATION", "EMBEDDING", with a leading '-' or '/', any
// letter case) are collected for the server; -h/--help and -v/--version ask for the usage
// or the version; Qt's standard options (-platform NAME, -style NAME, ...) are left to Qt;
// "--" ends the options. The one other argument names an STL program to load at start.
// Absolute paths start with '/', so a switch is recognised by its word alone. Any other
// option, or a second program, makes the command line a usage error.
struct TCommandLine {
    QStringList ComSwitches;
    std::optional<QString> ProgramFile;
    bool Help = false;
    bool Version = false;
    QString Error;  // why the command line is refused, empty when it is not
};

TCommandLine ParseCommandLine(const QStringList& arguments);  // arguments[0] is the program

// The text of `corvane --help`.
QString UsageText();

// The switch word of a COM server switch ("REGSERVER", ...), or an empty string.
QString ComSwitchWord(const QString& argument);

// Why no window can be shown, or an empty text when a display (or a chosen Qt platform)
// is there. `environment` looks up a variable; `platformArgument` is true when the command
// line carries Qt's -platform option.
using TEnvironment = QString (*)(const char* name);
QString DisplayProblem(TEnvironment environment, bool platformArgument);
QString ProcessEnvironment(const char* name);

}  // namespace corvane::console
