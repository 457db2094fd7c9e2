#pragma once
// The instruction set in one place: each kind's mnemonic, operand form and text
// handler, and the column rules by which the compiler recognises a source line.
#include <span>
#include <string_view>

#include "PLC_Instruction.h"

namespace corvane::plc {

enum class TOperandForm { None, BitOrTimer, Bit, BitWithCount, TimerBox, CounterBox };

// What the S7-200 import accepts as the operand of a kind.
enum class TImportOperand {
    None,          // no operand
    Contact,       // a bit of I, Q, M, V or SM, a timer or a counter
    InputContact,  // an input bit (immediate contacts)
    Coil,          // a bit of Q, M or V
    OutputCoil,    // an output bit (immediate coil)
    SetRun,        // bit of Q, M or V, count 1..255
    ResetRun,      // as SetRun, or a timer or counter with a count
    OutputRun,     // output bit, count 1..128 (immediate set/reset)
    TimerBox,      // timer, preset 0..32767
    CounterBox,    // counter, preset -32768..32767
};

struct TInstructionInfo {
    TInstructionKind Kind;
    std::string_view Mnemonic;
    TOperandForm Form;
    // Executes by operand text; nullptr for the kinds that only run decoded.
    void (*Execute)(TPLC& plc, std::string_view operand);
    TImportOperand Import;
};

// The row whose mnemonic is `mnemonic` (upper case), or nullptr.
const TInstructionInfo* FindMnemonic(std::string_view mnemonic);

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
