// Memory image, timer defaults and the public bit operations.
#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

using MemoryTest = PlcTest;

TEST_F(MemoryTest, TimerDefaultsByNumber) {
    struct TRow {
        int First, Last, TimeBase;
        char Kind;
    };
    const TRow rows[] = {{0, 0, 1, 'R'},   {1, 4, 10, 'R'},    {5, 31, 100, 'R'},
                         {32, 32, 1, 'O'}, {33, 36, 10, 'O'},  {37, 63, 100, 'O'},
                         {64, 64, 1, 'R'}, {65, 68, 10, 'R'},  {69, 95, 100, 'R'},
                         {96, 96, 1, 'O'}, {97, 100, 10, 'O'}, {101, 255, 100, 'O'}};
    int covered = 0;
    for (const TRow& r : rows)
        for (int n = r.First; n <= r.Last; ++n, ++covered) {
            const TPLCTimer& t = plc.Timers[static_cast<size_t>(n)];
            EXPECT_EQ(t.TimeBase, r.TimeBase) << "T" << n;
            EXPECT_EQ(t.Kind, r.Kind) << "T" << n;
            EXPECT_FALSE(t.Enable || t.Done || t.Preset || t.Count || t.Target) << "T" << n;
        }
    EXPECT_EQ(covered, 256);
    EXPECT_FALSE(plc.Running || plc.Busy);
    EXPECT_EQ(plc.Instructions.size(), 65354u);
}

TEST_F(MemoryTest, FreshBitsReadFalse) {
    plc.ResetMemory();
    for (const char* a : {"I0.0", "Q0.0", "M20.7", "V0.0"}) EXPECT_EQ(plc.ReadBit(a), false) << a;
}

TEST_F(MemoryTest, WriteBitLandsInTheFlatElement) {
    plc.WriteBit("Q1.1", true);
    EXPECT_TRUE(plc.Q[9]);
    EXPECT_EQ(plc.ReadBit("Q1.1"), true);
    plc.WriteBit("V20.7", true);
    EXPECT_TRUE(plc.V[167]);
    plc.WriteBit("I8.0", true);
    EXPECT_TRUE(plc.I.At(8, 0));
    plc.WriteBit("X1.1", true);  // no such area: nothing stored
    EXPECT_EQ(std::count(plc.M.Bits.begin(), plc.M.Bits.end(), true), 0);
}

TEST_F(MemoryTest, MarkerOperationsIgnoreTheLetter) {
    plc.SetMarkerBit("M10.3");
    EXPECT_TRUE(plc.M.At(10, 3));
    plc.ResetMarkerBit("M10.3");
    plc.SetMarkerBit("Q10.3");
    EXPECT_TRUE(plc.M.At(10, 3));
    EXPECT_FALSE(plc.Q.At(10, 3));
    plc.ResetMarkerBit("Z10.3");
    EXPECT_FALSE(plc.M.At(10, 3));
    plc.SetMarkerBit("");  // nothing, no message
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST_F(MemoryTest, ReadBitLeavesValueForEmptyOrUnknownArea) {
    EXPECT_EQ(plc.ReadBit(""), std::nullopt);
    EXPECT_EQ(plc.ReadBit("m0.0"), std::nullopt);      // lower case is no area
    EXPECT_THROW(plc.ReadBit("m0.x"), EConvertError);  // but its numbers are still converted
}

TEST_F(MemoryTest, WriteBitWithEmptyAddressFailsAfterCopystrMessage) {
    try {
        plc.WriteBit("", true);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{kCopystrMessage});
}

struct TBadAddress {
    const char* Address;
    std::vector<std::string> Messages;
    const char* Error;
};

TEST_F(MemoryTest, MalformedAndOutOfRangeAddressesAreRefused) {
    const TBadAddress cases[] = {
        {"M10", {kCopystrMessage}, "'' is not a valid integer value"},
        {"M.3", {kCopystrMessage}, "'' is not a valid integer value"},
        {"Mx.3", {}, "'x' is not a valid integer value"},
        {"M1.", {kCopystrMessage}, "'' is not a valid integer value"},
        {"M21.0", {}, "'M21.0' is not a valid operand: byte number 21 is outside 0 to 20"},
        {"M-1.0", {}, "'M-1.0' is not a valid operand: byte number -1 is outside 0 to 20"},
        {"M0.8", {}, "'M0.8' is not a valid operand: bit number 8 is outside 0 to 7"},
        {"M0.+7", {}, nullptr},  // a signed number is still a number
    };
    for (const TBadAddress& c : cases) {
        recorder.Messages.clear();
        try {
            plc.WriteBit(c.Address, true);
            EXPECT_EQ(c.Error, nullptr) << c.Address;
        } catch (const EConvertError& e) {
            ASSERT_NE(c.Error, nullptr) << c.Address;
            EXPECT_STREQ(e.what(), c.Error) << c.Address;
        }
        EXPECT_EQ(recorder.Messages, c.Messages) << c.Address;
    }
    EXPECT_TRUE(plc.M.At(0, 7));
}

TEST_F(MemoryTest, ResetMemoryClearsAreasAndTimerStateButNotTheRest) {
    Load({"LD   I0.0"});
    plc.WriteBit("Q0.0", true);
    plc.WriteBit("V3.3", true);
    plc.Busy = plc.Running = true;
    plc.LogicStack[4] = true;
    plc.Timers[37] = {true, true, 100, 10, 500, 1000, 'N'};
    plc.Timers[38] = {false, false, 100, 10, 0, 1000, 'F'};
    plc.ResetMemory();
    EXPECT_EQ(plc.Q, TBitArea{});
    EXPECT_EQ(plc.V, TBitArea{});
    EXPECT_FALSE(plc.Busy);
    EXPECT_TRUE(plc.Running);
    EXPECT_TRUE(plc.LogicStack[4]);
    EXPECT_EQ(plc.Timers[37], (TPLCTimer{true, false, 100, 10, 0, 1000, 'N'}));
    EXPECT_EQ(plc.Timers[38], (TPLCTimer{false, true, 100, 10, 0, 1000, 'F'}));
    EXPECT_EQ(plc.Instructions[1].Kind, TInstructionKind::LD);
}

TEST_F(MemoryTest, LoadInputsCopiesOnlyBytesZeroToEight) {
    plc.WriteBit("I9.0", true);
    plc.WriteBit("I20.7", true);
    plc.WriteBit("I8.7", true);
    TBitArea source;
    source.Bits.fill(false);
    source.At(0, 1) = true;
    source.At(12, 0) = true;
    plc.LoadInputs(source);
    EXPECT_TRUE(plc.I.At(0, 1));
    EXPECT_FALSE(plc.I.At(8, 7));  // overwritten by the load
    EXPECT_TRUE(plc.I.At(9, 0));   // beyond the switches: kept
    EXPECT_TRUE(plc.I.At(20, 7));
    EXPECT_FALSE(plc.I.At(12, 0));
}

}  // namespace
}  // namespace corvane::plc::test
