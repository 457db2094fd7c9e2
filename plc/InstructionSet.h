#pragma once
// The instruction set in one place: each kind's mnemonic, operand form and text
// handler, and the column rules by which the compiler recognises a source line.
#include <span>
#include <string_view>

#include "PLC_Instruction.h"

namespace corvane::plc {

enum class TOperandForm { None, BitOrTimer, Bit, BitWithCount, TimerBox };

struct TInstructionInfo {
    TInstructionKind Kind;
    std::string_view Mnemonic;
    TOperandForm Form;
    void (*Execute)(TPLC& plc, std::string_view operand);
};

std::span<const TInstructionInfo> InstructionTable();
const TInstructionInfo* FindInstruction(TInstructionKind kind);

// One row of the recogniser: Pattern[c] must equal column c + 1 of the line, '?' tests
// nothing. Rows are tried in order; the first that matches gives the kind.
struct TColumnRule {
    std::string_view Pattern;
    TInstructionKind Kind;
};

std::span<const TColumnRule> ColumnRules();

// Kind of a stored line by the column rules, or None when no row matches.
TInstructionKind RecogniseLine(std::string_view line);

}  // namespace corvane::plc
