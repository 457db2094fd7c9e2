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

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (const QString word = ComSwitchWord(argument); !word.isEmpty()) {
            result.ComSwitches.append(word);
        } else if (!result.ProgramFile && !argument.isEmpty() && !argument.startsWith('-')) {
            result.ProgramFile = argument;
        } else {
            result.Ignored.append(argument);
        }
    }
    return result;
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
