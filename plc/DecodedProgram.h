#pragma once
// The executable form of a compiled program: operands resolved once, at compile time, to
// the memory they name. Internal to the controller core.
#include <cstdint>
#include <vector>

#include "PLC_Instruction.h"

namespace corvane::plc {

enum class TOp : uint8_t {
    End,
    Load,      // push; level 0 := *Bit
    LoadNot,   // push; level 0 := !*Bit
    PushOnly,  // a load whose letter names no area
    And,
    AndNot,
    Or,
    OrNot,
    Ald,
    Old,
    Lps,
    Lpp,
    Lrd,
    Assign,    // *Bit := level 0
    SetRun,    // if level 0: Arg bits from Bit := 1
    ResetRun,  // if level 0: Arg bits from Bit := 0
    TimerBox,  // Timer: Enable := level 0, Kind := Letter, Preset := Arg
    Fallback,  // operand that fails, or may fail: execute slot Arg by its text
};

struct TDecodedOp {
    union {
        bool* Bit;
        TPLCTimer* Timer;
    };
    int32_t Arg = 0;
    TOp Op = TOp::End;
    char Letter = '\0';
};
static_assert(sizeof(TDecodedOp) == 16, "keep the hot loop's operations compact");

struct TDecodedProgram {
    std::vector<TDecodedOp> Ops{TDecodedOp{}};  // always ends with End
};

// Decodes the slots of `plc.Instructions` into ops that point into `plc`'s memory.
TDecodedProgram DecodeProgram(TPLC& plc);

}  // namespace corvane::plc
