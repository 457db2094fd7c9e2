// ExecuteScan over the decoded program. The logic stack lives in a register as a 9-bit
// word (bit k = level k) and is written back before anything that can look at it.
#include "DecodedProgram.h"
#include "OperandParser.h"

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

    static void Run(TPLC& plc, const TDecodedProgram& program) {
        uint32_t s = LoadStack(plc);
        for (const TDecodedOp* d = program.Ops.data();; ++d) {
            switch (d->Op) {
                case TOp::End:
                    StoreStack(plc, s);
                    return;
                case TOp::Load:
                    s = ((s << 1) & kBelowTop) | uint32_t{*d->Bit};
                    break;
                case TOp::LoadNot:
                    s = ((s << 1) & kBelowTop) | (uint32_t{*d->Bit} ^ 1u);
                    break;
                case TOp::PushOnly:
                    s = ((s << 1) | (s & 1u)) & kStackMask;
                    break;
                case TOp::And:
                    s &= kBelowTop | uint32_t{*d->Bit};
                    break;
                case TOp::AndNot:
                    s &= kBelowTop | (uint32_t{*d->Bit} ^ 1u);
                    break;
                case TOp::Or:
                    s |= uint32_t{*d->Bit};
                    break;
                case TOp::OrNot:
                    s |= uint32_t{*d->Bit} ^ 1u;
                    break;
                case TOp::Ald:
                    s = ((s >> 1) & kBelowTop) | (s & (s >> 1) & 1u);
                    break;
                case TOp::Old:
                    s = ((s >> 1) & kBelowTop) | ((s | (s >> 1)) & 1u);
                    break;
                case TOp::Lps:
                    s = ((s << 1) | (s & 1u)) & kStackMask;
                    break;
                case TOp::Lpp:
                    s >>= 1;
                    break;
                case TOp::Lrd:
                    s = (s & kBelowTop) | ((s >> 1) & 1u);
                    break;
                case TOp::Assign:
                    *d->Bit = s & 1u;
                    break;
                case TOp::SetRun:
                    if (s & 1u)
                        for (int k = 0; k < d->Arg; ++k) d->Bit[k] = true;
                    break;
                case TOp::ResetRun:
                    if (s & 1u)
                        for (int k = 0; k < d->Arg; ++k) d->Bit[k] = false;
                    break;
                case TOp::TimerBox: {
                    TPLCTimer& t = *d->Timer;
                    t.Enable = s & 1u;
                    t.Kind = d->Letter;
                    t.Preset = d->Arg;
                    t.Target = TimerTarget(d->Arg, t.TimeBase);
                    break;
                }
                case TOp::Fallback:
                    // Messages and a failure come from the text path itself; the stack is
                    // handed over so that a failure leaves it exactly as that path would.
                    StoreStack(plc, s);
                    plc.ExecuteInstruction(plc.Instructions[static_cast<size_t>(d->Arg)]);
                    s = LoadStack(plc);
                    break;
            }
        }
    }
};

void TPLC::ExecuteScan() {
    Busy = true;
    const std::shared_ptr<const TDecodedProgram> program = Decoded_;
    TScanEngine::Run(*this, *program);
    Busy = false;
}

}  // namespace corvane::plc
