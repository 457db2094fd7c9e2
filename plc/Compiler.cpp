// CompileProgram: line store to instruction slots by the column rules, then to the
// decoded form that ExecuteScan runs.
#include <algorithm>

#include "DecodedProgram.h"
#include "InstructionSet.h"
#include "OperandParser.h"
#include "ProgramLoader.h"

namespace corvane::plc {

namespace {

constexpr int kOperandColumn = 5;

std::string OperandText(const std::string& line) {
    std::string operand;
    for (size_t c = kOperandColumn - 1; c < line.size(); ++c)
        if (line[c] != ' ') operand += line[c];
    return operand;
}

TDecodedOp Fallback(int slot) {
    TDecodedOp d{};
    d.Op = TOp::Fallback;
    d.Arg = slot;
    return d;
}

TDecodedOp WithBit(TOp op, bool* bit) {
    TDecodedOp d{};
    d.Op = op;
    d.Bit = bit;
    return d;
}

// A contact operand resolved to the Boolean it reads, or to nullptr when its letter names
// no area. False when executing it could fail.
bool ResolveContact(TPLC& plc, std::string_view op, bool*& target) {
    TQuietParse p;
    if (!op.empty() && op[0] == 'T') {
        const int n = ParseTimer(p, op);
        target = p.Failed ? nullptr : &plc.Timers[static_cast<size_t>(n)].Done;
        return !p.Failed;
    }
    const TBitAddress a = ParseBit(p, op);
    if (p.Failed) return false;
    TBitArea* area = plc.AreaOf(a.Letter);
    target = area ? &(*area)[static_cast<size_t>(a.Element())] : nullptr;
    return true;
}

struct TContactOps {
    TOp Read;
    TOp NoArea;  // End means: emit nothing
};

// Appends the decoded form of one slot; emits nothing for slots without any effect.
void DecodeSlot(TPLC& plc, int slot, const TPLCInstruction& in, std::vector<TDecodedOp>& out) {
    const std::string_view op = in.Operand;
    auto contact = [&](TContactOps ops) {
        bool* target = nullptr;
        if (!ResolveContact(plc, op, target))
            out.push_back(Fallback(slot));
        else if (target)
            out.push_back(WithBit(ops.Read, target));
        else if (ops.NoArea != TOp::End)
            out.push_back(WithBit(ops.NoArea, nullptr));
    };
    switch (in.Kind) {
        case TInstructionKind::LD:
        case TInstructionKind::LDI:
            return contact({TOp::Load, TOp::PushOnly});
        case TInstructionKind::LDN:
        case TInstructionKind::LDNI:
            return contact({TOp::LoadNot, TOp::PushOnly});
        case TInstructionKind::A:
            return contact({TOp::And, TOp::End});
        case TInstructionKind::AN:
            return contact({TOp::AndNot, TOp::End});
        case TInstructionKind::O:
            return contact({TOp::Or, TOp::End});
        case TInstructionKind::ON:
            return contact({TOp::OrNot, TOp::End});
        case TInstructionKind::ALD:
            return out.push_back(WithBit(TOp::Ald, nullptr));
        case TInstructionKind::OLD:
            return out.push_back(WithBit(TOp::Old, nullptr));
        case TInstructionKind::LPS:
            return out.push_back(WithBit(TOp::Lps, nullptr));
        case TInstructionKind::LPP:
            return out.push_back(WithBit(TOp::Lpp, nullptr));
        case TInstructionKind::LRD:
            return out.push_back(WithBit(TOp::Lrd, nullptr));
        case TInstructionKind::Assign: {
            TQuietParse p;
            const TBitAddress a = ParseBit(p, op);
            if (p.Failed) return out.push_back(Fallback(slot));
            TBitArea* area = a.Letter == 'I' ? nullptr : plc.AreaOf(a.Letter);
            if (area)
                out.push_back(WithBit(TOp::Assign, &(*area)[static_cast<size_t>(a.Element())]));
            return;
        }
        case TInstructionKind::S:
        case TInstructionKind::R: {
            TQuietParse p;
            const TBitAddress a = ParseBitWithCount(p, op);
            if (p.Failed) return out.push_back(Fallback(slot));
            TBitArea* area = a.Letter == 'I' ? nullptr : plc.AreaOf(a.Letter);
            const int run = std::min(a.Count, kBitsPerByte - a.Bit);
            if (!area || run <= 0) return;
            TDecodedOp d = WithBit(in.Kind == TInstructionKind::S ? TOp::SetRun : TOp::ResetRun,
                                   &(*area)[static_cast<size_t>(a.Element())]);
            d.Arg = run;
            return out.push_back(d);
        }
        case TInstructionKind::TON:
        case TInstructionKind::TOF:
        case TInstructionKind::TONR: {
            TQuietParse p;
            const int n = ParseBoxNumber(p, op);
            const int preset = ParseBoxPreset(p, op);
            if (p.Failed) return out.push_back(Fallback(slot));
            TDecodedOp d{};
            d.Op = TOp::TimerBox;
            d.Timer = &plc.Timers[static_cast<size_t>(n)];
            d.Arg = preset;
            d.Letter = in.Kind == TInstructionKind::TON   ? 'N'
                       : in.Kind == TInstructionKind::TOF ? 'F'
                                                          : 'R';
            return out.push_back(d);
        }
        case TInstructionKind::None:
            return;
    }
}

}  // namespace

TDecodedProgram DecodeProgram(TPLC& plc) {
    TDecodedProgram program;
    program.Ops.clear();
    for (int slot = 1; slot < kInstructionSlots; ++slot) {
        const TPLCInstruction& in = plc.Instructions[static_cast<size_t>(slot)];
        if (in.Kind == TInstructionKind::None) break;
        DecodeSlot(plc, slot, in, program.Ops);
    }
    program.Ops.push_back(TDecodedOp{});
    return program;
}

void TPLC::CompileProgram(const TProgramLines& lines) {
    Busy = true;
    for (TPLCInstruction& slot : Instructions) {
        slot.Kind = TInstructionKind::None;
        slot.Operand.clear();
    }
    size_t index = 1;
    const int last = std::min<int>(LineCount, kMaxProgramLines);
    for (int k = 1; k <= last; ++k) {
        const std::string& t = lines.Slots[static_cast<size_t>(k)];
        if (t.empty()) continue;
        const TInstructionKind kind = RecogniseLine(t);
        if (kind == TInstructionKind::None) continue;
        TPLCInstruction& slot = Instructions[index++];
        slot.Kind = kind;
        if (FindInstruction(kind)->Form != TOperandForm::None) slot.Operand = OperandText(t);
    }
    Decoded_ = std::make_shared<TDecodedProgram>(DecodeProgram(*this));
    Busy = false;
}

}  // namespace corvane::plc
