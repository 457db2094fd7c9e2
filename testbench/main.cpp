// corvane-plc [--script FILE] [PROGRAM]: the controller without the console.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "TestBench.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane-plc [--script FILE] [PROGRAM]\n"
    "Loads PROGRAM (an STL file), then runs the commands of FILE, or of standard input\n"
    "without --script. Exit status: 0 every expectation held, 1 one failed, 2 usage error\n"
    "(a program or script that cannot be read, or a line that cannot be understood).\n";

int UsageError() {
    return static_cast<int>(corvane::testbench::TExitCode::UsageError);
}

}  // namespace

int main(int argc, char** argv) {
    using corvane::testbench::NotARegularFile;
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
            return UsageError();
        }
    }
    std::ifstream file;
    if (!script.empty()) {
        // Checked before opening: opening a FIFO would wait for a writer.
        std::string why = NotARegularFile(script);
        if (why.empty()) {
            errno = 0;
            file.open(script);
            if (!file) why = errno ? std::strerror(errno) : "it cannot be opened";
        }
        if (!why.empty()) {
            std::cerr << "corvane-plc: cannot read script '" << script << "': " << why << '\n';
            return UsageError();
        }
    }
    corvane::testbench::TTestBench bench(std::cout, std::cerr);
    if (!program.empty()) {
        if (const std::string why = NotARegularFile(program); !why.empty()) {
            std::cerr << "corvane-plc: cannot read program '" << program << "': " << why << '\n';
            return UsageError();
        }
        if (!bench.Load(program)) {  // the loader's message ("File not found", ...) is out
            std::cout.flush();
            std::cerr << "corvane-plc: program '" << program << "' was not loaded\n";
            return UsageError();
        }
    }
    const TExitCode code = bench.RunScript(script.empty() ? std::cin : file);
    bench.PrintSummary();
    std::cout.flush();
    return static_cast<int>(code);
}
