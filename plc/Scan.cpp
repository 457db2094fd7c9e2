// ExecuteScan over the decoded program. The logic stack lives in a register as a 9-bit
// word (bit k = level k) and is written back before anything that can look at it.
#include "DecodedProgram.h"
#include "OperandParser.h"

#include <iterator>

namespace corvane::plc {

namespace {
constexpr uint32_t kStackMask = (1u << kLogicStackDepth) - 1;  // levels 0..8
constexpr uint32_t kBelowTop = kStackMask & ~1u;
}  // namespace

struct TScanEngine {
    static uint32_t LoadStack(const TPLC& plc) {
        uint32_t s = 0;
        for (int level = 0; level < kLogicStackDepth; ++level)
            s |= uint32_t{plc.LogicStack[static_cast<size_t>(level)]} << level;
        return s;
    }

    static void StoreStack(TPLC& plc, uint32_t s) {
        for (int level = 0; level < kLogicStackDepth; ++level)
            plc.LogicStack[static_cast<size_t>(level)] = (s >> level) & 1u;
    }

    // Threaded dispatch: every handler jumps to the next one itself, so each has its own
    // indirect branch and the predictor learns the program's instruction sequence.
    static void Run(TPLC& plc, const TDecodedProgram& program) {
        static constexpr void* kHandlers[] = {
            &&End, &&Load,   &&LoadNot, &&PushOnly, &&And,      &&AndNot,
            &&Or,  &&OrNot,  &&Ald,     &&Old,      &&Lps,      &&Lpp,
            &&Lrd, &&Assign, &&SetRun,  &&ResetRun, &&TimerBox, &&Fallback,
        };
        static_assert(std::size(kHandlers) == static_cast<size_t>(TOp::Fallback) + 1);
        uint32_t s = LoadStack(plc);
        const TDecodedOp* d = program.Ops.data();
#define CORVANE_NEXT() goto* kHandlers[static_cast<size_t>((++d)->Op)]
        goto* kHandlers[static_cast<size_t>(d->Op)];
    Load:
        s = ((s << 1) & kBelowTop) | uint32_t{*d->Bit};
        CORVANE_NEXT();
    LoadNot:
        s = ((s << 1) & kBelowTop) | (uint32_t{*d->Bit} ^ 1u);
        CORVANE_NEXT();
    PushOnly:
        s = ((s << 1) | (s & 1u)) & kStackMask;
        CORVANE_NEXT();
    And:
        s &= kBelowTop | uint32_t{*d->Bit};
        CORVANE_NEXT();
    AndNot:
        s &= kBelowTop | (uint32_t{*d->Bit} ^ 1u);
        CORVANE_NEXT();
    Or:
        s |= uint32_t{*d->Bit};
        CORVANE_NEXT();
    OrNot:
        s |= uint32_t{*d->Bit} ^ 1u;
        CORVANE_NEXT();
    Ald:
        s = ((s >> 1) & kBelowTop) | (s & (s >> 1) & 1u);
        CORVANE_NEXT();
    Old:
        s = ((s >> 1) & kBelowTop) | ((s | (s >> 1)) & 1u);
        CORVANE_NEXT();
    Lps:
        s = ((s << 1) | (s & 1u)) & kStackMask;
        CORVANE_NEXT();
    Lpp:
        s >>= 1;
        CORVANE_NEXT();
    Lrd:
        s = (s & kBelowTop) | ((s >> 1) & 1u);
        CORVANE_NEXT();
    Assign:
        *d->Bit = s & 1u;
        CORVANE_NEXT();
    SetRun:
        if (s & 1u)
            for (int k = 0; k < d->Arg; ++k) d->Bit[k] = true;
        CORVANE_NEXT();
    ResetRun:
        if (s & 1u)
            for (int k = 0; k < d->Arg; ++k) d->Bit[k] = false;
        CORVANE_NEXT();
    TimerBox : {
        TPLCTimer& t = *d->Timer;
        t.Enable = s & 1u;
        t.Kind = d->Letter;
        t.Preset = d->Arg;
        t.Target = TimerTarget(d->Arg, t.TimeBase);
        CORVANE_NEXT();
    }
    Fallback:
        // Messages and a failure come from the text path itself; the stack is handed over
        // so that a failure leaves it exactly as that path would.
        StoreStack(plc, s);
        plc.ExecuteInstruction(plc.Instructions[static_cast<size_t>(d->Arg)]);
        s = LoadStack(plc);
        CORVANE_NEXT();
    End:
        StoreStack(plc, s);
#undef CORVANE_NEXT
    }
};

void TPLC::ExecuteScan() {
    Busy = true;
    const std::shared_ptr<const TDecodedProgram> program = Decoded_;
    TScanEngine::Run(*this, *program);
    Busy = false;
}

}  // namespace corvane::plc
