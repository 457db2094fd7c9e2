// corvane-plc [--script FILE] [PROGRAM]: the controller without the console.
#include <fstream>
#include <iostream>
#include <string>

#include "TestBench.h"

namespace {

constexpr const char* kUsage = "usage: corvane-plc [--script FILE] [PROGRAM]\n";

}  // namespace

int main(int argc, char** argv) {
    using corvane::testbench::TExitCode;
    std::string script, program;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--script" && k + 1 < argc && script.empty()) {
            script = argv[++k];
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && program.empty()) {
            program = arg;
        } else {
            std::cerr << kUsage;
            return static_cast<int>(TExitCode::UsageError);
        }
    }
    std::ifstream file;
    if (!script.empty()) {
        file.open(script);
        if (!file) {
            std::cerr << "corvane-plc: cannot read script '" << script << "'\n";
            return static_cast<int>(TExitCode::UsageError);
        }
    }
    corvane::testbench::TTestBench bench(std::cout, std::cerr);
    if (!program.empty()) bench.Load(program);
    const TExitCode code = bench.RunScript(script.empty() ? std::cin : file);
    std::cout.flush();
    return static_cast<int>(code);
}
