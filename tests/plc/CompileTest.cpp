// The column rules and the operand column of CompileProgram.
#include "InstructionSet.h"
#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

using K = TInstructionKind;

struct TLineCase {
    const char* Line;
    K Kind;  // None: no slot
    const char* Operand;
};

TEST(ColumnRules, LinesToSlots) {
    const TLineCase cases[] = {
        {"LD     I0.0", K::LD, "I0.0"},
        {"LD I0.0", K::LD, "0.0"},  // operand from column 5 on
        {"LDI    I0.0", K::LDI, "I0.0"},
        {"LDN    M1.1", K::LDN, "M1.1"},
        {"LDNI   I0.1", K::LDNI, "I0.1"},
        {"LDN", K::None, ""},  // t[4] missing: neither LDN nor LDNI
        {"LDX    I0.0", K::None, ""},
        {"LPS", K::LPS, ""},
        {"LPP    x", K::LPP, ""},
        {"LRD", K::LRD, ""},
        {"LR", K::LRD, ""},
        {"ALD", K::ALD, ""},
        {"ALD    x", K::ALD, ""},
        {"AN     I0.1", K::AN, "I0.1"},
        {"A      I0.1", K::A, "I0.1"},
        {"AE     I0.1", K::A, "I0.1"},
        {"A", K::A, ""},
        {"A\tI0.1", K::A, ".1"},  // tab in column 2: operand cut from column 5
        {"A\tQ10.1", K::A, "0.1"},
        {"LD\tI0.0", K::None, ""},  // tab in column 3 rejects LD
        {"O      I0.2", K::O, "I0.2"},
        {"OLD", K::OLD, ""},
        {"ON     T37", K::ON, "T37"},
        {"OX     I0.0", K::None, ""},
        {"=      Q0.0", K::Assign, "Q0.0"},
        {"S      Q0.0, 1", K::S, "Q0.0,1"},
        {"R      M1.0, 8", K::R, "M1.0,8"},
        {"RESET", K::R, "T"},
        {"TON    T37, +100", K::TON, "T37,+100"},
        {"TONR   T5, 10", K::TONR, "T5,10"},
        {"TOF    T38, 5", K::TOF, "T38,5"},
        {"TXN    T1,1", K::TON, "T1,1"},
        {"TO", K::None, ""},
        {" LD    I0.0", K::None, ""},  // indented
        {"\tLD   I0.0", K::None, ""},
        {"    ", K::None, ""},  // blanks only
        {"ld     I0.0", K::None, ""},
        {"=    Q0.0\t", K::Assign, "Q0.0\t"},  // tabs stay in the operand
    };
    for (const TLineCase& c : cases) {
        TMessageRecorder recorder;
        TPLC plc;
        TProgramLines store;
        Compile(plc, store, {c.Line});
        EXPECT_EQ(plc.Instructions[1].Kind, c.Kind) << "'" << c.Line << "'";
        EXPECT_EQ(plc.Instructions[1].Operand, c.Operand) << "'" << c.Line << "'";
        EXPECT_EQ(plc.Instructions[2].Kind, K::None);
        EXPECT_TRUE(recorder.Messages.empty());
    }
}

TEST(ColumnRules, EveryKindHasATableEntry) {
    constexpr int kLast = static_cast<int>(K::RI);
    for (int k = 1; k <= kLast; ++k) {
        const TInstructionInfo* info = FindInstruction(static_cast<K>(k));
        ASSERT_NE(info, nullptr) << k;
        EXPECT_EQ(static_cast<int>(info->Kind), k);
        EXPECT_EQ(FindMnemonic(info->Mnemonic), info) << info->Mnemonic;
    }
    EXPECT_EQ(FindInstruction(K::None), nullptr);
    EXPECT_EQ(FindInstruction(static_cast<K>(kLast + 1)), nullptr);
}

TEST(ColumnRules, NoLineRecognisesAKindThatOnlyTheImportProduces) {
    // "Load program" keeps its instruction set: the new mnemonics fall to older rows.
    EXPECT_EQ(RecogniseLine("EU"), K::None);
    EXPECT_EQ(RecogniseLine("NOT"), K::None);
    EXPECT_EQ(RecogniseLine("CTU C0, +1"), K::None);
    EXPECT_EQ(RecogniseLine("AI  I0.0"), K::A);
    EXPECT_EQ(RecogniseLine("ONI I0.0"), K::ON);
    EXPECT_EQ(RecogniseLine("=I  Q0.0"), K::Assign);
    EXPECT_EQ(RecogniseLine("SI  Q0.0, 1"), K::S);
    EXPECT_EQ(RecogniseLine("ED"), K::None);
}

TEST(CompileProgram, SlotsAreDenseFromOneAndTheRestCleared) {
    TMessageRecorder recorder;
    TPLC plc;
    TProgramLines store;
    Compile(plc, store, {"LD     I0.0", "A      I0.1", "=      Q0.0", "=      Q0.1"});
    Compile(plc, store, {"// x", "", "LD     I0.2", "junk", "=      Q0.2"});
    EXPECT_EQ(plc.Instructions[0].Kind, K::None);
    EXPECT_EQ(plc.Instructions[1].Operand, "I0.2");
    EXPECT_EQ(plc.Instructions[2].Kind, K::Assign);
    EXPECT_EQ(plc.Instructions[3].Kind, K::None);
    EXPECT_EQ(plc.Instructions[4].Operand, "");
    EXPECT_FALSE(plc.Busy);
}

TEST(CompileProgram, LeavesMemoryAndRunStateAlone) {
    TMessageRecorder recorder;
    TPLC plc;
    TProgramLines store;
    plc.Running = true;
    plc.Busy = true;  // a halted scan: a completed load ends the halt
    plc.WriteBit("M1.1", true);
    plc.LogicStack[2] = true;
    Compile(plc, store, {"LD     I0.0"});
    EXPECT_TRUE(plc.Running);
    EXPECT_FALSE(plc.Busy);
    EXPECT_TRUE(plc.M.At(1, 1));
    EXPECT_TRUE(plc.LogicStack[2]);
}

TEST(CompileProgram, NonPositiveLineCountGivesEmptyProgram) {
    TMessageRecorder recorder;
    TPLC plc;
    TProgramLines store;
    store.Slots[1] = "=      Q0.0";
    for (int count : {0, -5}) {
        plc.LineCount = count;
        plc.CompileProgram(store);
        EXPECT_EQ(plc.Instructions[1].Kind, K::None);
    }
    plc.LineCount = 1'000'000;  // more than the store holds: read what there is
    plc.CompileProgram(store);
    EXPECT_EQ(plc.Instructions[1].Kind, K::Assign);
}

}  // namespace
}  // namespace corvane::plc::test
