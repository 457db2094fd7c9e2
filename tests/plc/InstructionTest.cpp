// Bit logic on the logic stack, assignment, set/reset runs, and failing operands.
#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

using InstructionTest = PlcTest;

// Stack as a string, level 0 first: "100000000".
std::string StackOf(const TPLC& plc) {
    std::string s;
    for (bool b : plc.LogicStack) s += b ? '1' : '0';
    return s;
}

struct TTruthCase {
    std::vector<std::string> Program;
    const char* Inputs;  // I0.0, I0.1, ...
    bool Q00;
};

TEST_F(InstructionTest, CombinationalPrograms) {
    const std::vector<std::string> andProgram = {"LD     I0.0", "A      I0.1", "=      Q0.0"};
    const std::vector<std::string> aldProgram = {"LD     I0.0", "LD     I0.1", "O      I0.2", "ALD",
                                                 "=      Q0.0"};
    const std::vector<std::string> oldProgram = {
        "LD     I0.0", "AN     I0.1", "LDN    I0.0", "A      I0.1", "OLD", "=      Q0.0"};  // XOR
    const std::vector<std::string> onProgram = {"LDN    I0.0", "ON     I0.1",
                                                "=      Q0.0"};  // NAND
    const TTruthCase cases[] = {
        {andProgram, "00", false},  {andProgram, "10", false}, {andProgram, "11", true},
        {aldProgram, "100", false}, {aldProgram, "110", true}, {aldProgram, "101", true},
        {aldProgram, "011", false}, {oldProgram, "00", false}, {oldProgram, "10", true},
        {oldProgram, "01", true},   {oldProgram, "11", false}, {onProgram, "11", false},
        {onProgram, "01", true},    {onProgram, "00", true},
    };
    for (const TTruthCase& c : cases) {
        TPLC fresh;
        TProgramLines lines;
        Compile(fresh, lines, c.Program);
        for (int b = 0; c.Inputs[b]; ++b) fresh.I.At(0, b) = c.Inputs[b] == '1';
        fresh.ExecuteScan();
        EXPECT_EQ(fresh.Q.At(0, 0), c.Q00) << c.Program[0] << "... inputs " << c.Inputs;
    }
}

TEST_F(InstructionTest, AldLeavesTheStackOneLevelShorter) {
    Load({"LD     I0.0", "LD     I0.1", "O      I0.2"});
    plc.I.At(0, 0) = plc.I.At(0, 1) = true;
    plc.ExecuteScan();
    EXPECT_EQ(StackOf(plc), "110000000");
    Load({"ALD"});
    plc.ExecuteScan();
    EXPECT_EQ(StackOf(plc), "100000000");
}

struct TStackCase {
    const char* Before;
    std::vector<std::string> Program;
    const char* After;
};

TEST_F(InstructionTest, StackInstructions) {
    const TStackCase cases[] = {
        {"101100111", {"LPS"}, "110110011"},
        {"101100111", {"LPS", "LPP"}, "101100110"},  // level 8 lost, then 0
        {"101100111", {"LPP"}, "011001110"},
        {"011000000", {"LRD"}, "111000000"},
        {"100000001", {"ALD"}, "000000010"},
        {"110000001", {"ALD"}, "100000010"},
        {"010000001", {"OLD"}, "100000010"},
        {"100000000", {"LD     I0.0"}, "010000000"},
        {"111111111", {"LDN    I0.0"}, "111111111"},
        {"000000000", {"A      I0.0"}, "000000000"},
        {"100000000", {"AN     I0.0"}, "100000000"},
        {"100000000", {"O      M0.0"}, "100000000"},
        {"000000000", {"ON     M0.0"}, "100000000"},
        {"101000000", {"LD     X0.0"}, "110100000"},  // no area: still pushes
        {"001000000", {"A      X0.0"}, "001000000"},
        {"000000000", {"LDI    I0.0"}, "000000000"},  // the immediate load reads the input
        {"000000000", {"LDNI   I0.0"}, "100000000"},
    };
    for (const TStackCase& c : cases) {
        TPLC fresh;
        TProgramLines lines;
        Compile(fresh, lines, c.Program);
        for (int k = 0; k < 9; ++k) fresh.LogicStack[static_cast<size_t>(k)] = c.Before[k] == '1';
        fresh.ExecuteScan();
        EXPECT_EQ(StackOf(fresh), c.After) << c.Program[0] << " from " << c.Before;
    }
}

TEST_F(InstructionTest, TenLoadsLoseTheFirst) {
    std::vector<std::string> program = {"LD     I0.0"};
    for (int k = 0; k < 9; ++k) program.push_back("LD     M0.0");
    Load(program);
    plc.I.At(0, 0) = true;
    plc.ExecuteScan();
    EXPECT_EQ(StackOf(plc), "000000000");
}

TEST_F(InstructionTest, AssignmentTakesEffectWithinTheScan) {
    Load({"LD     I0.0", "=      M0.0", "LD     M0.0", "=      Q0.0", "=      I0.1",
          "=      V20.7"});
    plc.I.At(0, 0) = true;
    plc.ExecuteScan();
    EXPECT_TRUE(plc.M.At(0, 0));
    EXPECT_TRUE(plc.Q.At(0, 0));
    EXPECT_FALSE(plc.I.At(0, 1));  // an input is never written
    EXPECT_TRUE(plc.V.At(20, 7));
}

struct TRunCase {
    const char* Op;
    bool Top;
    const char* ByteBefore;
    const char* ByteAfter;
};

TEST_F(InstructionTest, SetAndResetRunsStopAtTheByteEnd) {
    const TRunCase cases[] = {
        {"S      Q0.6, 3", true, "00000000", "00000011"},
        {"S      Q0.6, 3", false, "00000000", "00000000"},
        {"R      Q0.0, 8", true, "11111111", "00000000"},
        {"R      Q0.2, 2", true, "11111111", "11001111"},
        {"S      Q0.0, 0", true, "00000000", "00000000"},
        {"S      Q0.7,12", true, "00000000", "00000001"},  // count is the last digit: 2
        {"S      Q0.0,12", true, "00000000", "11000000"},
        {"S      I0.0, 3", true, "00000000", "00000000"},
    };
    for (const TRunCase& c : cases) {
        TPLC fresh;
        TProgramLines lines;
        Compile(fresh, lines, {c.Op});
        TBitArea& area = c.Op[7] == 'I' ? fresh.I : fresh.Q;
        for (int b = 0; b < 8; ++b) area.At(0, b) = c.ByteBefore[b] == '1';
        fresh.LogicStack[0] = c.Top;
        fresh.ExecuteScan();
        std::string after;
        for (int b = 0; b < 8; ++b) after += area.At(0, b) ? '1' : '0';
        EXPECT_EQ(after, c.ByteAfter) << c.Op << " top " << c.Top;
        EXPECT_EQ(fresh.Q.At(1, 0), false) << "a run never crosses into the next byte";
    }
}

TEST_F(InstructionTest, MarkerRunOverWholeByte) {
    Load({"LD     I0.0", "S      M1.0, 8", "LDN    I0.0", "R      M1.0, 8"});
    plc.I.At(0, 0) = true;
    plc.ExecuteScan();
    for (int b = 0; b < 8; ++b) EXPECT_TRUE(plc.M.At(1, b));
    plc.I.At(0, 0) = false;
    plc.ExecuteScan();
    for (int b = 0; b < 8; ++b) EXPECT_FALSE(plc.M.At(1, b));
}

// --- failures: messages, partial effects, the halt ---

struct TFailCase {
    std::vector<std::string> Program;
    std::vector<std::string> Messages;
    const char* Stack;  // after the failed scan
};

TEST_F(InstructionTest, FailingOperandsHaltTheScanAfterTheirPartialEffects) {
    const std::string bad = "'' is not a valid integer value";
    const TFailCase cases[] = {
        // LD converts before it pushes; LDN pushes first.
        {{"LD     I0.0", "LD     I0"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "LDN    I0"}, {kCopystrMessage, bad}, "110000000"},
        {{"LD     I0.0", "LD     Ix.0"}, {"'x' is not a valid integer value"}, "100000000"},
        // An empty contact operand fails like any malformed operand.
        {{"LD     I0.0", "A"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "=      T37"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "=      Q0.0,1"}, {"'0,1' is not a valid integer value"}, "100000000"},
        {{"LD     I0.0", "S      Q0.0"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "S      Q0.0, x"}, {"'x' is not a valid integer value"}, "100000000"},
        {{"LD     I0.0", "TON    T37"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "LD     T"}, {kCopystrMessage, bad}, "100000000"},
        {{"LD     I0.0", "LD     T256"},
         {"'T256' is not a valid operand: timer number 256 is outside 0 to 255"},
         "100000000"},
        {{"LD     I0.0", "=      M21.0"},
         {"'M21.0' is not a valid operand: byte number 21 is outside 0 to 20"},
         "100000000"},
    };
    for (const TFailCase& c : cases) {
        TMessageRecorder local;
        TPLC fresh;
        TProgramLines lines;
        Compile(fresh, lines, c.Program);
        fresh.I.At(0, 0) = true;
        EXPECT_FALSE(RunEvent([&] { fresh.ExecuteScan(); })) << c.Program[1];
        EXPECT_EQ(local.Messages, c.Messages) << c.Program[1];
        EXPECT_EQ(StackOf(fresh), c.Stack) << c.Program[1];
        EXPECT_TRUE(fresh.Busy) << "a failed scan leaves the controller halted";
    }
}

TEST_F(InstructionTest, TimerOperandOfAContactIsReadOnlyWhenItMatters) {
    // With level 0 at 0 an A of a bad timer cannot change the result: no failure.
    Load({"LDN    I0.0", "A      Tx", "O      Ty", "=      Q0.0"});
    plc.I.At(0, 0) = true;  // level 0 := 0: A skips its operand, O must read it
    EXPECT_FALSE(Scan());
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"'y' is not a valid integer value"});
    plc.ResetMemory();
    recorder.Messages.clear();
    Load({"LD     I0.0", "A      Tx"});
    EXPECT_TRUE(Scan());  // level 0 is 0 because I0.0 is 0
    plc.I.At(0, 0) = true;
    EXPECT_FALSE(Scan());
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"'x' is not a valid integer value"});
}

TEST_F(InstructionTest, BitOperandsAreAlwaysConverted) {
    Load({"LDN    I0.0", "A      Mx.0"});
    plc.I.At(0, 0) = true;
    EXPECT_FALSE(Scan());
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"'x' is not a valid integer value"});
}

TEST_F(InstructionTest, HaltedScanRunsOnceAndResetOrReloadEndsIt) {
    Load({"LD     I0.0", "=      Q0.0", "=      Q0.x", "=      Q0.1"});
    plc.I.At(0, 0) = true;
    EXPECT_FALSE(Scan());
    EXPECT_TRUE(plc.Q.At(0, 0));
    EXPECT_FALSE(plc.Q.At(0, 1));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    plc.ResetMemory();
    EXPECT_FALSE(plc.Busy);
    plc.Busy = true;
    Load({"LD     I0.0"});
    EXPECT_FALSE(plc.Busy);
}

TEST_F(InstructionTest, EmptyProgramEndsAtOnce) {
    Load({});
    EXPECT_TRUE(Scan());
    EXPECT_FALSE(plc.Busy);
}

}  // namespace
}  // namespace corvane::plc::test
