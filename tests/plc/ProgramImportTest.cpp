// The S7-200 export importer: file structure, instruction lines, operands and symbols,
// and what the loader does with the result.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "InstructionSet.h"
#include "PlcTestSupport.h"
#include "ProgramImport.h"

namespace corvane::plc::test {
namespace {

using K = TInstructionKind;

const std::string kMain = "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=t\nBEGIN\n";
const std::string kEnd = "END_ORGANIZATION_BLOCK\n";

std::string InMain(const std::string& body) {
    return kMain + body + (body.empty() || body.back() == '\n' ? "" : "\n") + kEnd;
}

TSymbolLookup Symbols(std::map<std::string, std::string, std::less<>> table) {
    return [table = std::move(table)](std::string_view name) -> std::optional<std::string> {
        const auto found = table.find(name);
        if (found == table.end()) return std::nullopt;
        return found->second;
    };
}

std::vector<int> ProblemLines(const TImportedProgram& p) {
    std::vector<int> lines;
    for (const TImportProblem& problem : p.Problems) lines.push_back(problem.Line);
    return lines;
}

// --- file structure ---

struct TStructureCase {
    const char* Name;
    std::string Content;
    std::vector<int> RefusedLines;  // empty: accepted
    size_t Instructions = 0;        // when accepted
};

class ImportStructure : public ::testing::TestWithParam<TStructureCase> {};

TEST_P(ImportStructure, AcceptsTheExportLayoutsAndRefusesBrokenOnes) {
    const TStructureCase& c = GetParam();
    const TImportedProgram p = ParseS7Export(c.Content, nullptr);
    EXPECT_EQ(ProblemLines(p), c.RefusedLines) << (p.Ok() ? "" : RefusalText(p.Problems));
    if (c.RefusedLines.empty()) {
        EXPECT_EQ(p.Instructions.size(), c.Instructions);
    } else {
        EXPECT_TRUE(p.Instructions.empty());
    }
}

const TStructureCase kStructureCases[] = {
    {"EmptyFile", "", {}, 0},
    {"BareInstructionListIsTheMainProgram", "LD I0.0\n= Q0.0\n", {}, 2},
    {"MicroWinBlocksWithCrLf",
     "ORGANIZATION_BLOCK MAIN:OB1\r\nTITLE=PROGRAM COMMENTS\r\nBEGIN\r\nNetwork 1 // Title\r\n"
     "// comment\r\nLD     I0.0\r\n=      Q0.0\r\nEND_ORGANIZATION_BLOCK\r\n",
     {},
     2},
    {"NetworkHeadersInAnyCase",
     InMain("NETWORK 1\nLD I0.0\nnetwork 2 // t\n= Q0.0\nNetwork3\nNeTwOrK\n"),
     {},
     2},
    {"TabsAndBlankRunsAnywhere", InMain("\t LD \t\t I0.0\n  =\tQ0.0   \n"), {}, 2},
    {"CommentsAfterInstructionsAndEightBitText",
     InMain("LD I0.0 // Schalter f\xfcr T\xfcr\n// \xe4\xf6\xfc\n= Q0.0//x\n"),
     {},
     2},
    {"EmptySubroutineAndInterruptBlocksAreIgnored",
     InMain("LD I0.0\n") +
         "SUBROUTINE_BLOCK SBR_0:SBR0\nTITLE=x\nVAR_INPUT\nIN1:BOOL;\nEND_VAR\nBEGIN\n"
         "Network 1\n// nothing\nEND_SUBROUTINE_BLOCK\nINTERRUPT_BLOCK INT_0:INT0\nBEGIN\n"
         "END_INTERRUPT_BLOCK\n",
     {},
     1},
    {"SubroutineWithInstructionsRefusesEachOfThem",
     InMain("LD I0.0\n") + "SUBROUTINE_BLOCK SBR_0:SBR0\nBEGIN\nLD I0.1\n= Q0.1\n"
                           "END_SUBROUTINE_BLOCK\n",
     {8, 9}},
    {"InterruptWithInstructions",
     "INTERRUPT_BLOCK INT_0:INT0\nBEGIN\nLD I0.1\nEND_INTERRUPT_BLOCK\n",
     {3}},
    {"MissingEndIsReportedAtTheHeader", kMain + "LD I0.0\n", {1}},
    {"EndOfTheWrongBlock", kMain + "LD I0.0\nEND_SUBROUTINE_BLOCK\n", {1, 5}},
    {"EndWithoutBlock", "END_ORGANIZATION_BLOCK\n", {1}},
    {"InstructionBeforeBegin", "ORGANIZATION_BLOCK OB1\nLD I0.0\nBEGIN\n" + kEnd, {2}},
    {"InstructionOutsideTheBlocks", "LD I0.0\n" + InMain(""), {1}},
    {"SecondMainProgram", InMain("") + InMain(""), {5}},
    {"DataBlockIsRefused", InMain("") + "DATA_BLOCK DB1\nVB0 1\nEND_DATA_BLOCK\n", {5, 6}},
    {"VariableSectionWithoutEnd",
     "SUBROUTINE_BLOCK SBR_0:SBR0\nVAR_INPUT\nIN1:BOOL;\nBEGIN\nEND_SUBROUTINE_BLOCK\n",
     {4}},
    {"BlockOpenedInsideABlock",
     kMain + "SUBROUTINE_BLOCK SBR_0:SBR0\nBEGIN\nEND_SUBROUTINE_BLOCK\n",
     {1}},
    {"NulBytesAreRefusedNotTruncated",
     InMain("LD I0.0" + std::string(1, '\0') + "\n= Q0.0 // " + std::string(1, '\0') + "\n"),
     {4}},
};

INSTANTIATE_TEST_SUITE_P(Files, ImportStructure, ::testing::ValuesIn(kStructureCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- instruction lines ---

struct TLineCase {
    const char* Name;
    const char* Line;
    K Kind;               // None: refused
    const char* Operand;  // normal form stored in the slot
    const char* Listed;   // as the listing shows it
};

class ImportLine : public ::testing::TestWithParam<TLineCase> {};

TEST_P(ImportLine, StoresTheNormalFormOrRefusesTheLine) {
    const TLineCase& c = GetParam();
    const TImportedProgram p = ParseS7Export(InMain(c.Line), nullptr);
    if (c.Kind == K::None) {
        ASSERT_EQ(ProblemLines(p), std::vector<int>{4});
        EXPECT_FALSE(p.Problems[0].Reason.empty());
        return;
    }
    ASSERT_TRUE(p.Ok()) << RefusalText(p.Problems);
    ASSERT_EQ(p.Instructions.size(), 1u);
    EXPECT_EQ(p.Instructions[0].Kind, c.Kind);
    EXPECT_EQ(p.Instructions[0].Operand, c.Operand);
    EXPECT_EQ(p.Listing[0], c.Listed);
}

const TLineCase kLineCases[] = {
    {"Contact", "LD     I0.0", K::LD, "I0.0", "LD     I0.0"},
    {"LowerCase", "ldn\tsm0.1", K::LDN, "SM0.1", "LDN    SM0.1"},
    {"TimerContact", "A T37", K::A, "T37", "A      T37"},
    {"CounterContact", "ON C255", K::ON, "C255", "ON     C255"},
    {"NoOperand", "ALD", K::ALD, "", "ALD"},
    {"Edge", "EU", K::EU, "", "EU"},
    {"Not", "NOT", K::NOT, "", "NOT"},
    {"SetRunAcrossBytes", "S Q0.6, 3", K::S, "Q0.6,3", "S      Q0.6, 3"},
    {"ResetTimers", "R T37, 2", K::R, "T37,2", "R      T37, 2"},
    {"ResetCountersToTheLast", "R C250, 6", K::R, "C250,6", "R      C250, 6"},
    {"TimerPresetWithSign", "TON T37, +100", K::TON, "T37,100", "TON    T37, +100"},
    {"TimerPresetWithoutSign", "TOF T38,5", K::TOF, "T38,5", "TOF    T38, +5"},
    {"RetentiveTimer", "TONR T5, +1", K::TONR, "T5,1", "TONR   T5, +1"},
    {"CounterPresetAtTheTop", "CTU C0, +32767", K::CTU, "C0,32767", "CTU    C0, +32767"},
    {"NegativeCounterPreset", "CTUD C1, -5", K::CTUD, "C1,-5", "CTUD   C1, -5"},
    {"ImmediateCoil", "=I Q1.1", K::AssignI, "Q1.1", "=I     Q1.1"},
    {"ImmediateSet", "SI Q0.0, 128", K::SI, "Q0.0,128", "SI     Q0.0, 128"},
    {"ImmediateContact", "LDNI I1.5", K::LDNI, "I1.5", "LDNI   I1.5"},
    {"CounterOutOfRange", "LD C256", K::None, "", ""},
    {"TimerOutOfRange", "LD T256", K::None, "", ""},
    {"SpecialBitOutOfRange", "LD SM999.9", K::None, "", ""},
    {"SpecialBitNotSimulated", "LD SM0.2", K::None, "", ""},
    {"BitNumberNine", "LD I9.9", K::None, "", ""},
    {"ByteBeyondTheMemory", "LD V21.0", K::None, "", ""},
    {"WordOperand", "LD VW100", K::None, "", ""},
    {"MissingOperand", "LD", K::None, "", ""},
    {"OperandWhereNoneIsTaken", "ALD I0.0", K::None, "", ""},
    {"MissingCount", "S Q0.0", K::None, "", ""},
    {"CountZero", "S Q0.0, 0", K::None, "", ""},
    {"CountTooLarge", "R M0.0, 256", K::None, "", ""},
    {"RunBeyondTheMemory", "R V20.7, 2", K::None, "", ""},
    {"TimerRunBeyond255", "R T250, 7", K::None, "", ""},
    {"HexCount", "S Q0.0, 16#2", K::None, "", ""},
    {"TimerPresetTooLarge", "TON T37, +40000", K::None, "", ""},
    {"NegativeTimerPreset", "TON T37, -1", K::None, "", ""},
    {"CounterPresetTooLarge", "CTU C0, 32768", K::None, "", ""},
    {"TonOnARetentiveTimer", "TON T0, +1", K::None, "", ""},
    {"TonrOnAnOnDelayTimer", "TONR T37, +1", K::None, "", ""},
    {"CounterBoxOnATimer", "CTU T37, +1", K::None, "", ""},
    {"AssignToSpecialMemory", "= SM0.0", K::None, "", ""},
    {"AssignToAnInput", "= I0.0", K::None, "", ""},
    {"SetATimer", "S T37, 1", K::None, "", ""},
    {"ImmediateContactOnAnOutput", "AI Q0.0", K::None, "", ""},
    {"ImmediateCoilOnAMarker", "=I M0.0", K::None, "", ""},
    {"ImmediateSetCountTooLarge", "SI Q0.0, 129", K::None, "", ""},
    {"SubroutineCall", "CALL SBR_0", K::None, "", ""},
    {"WordInstruction", "MOVW +1, VW0", K::None, "", ""},
    {"ConditionalEnd", "END", K::None, "", ""},
    {"LocalVariable", "LD #IN1", K::None, "", ""},
    {"UnknownNameWithoutSymbols", "LD Start", K::None, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Lines, ImportLine, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- symbols ---

TEST(ImportLines, OneTimerCannotBeBothATonAndATof) {
    const TImportedProgram p =
        ParseS7Export(InMain("TON T37, +1\nTON T37, +2\nTOF T37, +1\nTOF T38, +1\n"), nullptr);
    EXPECT_EQ(ProblemLines(p), std::vector<int>{6});
}

TEST(ImportSymbols, NamesQuotedOrBareResolveToTheirAddresses) {
    const TSymbolLookup symbols = Symbols({{"Start", "I0.0"}, {"Parts", "C7"}, {"Lamp", " Q0.1 "}});
    const TImportedProgram p =
        ParseS7Export(InMain("LD \"Start\"\nLD Start\nCTU Parts, 4\n= \"Lamp\"\n"), symbols);
    ASSERT_TRUE(p.Ok()) << RefusalText(p.Problems);
    EXPECT_EQ(p.Instructions[0].Operand, "I0.0");
    EXPECT_EQ(p.Instructions[2].Operand, "C7,4");
    EXPECT_EQ(p.Listing[3], "=      Q0.1  // Lamp");
}

TEST(ImportSymbols, UnknownNamesAndNamesOfUnsupportedAddressesAreRefusedLines) {
    const TSymbolLookup symbols = Symbols({{"Level", "VW10"}, {"Far", "M40.0"}});
    const TImportedProgram p =
        ParseS7Export(InMain("LD Nowhere\nLD Level\nLD \"Far\"\nLD I0.0\n"), symbols);
    EXPECT_EQ(ProblemLines(p), (std::vector<int>{4, 5, 6}));
    EXPECT_NE(p.Problems[0].Reason.find("known symbol"), std::string::npos);
    EXPECT_NE(p.Problems[1].Reason.find("VW10"), std::string::npos);
}

TEST(ImportSymbols, AddressesAreNeverLookedUpAsNames) {
    // A symbol file that names "I0.0" cannot redirect the address I0.0.
    const TImportedProgram p = ParseS7Export(InMain("LD I0.0\n"), Symbols({{"I0.0", "M1.0"}}));
    ASSERT_TRUE(p.Ok());
    EXPECT_EQ(p.Instructions[0].Operand, "I0.0");
}

// --- hostile input ---

TEST(ImportHostileInput, AHugeLineIsRefusedWithItsTextCut) {
    const std::string huge(1 << 20, 'A');
    const TImportedProgram p = ParseS7Export(InMain(huge + "\n"), nullptr);
    ASSERT_EQ(ProblemLines(p), std::vector<int>{4});
    EXPECT_LE(p.Problems[0].Text.size(), 100u);
    EXPECT_LE(RefusalText(p.Problems).size(), 400u);
}

TEST(ImportHostileInput, ControlBytesAreEscapedInTheReport) {
    const TImportedProgram p = ParseS7Export(InMain("LD I0.\x01\x7f"), nullptr);
    ASSERT_EQ(p.Problems.size(), 1u);
    EXPECT_EQ(p.Problems[0].Text, "LD I0.\\x01\\x7F");
}

TEST(ImportHostileInput, EveryOffendingLineIsListedInFileOrder) {
    std::string body;
    for (int k = 0; k < 500; ++k) body += "CALL SBR_0\n";
    const TImportedProgram p = ParseS7Export(kMain + body, nullptr);  // and no END
    ASSERT_EQ(p.Problems.size(), 501u);
    EXPECT_EQ(p.Problems.front().Line, 1);  // the unclosed block, reported at its header
    EXPECT_EQ(p.Problems.back().Line, 503);
}

TEST(ImportHostileInput, MoreInstructionsThanTheStoreHoldsAreRefused) {
    std::string body;
    body.reserve(size_t{kInstructionSlots} * 4);
    for (int k = 0; k < kInstructionSlots; ++k) body += "NOT\n";
    const TImportedProgram p = ParseS7Export(body, nullptr);
    ASSERT_EQ(p.Problems.size(), 1u);
    EXPECT_EQ(p.Problems[0].Line, kInstructionSlots);
}

// --- the loader's import ---

class LoaderImport : public PlcTest {
  protected:
    TProgramLoader loader{plc};
    std::vector<std::string> listed;
    TProgramLoader::ListSink sink = [this](const std::string& line) { listed.push_back(line); };
};

TEST_F(LoaderImport, ARefusedFileLeavesProgramListingAndMemoryAsTheyWere) {
    ASSERT_TRUE(loader.ImportText(InMain("LD I0.0\n= Q0.0\n"), nullptr, sink).Ok());
    plc.M.At(1, 1) = true;
    listed.clear();
    const TImportedProgram p = loader.ImportText(InMain("LD I0.1\nCALL SBR_0\n"), nullptr, sink);
    EXPECT_FALSE(p.Ok());
    EXPECT_TRUE(listed.empty());
    EXPECT_EQ(loader.Listing(), (std::vector<std::string>{" 1\tLD     I0.0", " 2\t=      Q0.0"}));
    EXPECT_EQ(plc.Instructions[1].Operand, "I0.0");
    EXPECT_TRUE(plc.M.At(1, 1));
    EXPECT_TRUE(recorder.Messages.empty());  // the callers report
}

TEST_F(LoaderImport, AnImportReplacesALoadedProgramAndEmptiesTheLineStore) {
    Load({"LD     I0.0", "=      Q0.1"});
    plc.Running = true;
    plc.I.At(0, 0) = true;
    ASSERT_TRUE(loader.ImportText(InMain("LD SM0.1\n= Q0.0\n"), nullptr, sink).Ok());
    EXPECT_EQ(plc.LineCount, 0);
    EXPECT_EQ(plc.Instructions[3].Kind, K::None);
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(plc.Q.At(0, 0));   // a load in RUN: the next scan is a first scan
    EXPECT_FALSE(plc.Q.At(0, 1));  // the old program is gone
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(plc.Q.At(0, 0));
}

TEST_F(LoaderImport, LoadProgramStillReadsSpecialMemoryAsItAlwaysDid) {
    // "Load program" keeps its grammar: SM0.1 is area S, byte text "M0".
    Load({"LD     SM0.1"});
    EXPECT_FALSE(Scan());
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"'M0' is not a valid integer value"});
}

TEST_F(LoaderImport, InstallRefusesOperandsThatDoNotDecodeAndKeepsTheProgram) {
    Load({"LD     I0.0"});
    const std::vector<TPLCInstruction> bad = {{K::LD, "SM0.3"}};
    EXPECT_THROW(plc.InstallImportedProgram(bad), std::invalid_argument);
    const std::vector<TPLCInstruction> run = {{K::S, "V20.7,2"}};
    EXPECT_THROW(plc.InstallImportedProgram(run), std::invalid_argument);
    EXPECT_EQ(plc.Instructions[1].Operand, "I0.0");
}

TEST_F(LoaderImport, ResetClearsCountersAndEdgeMemories) {
    ASSERT_TRUE(
        loader
            .ImportText(InMain("LD I0.0\nEU\n= M0.0\nLD I0.0\nLD I0.1\nCTU C0, 1\n"), nullptr, sink)
            .Ok());
    plc.I.At(0, 0) = true;
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(plc.M.At(0, 0));
    EXPECT_EQ(plc.Counters[0].Count, 1);
    plc.ResetMemory();
    EXPECT_EQ(plc.Counters[0], TPLCCounter{});
    plc.I.At(0, 0) = true;
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(plc.M.At(0, 0));  // the edge memory was cleared: the held input is new again
    EXPECT_EQ(plc.Counters[0].Count, 1);
}

// The examples use only what both ways in share (no TOF): loaded and imported, they must
// run alike, scan for scan, under the same inputs.
class BothWaysIn : public ::testing::TestWithParam<const char*> {};

TEST_P(BothWaysIn, AnExampleRunsTheSameLoadedAndImported) {
    TMessageRecorder recorder;
    const std::filesystem::path file =
        std::filesystem::path(CORVANE_EXAMPLES_DIR) / (std::string(GetParam()) + ".awl");
    TPLC loaded, imported;
    TProgramLoader loader(loaded), importer(imported);
    ASSERT_TRUE(loader.LoadFile(file, nullptr));
    const TImportedProgram p = importer.ImportFile(file, nullptr, nullptr);
    ASSERT_TRUE(p.Ok()) << RefusalText(p.Problems);
    loaded.Running = imported.Running = true;
    std::mt19937 rng(7);
    for (int ms = 0; ms < 20000; ++ms) {
        if (rng() % 50 == 0) {
            const size_t input = rng() % 24;  // I0.0 .. I2.7
            loaded.I[input] = imported.I[input] = !loaded.I[input];
        }
        loaded.ExecuteScan();
        imported.ExecuteScan();
        loaded.TimerTick();
        imported.TimerTick();
        ASSERT_TRUE(loaded.Q == imported.Q && loaded.M == imported.M && loaded.V == imported.V)
            << "ms " << ms;
        ASSERT_EQ(loaded.Timers, imported.Timers) << "ms " << ms;
        ASSERT_EQ(loaded.LogicStack, imported.LogicStack) << "ms " << ms;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, BothWaysIn,
                         ::testing::Values("start_stop", "motor", "blinker", "traffic"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace corvane::plc::test
