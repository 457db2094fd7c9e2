// Command-line arguments: the program file versus the COM server's switches; the display check.
#include <gtest/gtest.h>

#include <map>

#include "CommandLine.h"
#include "case_names.h"

namespace corvane::console {
namespace {

struct TArgsCase {
    QStringList Arguments;
    QStringList Switches;
    QString Program;  // empty: none
    QString Error;    // empty: accepted
    bool Help = false;
    bool Version = false;
};

class CommandLineTest : public ::testing::TestWithParam<TArgsCase> {};

TEST_P(CommandLineTest, SplitsSwitchesOptionsAndTheProgramFile) {
    QStringList arguments = GetParam().Arguments;
    arguments.prepend("corvane");
    const TCommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.ComSwitches, GetParam().Switches);
    EXPECT_EQ(line.ProgramFile.value_or(QString()), GetParam().Program);
    EXPECT_EQ(line.Error, GetParam().Error);
    EXPECT_EQ(line.Help, GetParam().Help);
    EXPECT_EQ(line.Version, GetParam().Version);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(
        TArgsCase{{}, {}, "", ""}, TArgsCase{{"motor.awl"}, {}, "motor.awl", ""},
        TArgsCase{{"/home/op/motor.awl"}, {}, "/home/op/motor.awl", ""},
        TArgsCase{{"/RegServer"}, {"REGSERVER"}, "", ""},
        TArgsCase{{"-Embedding", "/tmp/a.awl"}, {"EMBEDDING"}, "/tmp/a.awl", ""},
        TArgsCase{{"-unregserver", "/AUTOMATION"}, {"UNREGSERVER", "AUTOMATION"}, "", ""},
        TArgsCase{{"/regserver.awl"}, {}, "/regserver.awl", ""},
        TArgsCase{
            {"a.awl", "b.awl"}, {}, "a.awl", "only one program can be given ('a.awl' and 'b.awl')"},
        TArgsCase{{"--verbose", "a.awl"}, {}, "a.awl", "unknown option '--verbose'"},
        TArgsCase{{"-x"}, {}, "", "unknown option '-x'"}, TArgsCase{{"--help"}, {}, "", "", true},
        TArgsCase{{"-h", "a.awl"}, {}, "a.awl", "", true},
        TArgsCase{{"--version"}, {}, "", "", false, true},
        TArgsCase{{"-v"}, {}, "", "", false, true},
        // Qt's own options and their values are Qt's
        TArgsCase{{"-platform", "offscreen", "a.awl"}, {}, "a.awl", ""},
        TArgsCase{{"--platform", "xcb", "-style=fusion", "-reverse", "a.awl"}, {}, "a.awl", ""},
        TArgsCase{{"-qwindowgeometry", "400x300+0+0", "-style", "fusion"}, {}, "", ""},
        // "--" ends the options
        TArgsCase{{"--", "-odd.awl"}, {}, "-odd.awl", ""},
        TArgsCase{{"--", "a.awl", "b.awl"},
                  {},
                  "a.awl",
                  "only one program can be given ('a.awl' and 'b.awl')"}),
    [](const auto& info) {
        const QString words = info.param.Arguments.join(' ');
        return words.isEmpty()
                   ? std::string("NoArguments")
                   : corvane::test::CaseName(words.toStdString(),
                                             {{'/', "Slash"}, {'-', "Dash"}, {'.', "Dot"}});
    });

TEST(UsageTextTest, NamesEveryOption) {
    const QString usage = UsageText();
    for (const char* option : {"--help", "--version", "/RegServer", "/UnRegServer", "/Automation",
                               "/Embedding", "-platform", "--"})
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(usage.startsWith("usage: corvane"));
}

std::map<std::string, QString>* gEnvironment = nullptr;

QString FakeEnvironment(const char* name) {
    const auto found = gEnvironment->find(name);
    return found == gEnvironment->end() ? QString() : found->second;
}

TEST(DisplayProblemTest, NamesTheWaysOutWhenThereIsNoDisplay) {
    std::map<std::string, QString> environment;
    gEnvironment = &environment;
    const QString problem = DisplayProblem(&FakeEnvironment, false);
    EXPECT_TRUE(problem.contains("QT_QPA_PLATFORM=offscreen"));
    EXPECT_TRUE(problem.contains("xvfb-run"));
    EXPECT_TRUE(DisplayProblem(&FakeEnvironment, true).isEmpty());
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment = {{variable, "x"}};
        EXPECT_TRUE(DisplayProblem(&FakeEnvironment, false).isEmpty()) << variable;
    }
    gEnvironment = nullptr;
}

}  // namespace
}  // namespace corvane::console
