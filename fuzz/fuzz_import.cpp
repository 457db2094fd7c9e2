// Arbitrary text as an S7-200 export: parse with a small symbol table; an accepted
// program must install and run (scans, ticks, resets) without a fault. Refusals must
// name lines of the input and show them bounded.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Messages.h"
#include "PLC_Instruction.h"
#include "ProgramImport.h"

using namespace corvane::plc;

namespace {

std::optional<std::string> Lookup(std::string_view name) {
    if (name == "Start") return "I0.0";
    if (name == "Parts") return "C3";
    if (name == "Level") return "VW0";
    if (name == "Lamp") return "q0.1";
    return std::nullopt;
}

size_t LineCount(const std::string& text) {
    size_t lines = 1;
    for (size_t k = 0; k < text.size(); ++k)
        if (text[k] == '\n' || (text[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n')))
            ++lines;
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetMessageService(nullptr);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TImportedProgram program = ParseS7Export(text, &Lookup);
    if (!program.Ok()) {
        const size_t lines = LineCount(text);
        for (const TImportProblem& p : program.Problems) {
            if (p.Line < 1 || static_cast<size_t>(p.Line) > lines) std::abort();
            if (p.Text.size() > 90 || p.Reason.empty()) std::abort();
        }
        if (!program.Instructions.empty()) std::abort();
        return 0;
    }
    if (program.Listing.size() != program.Instructions.size()) std::abort();
    static TPLC plc;  // one controller: every import replaces the last one's program
    plc.InstallImportedProgram(program.Instructions);  // throws, and so fails, if it cannot
    plc.Running = true;
    for (int round = 0; round < 8; ++round) {
        const size_t element = size ? data[round % size] % 168 : 0;
        plc.I[element] = !plc.I[element];
        plc.ExecuteScan();
        for (int t = 0; t < 250; ++t) plc.TimerTick();
        if (round == 5) plc.ResetMemory();
    }
    return 0;
}
