// Timer boxes and the timer base tick.
#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

class TimerTest : public PlcTest {
  protected:
    // Ticks until `timer` is done or `limit` ticks have passed; the tick number, or 0.
    int TicksUntilDone(int timer, int limit) {
        for (int tick = 1; tick <= limit; ++tick) {
            plc.TimerTick();
            if (plc.Timers[static_cast<size_t>(timer)].Done) return tick;
        }
        return 0;
    }
    void Enable(bool on) {
        plc.I.At(0, 0) = on;
        ASSERT_TRUE(Scan());
    }
};

struct TDelayCase {
    const char* Box;
    int Timer;
    int DoneAtTick;  // 0: never within the limit
};

TEST_F(TimerTest, OnDelayCompletesAtTargetTicks) {
    const TDelayCase cases[] = {
        {"TON    T37, +10", 37, 1000},    {"TON    T32, +5", 32, 5},
        {"TON    T33, +5", 33, 50},       {"TON    T255, 2", 255, 200},
        {"TON    T96, 0", 96, 1},         {"TON    T40, -3", 40, 1},
        {"TON    T37, +400", 37, 40000},  {"TON    T37, +401", 37, 0},
        {"TON    T32, 32765", 32, 32765}, {"TON    T32, 32766", 32, 32766},
        {"TON    T64, 7", 64, 7},         {"TON    T1, 3", 1, 30},
    };
    for (const TDelayCase& c : cases) {
        plc.ResetMemory();
        Load({"LD     I0.0", c.Box});
        Enable(true);
        EXPECT_EQ(TicksUntilDone(c.Timer, 40000), c.DoneAtTick) << c.Box;
        Enable(false);
    }
    EXPECT_EQ(plc.Timers[37].Count, 0);
}

TEST_F(TimerTest, CountSaturatesAtTheDesignsCeilingWhenTheTargetIsBelowIt) {
    // Every timer whose target is at most 32765 counts exactly as before.
    Load({"LD     I0.0", "TON    T37, +300"});
    Enable(true);
    for (int k = 0; k < 40000; ++k) plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 32765);
    EXPECT_EQ(plc.Timers[37].Target, 30000);
    EXPECT_TRUE(plc.Timers[37].Done);
}

TEST_F(TimerTest, CountSaturatesAtALargerTargetSoThatItIsReached) {
    Load({"LD     I0.0", "TON    T37, +400"});
    Enable(true);
    for (int k = 0; k < 39999; ++k) plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 39999);
    EXPECT_FALSE(plc.Timers[37].Done);
    plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 40000);
    EXPECT_TRUE(plc.Timers[37].Done);
    for (int k = 0; k < 1000; ++k) plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 40000);
    EXPECT_TRUE(plc.Timers[37].Done);
}

TEST_F(TimerTest, LongestPresetOfAHundredMillisecondTimerFinishes) {
    // 32767 units of 100 ms: 3276.7 s, as the real controller times it.
    Load({"LD     I0.0", "TON    T37, +32767"});
    Enable(true);
    EXPECT_EQ(TicksUntilDone(37, 3276700), 3276700);
    EXPECT_EQ(plc.Timers[37].Count, 3276700);
}

TEST_F(TimerTest, OffDelayBeyondTheCeilingDrops) {
    Load({"LD     I0.0", "TOF    T37, +400"});
    Enable(false);
    plc.TimerTick();
    EXPECT_TRUE(plc.Timers[37].Done);
    Enable(true);
    for (int k = 0; k < 39999; ++k) plc.TimerTick();
    EXPECT_TRUE(plc.Timers[37].Done);
    plc.TimerTick();
    EXPECT_FALSE(plc.Timers[37].Done);
}

TEST_F(TimerTest, ShorterPresetBringsALongCountBackUnderTheCeiling) {
    // Count never exceeds the larger of 32765 and the target as it stands at the tick.
    Load({"LD     I0.0", "TON    T37, +400"});
    Enable(true);
    for (int k = 0; k < 40000; ++k) plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 40000);
    Load({"LD     I0.0", "TON    T37, +10"});
    Enable(true);
    plc.TimerTick();
    EXPECT_EQ(plc.Timers[37].Count, 32765);
    EXPECT_TRUE(plc.Timers[37].Done);
}

TEST_F(TimerTest, HugePresetNeverCompletesInsteadOfWrapping) {
    Load({"LD     I0.0", "TON T37,+2000000000"});
    Enable(true);
    EXPECT_EQ(plc.Timers[37].Target, 2147483647);
    EXPECT_EQ(TicksUntilDone(37, 10), 0);
}

TEST_F(TimerTest, DisablingForOneTickRestarts) {
    Load({"LD     I0.0", "TON    T32, 10"});
    Enable(true);
    for (int k = 0; k < 9; ++k) plc.TimerTick();
    Enable(false);
    plc.TimerTick();
    EXPECT_EQ(plc.Timers[32].Count, 0);
    Enable(true);
    EXPECT_EQ(TicksUntilDone(32, 100), 10);
    Enable(false);
    plc.TimerTick();
    EXPECT_FALSE(plc.Timers[32].Done);
}

TEST_F(TimerTest, OffDelayIsTheComplement) {
    Load({"LD     I0.0", "TOF    T33, 2"});
    Enable(false);
    EXPECT_FALSE(plc.Timers[33].Done);  // the box alone changes no Done
    plc.TimerTick();
    EXPECT_TRUE(plc.Timers[33].Done);  // never enabled: done from the first tick
    Enable(true);
    for (int tick = 1; tick < 20; ++tick) {
        plc.TimerTick();
        EXPECT_TRUE(plc.Timers[33].Done) << tick;
    }
    plc.TimerTick();
    EXPECT_FALSE(plc.Timers[33].Done);
    Enable(false);
    plc.TimerTick();
    EXPECT_TRUE(plc.Timers[33].Done);
    EXPECT_EQ(plc.Timers[33].Count, 0);
    plc.ResetMemory();
    EXPECT_TRUE(plc.Timers[33].Done);
}

TEST_F(TimerTest, RetentiveOnDelayKeepsTimeWhileDisabled) {
    Load({"LD     I0.0", "TONR   T1, 10"});  // 10 ms base: target 100
    Enable(true);
    for (int k = 0; k < 60; ++k) plc.TimerTick();
    Enable(false);
    for (int k = 0; k < 500; ++k) plc.TimerTick();
    EXPECT_EQ(plc.Timers[1].Count, 60);
    Enable(true);
    EXPECT_EQ(TicksUntilDone(1, 100), 40);
    Enable(false);
    plc.TimerTick();
    EXPECT_TRUE(plc.Timers[1].Done);
    EXPECT_EQ(plc.Timers[1].Kind, 'R');
    plc.ResetMemory();
    EXPECT_FALSE(plc.Timers[1].Done);
    EXPECT_EQ(plc.Timers[1].Count, 0);
}

TEST_F(TimerTest, TimersCountInStopWithTheLastEnable) {
    Load({"LD     I0.0", "TON    T32, 3"});
    Enable(true);
    plc.Running = false;  // no more scans: the tick does not care
    EXPECT_EQ(TicksUntilDone(32, 10), 3);
    plc.ResetMemory();  // keeps Enable: counting restarts from 0
    EXPECT_EQ(TicksUntilDone(32, 10), 3);
}

TEST_F(TimerTest, ContactsReadDoneAndAllOfAScanSeeTheSameBit) {
    Load(
        {"LD     I0.0", "TON    T32, 1", "LD     T32", "=      Q0.0", "LDN    T32", "=      Q0.1"});
    Enable(true);
    EXPECT_FALSE(plc.Q.At(0, 0));
    plc.TimerTick();
    Enable(true);
    EXPECT_TRUE(plc.Q.At(0, 0));
    EXPECT_FALSE(plc.Q.At(0, 1));
}

TEST_F(TimerTest, BoxFailingOnPresetHasWrittenEnableAndKind) {
    Load({"LD     I0.0", "TON    T37, x"});
    plc.I.At(0, 0) = true;
    EXPECT_FALSE(Scan());
    EXPECT_TRUE(plc.Timers[37].Enable);
    EXPECT_EQ(plc.Timers[37].Kind, 'N');
    EXPECT_EQ(plc.Timers[37].Preset, 0);
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"'x' is not a valid integer value"});
}

TEST_F(TimerTest, LastOfTwoBoxesWins) {
    Load({"LD     I0.0", "TON    T37, 5", "LDN    I0.0", "TOF    T37, 9"});
    Enable(true);
    EXPECT_FALSE(plc.Timers[37].Enable);
    EXPECT_EQ(plc.Timers[37].Kind, 'F');
    EXPECT_EQ(plc.Timers[37].Target, 900);
}

}  // namespace
}  // namespace corvane::plc::test
