// Run control and the I/O refresh, through a switch-array panel.
#include <map>

#include "PlcTestSupport.h"
#include "RunControl.h"
#include "TimerBaseDriver.h"

namespace corvane::plc::test {
namespace {

struct TArrayPanel : TIoPanel {
    std::map<int, bool> Leds;
    std::vector<int> LedOrder;
    TBitArea Switches;
    void ShowOutput(int element, bool on) override {
        Leds[element] = on;
        LedOrder.push_back(element);
    }
    bool ReadSwitch(int element) override { return Switches[static_cast<size_t>(element)]; }
};

class RunControlTest : public PlcTest {
  protected:
    TRunControl control{plc};
    TArrayPanel panel;
};

TEST_F(RunControlTest, ElementTablesMatchTheFaceplateAndModules) {
    const auto leds = LedElements();
    ASSERT_EQ(leds.size(), 58u);
    EXPECT_EQ(leds[0], 8);
    EXPECT_EQ(leds[1], 9);
    EXPECT_EQ(leds[2], 0);
    EXPECT_EQ(leds[10], 16);
    EXPECT_EQ(leds.back(), 63);
    const auto switches = SwitchElements();
    ASSERT_EQ(switches.size(), 62u);
    EXPECT_EQ(switches[13], 13);
    EXPECT_EQ(switches[14], 16);
    EXPECT_FALSE(HasSwitch(14));
    EXPECT_FALSE(HasSwitch(15));
    EXPECT_FALSE(HasSwitch(64));
    EXPECT_TRUE(HasSwitch(63));
}

TEST_F(RunControlTest, NoScanBeforeRun) {
    Load({"LD     I0.0", "=      Q0.0"});
    panel.Switches.At(0, 0) = true;
    for (int k = 0; k < 3; ++k) {
        control.ScanEvent();
        control.RefreshEvent(panel);
    }
    EXPECT_TRUE(panel.Leds.empty()) << "the refresh is off until RUN";
    EXPECT_FALSE(plc.Q.At(0, 0));
}

TEST_F(RunControlTest, RunScanRefreshRoundTrip) {
    Load({"LD     I0.0", "=      Q0.0", "LD     I7.7", "=      Q7.7"});
    control.RunCommand();
    panel.Switches.At(0, 0) = true;
    panel.Switches.At(7, 7) = true;
    panel.Switches.At(1, 6) = true;  // no such switch: never read
    control.RefreshEvent(panel);
    EXPECT_FALSE(plc.I.At(1, 6));
    control.ScanEvent();
    control.RefreshEvent(panel);
    EXPECT_TRUE(panel.Leds[0]);
    EXPECT_TRUE(panel.Leds[63]);
    EXPECT_EQ(panel.LedOrder[0], 8);
}

TEST_F(RunControlTest, StopBoxKeepsTheRefreshMenuStopDoesNot) {
    control.RunCommand();
    control.StopBoxClicked();
    EXPECT_FALSE(plc.Running);
    EXPECT_TRUE(control.RefreshEnabled());
    panel.Switches.At(0, 2) = true;
    control.RefreshEvent(panel);
    EXPECT_TRUE(plc.I.At(0, 2));
    control.StopCommand();
    panel.Switches.At(0, 2) = false;
    control.RefreshEvent(panel);
    EXPECT_TRUE(plc.I.At(0, 2));
}

TEST_F(RunControlTest, RunBoxRunsWhicheverWayItWent) {
    control.RunBoxClicked();
    EXPECT_TRUE(plc.Running);
    EXPECT_TRUE(control.RefreshEnabled());
    control.StopCommand();
    control.RunBoxClicked();
    EXPECT_TRUE(plc.Running);
}

TEST_F(RunControlTest, ResetInRunClearsAndKeepsTheRefresh) {
    Load({"LD     I0.0", "=      Q0.0"});
    control.RunCommand();
    panel.Switches.At(0, 0) = true;
    control.RefreshEvent(panel);
    control.ScanEvent();
    control.ResetCommand();
    EXPECT_FALSE(plc.Running);
    EXPECT_FALSE(plc.I.At(0, 0));
    control.RefreshEvent(panel);
    EXPECT_TRUE(plc.I.At(0, 0));
    EXPECT_FALSE(panel.Leds[0]);
}

TEST_F(RunControlTest, HaltedControllerShowsOutputsButLoadsNoInputs) {
    Load({"LD     I0.0", "=      Q0.0", "=      Qx.0"});
    control.RunCommand();
    panel.Switches.At(0, 0) = true;
    control.RefreshEvent(panel);
    EXPECT_FALSE(RunEvent([&] { control.ScanEvent(); }));
    EXPECT_EQ(recorder.Messages.size(), 1u);
    panel.Switches.At(0, 0) = false;
    control.RefreshEvent(panel);
    EXPECT_TRUE(panel.Leds[0]);
    EXPECT_TRUE(plc.I.At(0, 0)) << "Busy keeps the inputs out";
    EXPECT_TRUE(RunEvent([&] { control.ScanEvent(); })) << "no further scan, no further message";
    EXPECT_EQ(recorder.Messages.size(), 1u);
    control.ResetCommand();
    control.RunCommand();
    control.RefreshEvent(panel);
    EXPECT_FALSE(plc.I.At(0, 0));
}

TEST(TimerBaseDriver, TicksOncePerElapsedMillisecondAndCatchesUp) {
    TPLC plc;
    plc.Timers[32] = {true, false, 1, 0, 0, 1000000, 'N'};
    std::chrono::nanoseconds now{123'456'789};
    TTimerBaseDriver driver(plc, [&] { return now; });
    EXPECT_EQ(driver.OnTimerEvent(), 0);
    now += std::chrono::microseconds(999);
    EXPECT_EQ(driver.OnTimerEvent(), 0);
    now += std::chrono::microseconds(1);
    EXPECT_EQ(driver.OnTimerEvent(), 1);
    now += std::chrono::milliseconds(250);  // a late event
    EXPECT_EQ(driver.OnTimerEvent(), 250);
    now += std::chrono::seconds(30);  // a long stall: no limit on catching up
    EXPECT_EQ(driver.OnTimerEvent(), 30000);
    EXPECT_EQ(plc.Timers[32].Count, 30251);
    EXPECT_EQ(driver.TicksRun(), 30251);
}

TEST(TimerBaseDriver, FractionsAccumulate) {
    TPLC plc;
    std::chrono::nanoseconds now{0};
    TTimerBaseDriver driver(plc, [&] { return now; });
    int64_t total = 0;
    for (int k = 0; k < 1000; ++k) {
        now += std::chrono::microseconds(1130);  // the GUI timer's typical spacing
        total += driver.OnTimerEvent();
    }
    EXPECT_EQ(total, 1130);
}

}  // namespace
}  // namespace corvane::plc::test
