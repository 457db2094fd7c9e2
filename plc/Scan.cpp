// ExecuteScan over the decoded program. The logic stack lives in a register as a 9-bit
// word (bit k = level k) and is written back before anything that can look at it.
#include "DecodedProgram.h"
#include "OperandParser.h"

#include <iterator>

namespace corvane::plc {

namespace {
constexpr uint32_t kStackMask = (1u << kLogicStackDepth) - 1;  // levels 0..8
constexpr uint32_t kBelowTop = kStackMask & ~1u;

// The counter boxes as the CPU runs them: a count on each rising edge of a count input;
// reset (CTU, CTUD) or load (CTD) wins over counting but the edge memories still follow
// their inputs. CTU stops at 32767 and CTD at 0; CTUD wraps from 32767 to -32768 and back.
void CountUpBox(TPLCCounter& c, int32_t preset, bool reset, bool up) {
    const bool rising = up && !c.Up;
    c.Up = up;
    if (reset) {
        c.Count = 0;
        c.Done = false;
        return;
    }
    if (rising && c.Count < kCounterMax) ++c.Count;
    c.Done = c.Count >= preset;
}

void CountDownBox(TPLCCounter& c, int32_t preset, bool load, bool down) {
    const bool rising = down && !c.Down;
    c.Down = down;
    if (load) {
        c.Count = preset;
        c.Done = false;
        return;
    }
    if (rising && c.Count > 0) --c.Count;
    c.Done = c.Count == 0;
}

void CountUpDownBox(TPLCCounter& c, int32_t preset, bool reset, bool down, bool up) {
    const bool risingUp = up && !c.Up;
    const bool risingDown = down && !c.Down;
    c.Up = up;
    c.Down = down;
    if (reset) {
        c.Count = 0;
        c.Done = false;
        return;
    }
    if (risingUp) c.Count = c.Count == kCounterMax ? kCounterMin : c.Count + 1;
    if (risingDown) c.Count = c.Count == kCounterMin ? kCounterMax : c.Count - 1;
    c.Done = c.Count >= preset;
}

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
            &&End,         &&Load,          &&LoadNot, &&PushOnly, &&And,       &&AndNot,
            &&Or,          &&OrNot,         &&Ald,     &&Old,      &&Lps,       &&Lpp,
            &&Lrd,         &&Assign,        &&SetRun,  &&ResetRun, &&TimerBox,  &&Fallback,
            &&EdgeUp,      &&EdgeDown,      &&Not,     &&CountUp,  &&CountDown, &&CountUpDown,
            &&ResetTimers, &&ResetCounters,
        };
        static_assert(std::size(kHandlers) == static_cast<size_t>(TOp::ResetCounters) + 1);
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
    EdgeUp : {
        const uint32_t now = s & 1u;
        s = (s & kBelowTop) | (now & ~uint32_t{*d->Bit});
        *d->Bit = now;
        CORVANE_NEXT();
    }
    EdgeDown : {
        const uint32_t now = s & 1u;
        s = (s & kBelowTop) | (~now & uint32_t{*d->Bit} & 1u);
        *d->Bit = now;
        CORVANE_NEXT();
    }
    Not:
        s ^= 1u;
        CORVANE_NEXT();
    CountUp:
        CountUpBox(*d->Counter, d->Arg, s & 1u, (s >> 1) & 1u);
        s >>= 1;
        CORVANE_NEXT();
    CountDown:
        CountDownBox(*d->Counter, d->Arg, s & 1u, (s >> 1) & 1u);
        s >>= 1;
        CORVANE_NEXT();
    CountUpDown:
        CountUpDownBox(*d->Counter, d->Arg, s & 1u, (s >> 1) & 1u, (s >> 2) & 1u);
        s >>= 2;
        CORVANE_NEXT();
    ResetTimers:
        if (s & 1u)
            for (int k = 0; k < d->Arg; ++k) d->Timer[k].Count = 0, d->Timer[k].Done = false;
        CORVANE_NEXT();
    ResetCounters:
        if (s & 1u)
            for (int k = 0; k < d->Arg; ++k) d->Counter[k].Count = 0, d->Counter[k].Done = false;
        CORVANE_NEXT();
    End:
        StoreStack(plc, s);
#undef CORVANE_NEXT
    }
};

void TPLC::ExecuteScan() {
    Busy = true;
    BeginScan();
    const std::shared_ptr<const TDecodedProgram> program = Decoded_;
    TScanEngine::Run(*this, *program);
    Busy = false;
}

}  // namespace corvane::plc
