#pragma once
// The executable form of a compiled program: operands resolved once, at compile time, to
// the memory they name. Internal to the controller core.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
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
    // Imported programs only:
    EdgeUp,         // level 0 := level 0 and not *Bit; *Bit := old level 0
    EdgeDown,       // level 0 := *Bit and not level 0; *Bit := old level 0
    Not,            // level 0 := not level 0
    CountUp,        // CTU Counter, preset Arg: R level 0, CU level 1; pops R
    CountDown,      // CTD: LD level 0, CD level 1; pops LD
    CountUpDown,    // CTUD: R level 0, CD level 1, CU level 2; pops R and CD
    ResetTimers,    // if level 0: Arg timers from Timer: Count := 0, Done := 0
    ResetCounters,  // if level 0: Arg counters from Counter: Count := 0, Done := 0
};

struct TDecodedOp {
    union {
        bool* Bit;
        TPLCTimer* Timer;
        TPLCCounter* Counter;
    };
    int32_t Arg = 0;
    TOp Op = TOp::End;
    char Letter = '\0';
};
static_assert(sizeof(TDecodedOp) == 16, "keep the hot loop's operations compact");

struct TDecodedProgram {
    std::vector<TDecodedOp> Ops{TDecodedOp{}};  // always ends with End
    // One memory per EU/ED instruction, owned here so that it lives exactly as long as the
    // ops that point into it.
    std::unique_ptr<bool[]> Edges;
    size_t EdgeCount = 0;

    void ClearEdges() { std::fill_n(Edges.get(), EdgeCount, false); }
};

// Decodes the slots of `plc.Instructions` into ops that point into `plc`'s memory.
TDecodedProgram DecodeProgram(TPLC& plc);

// Decodes an imported program (operands in the import's normal form). False, with
// `program` unusable, when an operand does not decode.
bool DecodeImportedProgram(TPLC& plc, std::span<const TPLCInstruction> instructions,
                           TDecodedProgram& program);

}  // namespace corvane::plc
