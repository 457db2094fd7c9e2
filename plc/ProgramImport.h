#pragma once
// Programs as the S7-200 programming software exports them (STEP 7-Micro/WIN and the
// SMART software): block headers, networks, comments, any indentation and spacing, and
// symbolic operands resolved through a symbol table. Only the main program (OB1) runs.
// The import is all or nothing: every line that cannot be executed exactly as on the
// CPU 224 is reported, and then nothing of the file is taken.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PLC_Instruction.h"

namespace corvane::plc {

// Address text of a symbol name, or nullopt when the name is unknown.
using TSymbolLookup = std::function<std::optional<std::string>(std::string_view name)>;

// One line that stops the import.
struct TImportProblem {
    int Line = 0;      // 1-based line number in the file
    std::string Text;  // the line for display: trimmed, control bytes escaped, long lines cut
    std::string Reason;
};

// The parsed file: the main program's instructions with operands in the normal form of
// S7Operand.h, each also as listed, or the problems that refuse it.
struct TImportedProgram {
    std::vector<TPLCInstruction> Instructions;
    std::vector<std::string> Listing;  // one normalised line per instruction
    std::vector<TImportProblem> Problems;
    bool Ok() const { return Problems.empty(); }
};

// Parses export text (8-bit, LF, CR LF or CR). `symbols` may be empty: no symbol file.
TImportedProgram ParseS7Export(const std::string& content, const TSymbolLookup& symbols);

// "Imported 12 instructions."
std::string ImportedText(size_t count);
// A summary line, then one line per problem: "line 7: CALL SBR_0 -- <reason>".
std::string RefusalText(const std::vector<TImportProblem>& problems);

}  // namespace corvane::plc
