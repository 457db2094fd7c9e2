// Command-line arguments: the program file versus the COM server's switches; the display check.
#include <gtest/gtest.h>

#include <map>

#include "CommandLine.h"

namespace corvane::console {
namespace {

struct TArgsCase {
    QStringList Arguments;
    QStringList Switches;
    QString Program;  // empty: none
    QStringList Ignored;
};

class CommandLineTest : public ::testing::TestWithParam<TArgsCase> {};

TEST_P(CommandLineTest, SplitsSwitchesFromTheProgramFile) {
    QStringList arguments = GetParam().Arguments;
    arguments.prepend("corvane");
    const TCommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.ComSwitches, GetParam().Switches);
    EXPECT_EQ(line.ProgramFile.value_or(QString()), GetParam().Program);
    EXPECT_EQ(line.Ignored, GetParam().Ignored);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(TArgsCase{{}, {}, "", {}}, TArgsCase{{"motor.awl"}, {}, "motor.awl", {}},
                      TArgsCase{{"/home/op/motor.awl"}, {}, "/home/op/motor.awl", {}},
                      TArgsCase{{"/RegServer"}, {"REGSERVER"}, "", {}},
                      TArgsCase{{"-Embedding", "/tmp/a.awl"}, {"EMBEDDING"}, "/tmp/a.awl", {}},
                      TArgsCase{
                          {"-unregserver", "/AUTOMATION"}, {"UNREGSERVER", "AUTOMATION"}, "", {}},
                      TArgsCase{{"/regserver.awl"}, {}, "/regserver.awl", {}},
                      TArgsCase{{"a.awl", "b.awl"}, {}, "a.awl", {"b.awl"}},
                      TArgsCase{{"--verbose", "a.awl"}, {}, "a.awl", {"--verbose"}}));

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
