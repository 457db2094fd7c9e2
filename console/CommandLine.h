#pragma once
// What the `corvane` command line asks for, and whether a display is there to show it on.
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::console {

// The arguments after Qt has taken its own. The COM server's switches ("REGSERVER",
// "UNREGSERVER", "AUTOMATION", "EMBEDDING", with a leading '-' or '/', any letter case)
// are collected for the server; the first other argument names an STL program to load
// at start. Absolute paths start with '/', so a switch is recognised by its word alone.
struct TCommandLine {
    QStringList ComSwitches;
    std::optional<QString> ProgramFile;
    QStringList Ignored;  // further arguments, reported and otherwise left alone
};

TCommandLine ParseCommandLine(const QStringList& arguments);  // arguments[0] is the program

// The switch word of a COM server switch ("REGSERVER", ...), or an empty string.
QString ComSwitchWord(const QString& argument);

// Why no window can be shown, or an empty text when a display (or a chosen Qt platform)
// is there. `environment` looks up a variable; `platformArgument` is true when the command
// line carries Qt's -platform option.
using TEnvironment = QString (*)(const char* name);
QString DisplayProblem(TEnvironment environment, bool platformArgument);
QString ProcessEnvironment(const char* name);

}  // namespace corvane::console
