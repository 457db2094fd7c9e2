// Arbitrary bytes as an STL file and a test-bench command script (the two parts split at
// the first zero byte). The program is loaded from a real file, as `corvane-plc` does;
// every `load` in the script loads that same file, and repeat counts are kept small so
// that one input runs in milliseconds. Nothing may crash or hang.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "TestBench.h"

namespace {

std::string gProgram;
constexpr long long kMaxRepeat = 64;

bool IsRepeatCommand(const std::string& word) {
    return word == "scan" || word == "tick" || word == "ms" || word == "refresh";
}

// The script with every `load` pointed at the program file and repeat counts cut down.
std::string Tame(const std::string& script) {
    std::istringstream in(script);
    std::string out, line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        if (first == "load") {
            line = "load " + gProgram;
        } else if (IsRepeatCommand(first) && !second.empty()) {
            long long n = 0;
            for (char c : second) {
                if (c < '0' || c > '9') {
                    n = -1;
                    break;
                }
                n = (n * 10 + (c - '0')) % 1000000;
            }
            if (n > kMaxRepeat) line = first + " " + std::to_string(n % kMaxRepeat);
        }
        out += line + '\n';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gProgram = "/tmp/corvane-fuzz-testbench." + std::to_string(getpid()) + ".awl";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    {
        std::ofstream program(gProgram, std::ios::binary | std::ios::trunc);
        program << input.substr(0, split);
    }
    std::ostringstream out, err;
    corvane::testbench::TTestBench bench(out, err);
    bench.Load(gProgram);
    if (split != std::string::npos) {
        std::istringstream script(Tame(input.substr(split + 1)));
        bench.RunScript(script);
    }
    return 0;
}
