#pragma once
// Random STL lines, well-formed and malformed, for comparing the decoded scan with the
// text-parsing one.
#include <random>
#include <string>
#include <vector>

namespace corvane::plc::test {

inline std::vector<std::string> RandomProgram(std::mt19937& rng, int size) {
    static const char* const kMnemonics[] = {"LD", "LDN", "LDI", "LDNI", "A",   "AN",  "O",
                                             "ON", "ALD", "OLD", "LPS",  "LPP", "LRD", "=",
                                             "S",  "R",   "TON", "TOF",  "TONR"};
    static const char* const kOddOperands[] = {"",     "I0",    "M.3",  "Q1.",  "Tx",    "T",
                                               "T256", "M21.0", "V0.8", "X1.1", "i0.0",  "Q0.0,",
                                               "T37,", "T37,x", "A0.0", "T-1",  "M1.+2", "Q0.0,1"};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto bit = [&] {
        static const char kAreas[] = "IQMVT";
        const char area = kAreas[pick(5)];
        if (area == 'T') return "T" + std::to_string(pick(40));
        return std::string(1, area) + std::to_string(pick(3)) + "." + std::to_string(pick(8));
    };
    std::vector<std::string> lines;
    for (int k = 0; k < size; ++k) {
        const std::string mnemonic = kMnemonics[pick(19)];
        std::string operand;
        if (pick(12) == 0) {
            operand = kOddOperands[pick(18)];
        } else if (mnemonic[0] == 'T') {
            operand = "T" + std::to_string(pick(40)) + ", " + (pick(2) ? "+" : "") +
                      std::to_string(pick(5));
        } else if (mnemonic == "S" || mnemonic == "R") {
            operand = bit() + ", " + std::to_string(pick(10));
        } else {
            operand = bit();
        }
        std::string line = mnemonic;
        line.resize(7, ' ');
        lines.push_back(line + operand);
    }
    return lines;
}

}  // namespace corvane::plc::test
