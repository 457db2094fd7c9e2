// RUN / STOP boxes versus the Simulator menu, and the three timers' handlers.
#include <QTimer>

#include "ConsoleTestSupport.h"
#include "ProgramFile.h"

namespace corvane::console::test {
namespace {

struct TRunCase {
    const char* Steps;  // R/S/X: menu RUN/STOP/Reset; r/s: click on the RUN/STOP box
    bool RunChecked;
    bool RunYellow;
    bool StopChecked;
    bool StopYellow;
    bool Running;
    bool Refresh;
};

void Apply(TForm1& form, TColourBox& run, TColourBox& stop, char step) {
    switch (step) {
        case 'R':
            return form.RUN1Click();
        case 'S':
            return form.STOP1Click();
        case 'X':
            return form.Reset1Click();
        case 'r':
            return run.click();
        case 's':
            return stop.click();
        default:
            FAIL() << "unknown step " << step;
    }
}

class RunStopTest : public ConsoleTest, public ::testing::WithParamInterface<TRunCase> {};

TEST_P(RunStopTest, NetEffectOfBoxesAndMenuCommands) {
    const TRunCase& c = GetParam();
    TColourBox& run = Box("chbrun");
    TColourBox& stop = Box("chbstop");
    for (const char* step = c.Steps; *step; ++step) Apply(Form1(), run, stop, *step);
    EXPECT_EQ(run.isChecked(), c.RunChecked);
    EXPECT_EQ(run.Colour(), c.RunYellow ? kYellow : kGrey);
    EXPECT_EQ(stop.isChecked(), c.StopChecked);
    EXPECT_EQ(stop.Colour(), c.StopYellow ? kYellow : kGrey);
    EXPECT_EQ(Plc().Running, c.Running);
    EXPECT_EQ(Form1().RunControl().RefreshEnabled(), c.Refresh);
    EXPECT_EQ(Form1().findChild<QTimer*>("Timer1")->isActive(), c.Refresh);
    EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, RunStopTest,
    ::testing::Values(
        //        steps   runChk runY  stopChk stopY running refresh
        TRunCase{"", false, false, true, true, false, false},
        TRunCase{"R", true, true, false, false, true, true},
        TRunCase{"RS", false, false, true, true, false, false},
        TRunCase{"S", false, false, true, true, false, false},
        TRunCase{"X", false, false, true, true, false, false},
        TRunCase{"r", true, true, true, false, true, true},
        TRunCase{"rr", false, false, true, false, true, true},  // unchecked, still in RUN
        TRunCase{"Rs", true, false, true, true, false, true},   // refresh keeps running
        TRunCase{"Rss", true, false, false, false, false, true},
        TRunCase{"RX", false, false, true, true, false, true},  // Reset leaves the refresh
        TRunCase{"Rsr", false, false, true, true, true, true},
        TRunCase{"rR", true, true, false, false, true, true},
        TRunCase{"RsR", true, true, false, false, true, true},
        TRunCase{"RsS", false, false, true, true, false, false}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.Steps; *c; ++c) {
            switch (*c) {
                case 'R':
                    name += "MenuRun";
                    break;
                case 'S':
                    name += "MenuStop";
                    break;
                case 'X':
                    name += "MenuReset";
                    break;
                case 'r':
                    name += "ClickRun";
                    break;
                default:
                    name += "ClickStop";
                    break;
            }
        }
        return name.empty() ? std::string("AtStart") : name;
    });

constexpr char kInvertProgram[] = "LDN    I0.0\n=      Q0.0\n";

TEST_F(ConsoleTest, NoScanRunsBeforeRun) {
    TProgramFile program(kInvertProgram);
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    Form1().Timer2Timer();
    Form1().Timer1Timer();
    EXPECT_FALSE(Plc().Q.At(0, 0));
    EXPECT_FALSE(Box("chbq00").isChecked());
}

TEST_F(ConsoleTest, ScanThenRefreshShowsTheResultOnTheLeds) {
    TProgramFile program(kInvertProgram);
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    Form1().RUN1Click();
    Form1().Timer2Timer();
    EXPECT_TRUE(Plc().Q.At(0, 0));
    EXPECT_FALSE(Box("chbq00").isChecked());
    Form1().Timer1Timer();
    EXPECT_TRUE(Box("chbq00").isChecked());
    EXPECT_EQ(Box("chbq00").Colour(), kYellow);
    Box("chbi00").click();
    Form1().Timer1Timer();
    Form1().Timer2Timer();
    Form1().Timer1Timer();
    EXPECT_FALSE(Box("chbq00").isChecked());
}

TEST_F(ConsoleTest, StopBoxKeepsTheRefreshWhileTheMenuStopEndsIt) {
    Form1().RUN1Click();
    Box("chbstop").click();
    Box("chbi01").click();
    Form1().Timer1Timer();
    EXPECT_TRUE(Plc().I.At(0, 1));
    Form1().STOP1Click();
    Box("chbi01").click();
    Form1().Timer1Timer();
    EXPECT_TRUE(Plc().I.At(0, 1));
}

TEST_F(ConsoleTest, FailedScanShowsItsErrorOnceAndHaltsUntilReset) {
    TProgramFile program("LDN    I0.0\n=      Q0.0\n=      Q0\n");
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    TakeMessages();
    Form1().RUN1Click();
    Form1().Timer2Timer();
    EXPECT_EQ(TakeMessages(), (std::vector<std::string>{"kiem tra lai ham copystr()",
                                                        "'' is not a valid integer value"}));
    EXPECT_TRUE(Plc().Q.At(0, 0));
    EXPECT_TRUE(Plc().Busy);
    for (int i = 0; i < 3; ++i) Form1().Timer2Timer();
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_TRUE(Box("chbrun").isChecked());
    Form1().Reset1Click();
    EXPECT_FALSE(Plc().Busy);
    EXPECT_FALSE(Plc().Q.At(0, 0));
    EXPECT_TRUE(Box("chbstop").isChecked());
    EXPECT_EQ(Box("chbstop").Colour(), kYellow);
}

TEST_F(ConsoleTest, ResetInRunClearsMemoryAndTheNextRefreshReloadsTheSwitches) {
    Form1().RUN1Click();
    Box("chbi05").click();
    Plc().Q.At(0, 2) = true;
    Plc().M.At(3, 3) = true;
    Form1().Timer1Timer();
    Form1().Reset1Click();
    EXPECT_FALSE(Plc().I.At(0, 5));
    EXPECT_FALSE(Plc().M.At(3, 3));
    EXPECT_TRUE(Box("chbq02").isChecked());
    Form1().Timer1Timer();
    EXPECT_TRUE(Plc().I.At(0, 5));
    EXPECT_FALSE(Box("chbq02").isChecked());
}

TEST_F(ConsoleTest, TimerBaseFollowsTheClockNotTheNumberOfEvents) {
    TProgramFile program("LDN    I0.0\nTON    T32, +5\nLD     T32\n=      Q0.1\n");
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    Form1().RUN1Click();
    Form1().Timer2Timer();
    AdvanceClock(std::chrono::milliseconds(4));
    Form1().PLCTimerTimer();
    EXPECT_FALSE(Plc().Timers[32].Done);
    Form1().PLCTimerTimer();  // no time has passed: no tick
    EXPECT_FALSE(Plc().Timers[32].Done);
    AdvanceClock(std::chrono::milliseconds(1));
    Form1().PLCTimerTimer();
    EXPECT_TRUE(Plc().Timers[32].Done);
    Form1().STOP1Click();  // timers keep counting in STOP
    AdvanceClock(std::chrono::milliseconds(100));
    Form1().PLCTimerTimer();
    EXPECT_EQ(Plc().Timers[32].Count, 105);
}

TEST_F(ConsoleTest, SwitchesWithoutABoxLoadAsZero) {
    Form1().RUN1Click();
    Plc().I.At(1, 6) = true;
    Plc().I.At(8, 0) = true;
    Plc().I.At(9, 0) = true;
    Form1().Timer1Timer();
    EXPECT_FALSE(Plc().I.At(1, 6));
    EXPECT_FALSE(Plc().I.At(8, 0));
    EXPECT_TRUE(Plc().I.At(9, 0));
}

}  // namespace
}  // namespace corvane::console::test
