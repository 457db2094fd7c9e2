// The decoded scan must be indistinguishable from parsing every operand at execution:
// same state, same messages in the same order, same halts.
#include <random>

#include "PlcTestSupport.h"
#include "ProgramGenerator.h"

namespace corvane::plc::test {
namespace {

void ExpectSameState(const TPLC& a, const TPLC& b, const std::string& where) {
    EXPECT_EQ(a.I, b.I) << where;
    EXPECT_EQ(a.Q, b.Q) << where;
    EXPECT_EQ(a.M, b.M) << where;
    EXPECT_EQ(a.V, b.V) << where;
    EXPECT_EQ(a.LogicStack, b.LogicStack) << where;
    EXPECT_EQ(a.Busy, b.Busy) << where;
    for (size_t n = 0; n < a.Timers.size(); ++n)
        EXPECT_EQ(a.Timers[n], b.Timers[n]) << where << " T" << n;
}

// Runs `scans` scans with ticks and input changes on both controllers.
void RunBoth(const std::vector<std::string>& program, unsigned seed, int scans) {
    TMessageRecorder recorder;
    TPLC decoded, text;
    TProgramLines store;
    Compile(decoded, store, program);
    Compile(text, store, program);
    std::mt19937 rng(seed);
    std::string listing;
    for (const std::string& l : program) listing += l + "\n";
    for (int scan = 0; scan < scans; ++scan) {
        const size_t element = rng() % 168;
        decoded.I[element] = text.I[element] = !decoded.I[element];
        if (decoded.Busy) decoded.ResetMemory(), text.ResetMemory();
        recorder.Messages.clear();
        const bool okDecoded = RunEvent([&] { decoded.ExecuteScan(); });
        const std::vector<std::string> decodedMessages = recorder.Messages;
        recorder.Messages.clear();
        const bool okText = RunEvent([&] { text.ExecuteScanByText(); });
        EXPECT_EQ(okDecoded, okText) << listing;
        EXPECT_EQ(decodedMessages, recorder.Messages) << listing;
        for (int t = static_cast<int>(rng() % 30); t > 0; --t)
            decoded.TimerTick(), text.TimerTick();
        ExpectSameState(decoded, text, listing + " after scan " + std::to_string(scan));
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(DecodedEquivalence, RandomProgramsBehaveAsTextParsing) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::string> program =
            RandomProgram(rng, 1 + static_cast<int>(rng() % 40));
        RunBoth(program, static_cast<unsigned>(round), 12);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(DecodedEquivalence, HandPickedEdges) {
    const std::vector<std::vector<std::string>> programs = {
        {"LDN    I0.0", "A      Tx", "O      T5", "=      Q0.0"},
        {"LD     I0.0", "ON     T", "A      T39", "S      Q0.7, 9"},
        {"LD     X1.1", "LDN    X1.1", "=      X1.1", "S      X0.0, 3", "OLD"},
        {"TON    T37, +2147483647", "LD     T37", "=      Q0.0"},
        {"LD     I0.0", "TONR   T2, 1", "LD     T2", "=      M0.0"},
        {"LPS", "LPS", "LPS", "LPS", "LPS", "LPS", "LPS", "LPS", "LPS", "LPP", "LRD"},
        {"=      I0.0", "S      I0.0, 8", "R      V20.7, 1"},
        {"LD     I0.0", "TON    AT5,3", "TOF    XT7,1"},
    };
    for (size_t k = 0; k < programs.size(); ++k) RunBoth(programs[k], static_cast<unsigned>(k), 40);
}

}  // namespace
}  // namespace corvane::plc::test
