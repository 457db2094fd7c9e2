// CompileProgram: line store to instruction slots by the column rules, then to the
// decoded form that ExecuteScan runs.
#include <algorithm>
#include <stdexcept>

#include "DecodedProgram.h"
#include "InstructionSet.h"
#include "OperandParser.h"
#include "ProgramLoader.h"
#include "S7Operand.h"

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
        default:  // the kinds only the import produces; it decodes them itself
            return;
    }
}

// --- imported programs: operands in the S7 grammar's normal form ---

struct TImportedOperand {
    TS7Address Address;
    int Value = 0;  // count or preset
};

// "ADDRESS" or "ADDRESS,VALUE"; false when it does not parse.
bool ParseImportedOperand(std::string_view text, bool withValue, TImportedOperand& out) {
    const size_t comma = text.find(',');
    if (withValue != (comma != std::string_view::npos)) return false;
    std::string reason;
    if (ParseS7Address(text.substr(0, comma), out.Address, reason) != TS7Parse::Ok) return false;
    return !withValue ||
           ParseS7Constant(text.substr(comma + 1), kCounterMin, kCounterMax, out.Value, reason);
}

bool* BitOf(TPLC& plc, const TS7Address& a) {
    const auto element = static_cast<size_t>(a.Element());
    switch (a.Area) {
        case TS7Area::I:
            return &plc.I[element];
        case TS7Area::Q:
            return &plc.Q[element];
        case TS7Area::M:
            return &plc.M[element];
        case TS7Area::V:
            return &plc.V[element];
        case TS7Area::SM:
            return &plc.SM[static_cast<size_t>(a.Bit)];
        case TS7Area::T:
            return &plc.Timers[static_cast<size_t>(a.Byte)].Done;
        case TS7Area::C:
            return &plc.Counters[static_cast<size_t>(a.Byte)].Done;
    }
    return nullptr;
}

TOp ContactOp(TInstructionKind kind) {
    using K = TInstructionKind;
    switch (kind) {
        case K::LD:
        case K::LDI:
            return TOp::Load;
        case K::LDN:
        case K::LDNI:
            return TOp::LoadNot;
        case K::A:
        case K::AI:
            return TOp::And;
        case K::AN:
        case K::ANI:
            return TOp::AndNot;
        case K::O:
        case K::OI:
            return TOp::Or;
        case K::ON:
        case K::ONI:
            return TOp::OrNot;
        default:
            return TOp::End;
    }
}

TOp PlainOp(TInstructionKind kind) {
    using K = TInstructionKind;
    switch (kind) {
        case K::ALD:
            return TOp::Ald;
        case K::OLD:
            return TOp::Old;
        case K::LPS:
            return TOp::Lps;
        case K::LPP:
            return TOp::Lpp;
        case K::LRD:
            return TOp::Lrd;
        case K::NOT:
            return TOp::Not;
        default:
            return TOp::End;
    }
}

// A set or reset of `count` bits, timers or counters from `a`, kept inside its table.
bool DecodeRun(TPLC& plc, bool set, const TImportedOperand& o, TDecodedOp& d) {
    const int count = o.Value;
    if (count < 1) return false;
    const TS7Address& a = o.Address;
    if (a.Area == TS7Area::T || a.Area == TS7Area::C) {
        if (set || a.Byte + count > kTimerCount) return false;
        d.Op = a.Area == TS7Area::T ? TOp::ResetTimers : TOp::ResetCounters;
        if (a.Area == TS7Area::T)
            d.Timer = &plc.Timers[static_cast<size_t>(a.Byte)];
        else
            d.Counter = &plc.Counters[static_cast<size_t>(a.Byte)];
    } else {
        if (a.Area == TS7Area::I || a.Area == TS7Area::SM) return false;
        if (a.Element() + count > kBitsPerArea) return false;
        d.Op = set ? TOp::SetRun : TOp::ResetRun;
        d.Bit = BitOf(plc, a);
    }
    d.Arg = count;
    return true;
}

bool DecodeImportedSlot(TPLC& plc, const TPLCInstruction& in, TDecodedProgram& program,
                        size_t& edge) {
    using K = TInstructionKind;
    const TInstructionInfo* info = FindInstruction(in.Kind);
    if (!info) return false;
    TDecodedOp d{};
    if (info->Import == TImportOperand::None) {
        if (!in.Operand.empty()) return false;
        if (in.Kind == K::EU || in.Kind == K::ED) {
            d.Op = in.Kind == K::EU ? TOp::EdgeUp : TOp::EdgeDown;
            d.Bit = &program.Edges[edge++];
        } else {
            d.Op = PlainOp(in.Kind);
            if (d.Op == TOp::End) return false;
        }
        program.Ops.push_back(d);
        return true;
    }
    const bool withValue = info->Form == TOperandForm::BitWithCount ||
                           info->Form == TOperandForm::TimerBox ||
                           info->Form == TOperandForm::CounterBox;
    TImportedOperand o;
    if (!ParseImportedOperand(in.Operand, withValue, o)) return false;
    const TS7Area area = o.Address.Area;
    switch (in.Kind) {
        case K::S:
        case K::SI:
        case K::R:
        case K::RI:
            if (!DecodeRun(plc, in.Kind == K::S || in.Kind == K::SI, o, d)) return false;
            break;
        case K::Assign:
        case K::AssignI:
            if (!o.Address.IsBit() || area == TS7Area::I || area == TS7Area::SM) return false;
            d.Op = TOp::Assign;
            d.Bit = BitOf(plc, o.Address);
            break;
        case K::TON:
        case K::TONR:
        case K::TOF:
            if (area != TS7Area::T || o.Value < 0) return false;
            d.Op = TOp::TimerBox;
            d.Timer = &plc.Timers[static_cast<size_t>(o.Address.Byte)];
            d.Arg = o.Value;
            // An imported TOF is the CPU's off-delay timer ('D').
            d.Letter = in.Kind == K::TON ? 'N' : in.Kind == K::TONR ? 'R' : 'D';
            break;
        case K::CTU:
        case K::CTD:
        case K::CTUD:
            if (area != TS7Area::C) return false;
            d.Op = in.Kind == K::CTU   ? TOp::CountUp
                   : in.Kind == K::CTD ? TOp::CountDown
                                       : TOp::CountUpDown;
            d.Counter = &plc.Counters[static_cast<size_t>(o.Address.Byte)];
            d.Arg = o.Value;
            break;
        default:
            d.Op = ContactOp(in.Kind);
            if (d.Op == TOp::End) return false;
            d.Bit = BitOf(plc, o.Address);
            break;
    }
    program.Ops.push_back(d);
    return true;
}

}  // namespace

bool DecodeImportedProgram(TPLC& plc, std::span<const TPLCInstruction> instructions,
                           TDecodedProgram& program) {
    program.Ops.clear();
    program.EdgeCount = static_cast<size_t>(
        std::count_if(instructions.begin(), instructions.end(), [](const TPLCInstruction& in) {
            return in.Kind == TInstructionKind::EU || in.Kind == TInstructionKind::ED;
        }));
    program.Edges = std::make_unique<bool[]>(program.EdgeCount);
    size_t edge = 0;
    for (const TPLCInstruction& in : instructions)
        if (!DecodeImportedSlot(plc, in, program, edge)) return false;
    program.Ops.push_back(TDecodedOp{});
    return true;
}

void TPLC::InstallImportedProgram(const std::vector<TPLCInstruction>& program) {
    if (program.size() >= static_cast<size_t>(kInstructionSlots))
        throw std::invalid_argument("the program has more instructions than the store holds");
    auto decoded = std::make_shared<TDecodedProgram>();
    if (!DecodeImportedProgram(*this, program, *decoded))
        throw std::invalid_argument("an imported instruction does not decode");
    Busy = true;
    for (TPLCInstruction& slot : Instructions) {
        slot.Kind = TInstructionKind::None;
        slot.Operand.clear();
    }
    std::copy(program.begin(), program.end(), Instructions.begin() + 1);
    Decoded_ = std::move(decoded);
    FirstScanPending = true;
    Busy = false;
}

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
    FirstScanPending = true;
    Busy = false;
}

}  // namespace corvane::plc
