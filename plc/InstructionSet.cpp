#include "InstructionSet.h"

#include <array>

namespace corvane::plc {
namespace {

using K = TInstructionKind;
using F = TOperandForm;

// LDI and LDNI read the input area, which here is the physical input, so the immediate
// read is the normal one; the other immediate forms likewise act as the plain ones.
using I = TImportOperand;
constexpr std::array kInstructions = {
    TInstructionInfo{K::LD, "LD", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.LD(o); },
                     I::Contact},
    TInstructionInfo{K::LDI, "LDI", F::Bit, [](TPLC& p, std::string_view o) { p.LD(o); },
                     I::InputContact},
    TInstructionInfo{K::LDN, "LDN", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.LDN(o); },
                     I::Contact},
    TInstructionInfo{K::LDNI, "LDNI", F::Bit, [](TPLC& p, std::string_view o) { p.LDN(o); },
                     I::InputContact},
    TInstructionInfo{K::LPS, "LPS", F::None, [](TPLC& p, std::string_view) { p.LPS(); }, I::None},
    TInstructionInfo{K::LPP, "LPP", F::None, [](TPLC& p, std::string_view) { p.LPP(); }, I::None},
    TInstructionInfo{K::LRD, "LRD", F::None, [](TPLC& p, std::string_view) { p.LRD(); }, I::None},
    TInstructionInfo{K::ALD, "ALD", F::None, [](TPLC& p, std::string_view) { p.ALD(); }, I::None},
    TInstructionInfo{K::AN, "AN", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.AN(o); },
                     I::Contact},
    TInstructionInfo{K::A, "A", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.A(o); },
                     I::Contact},
    TInstructionInfo{K::O, "O", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.O(o); },
                     I::Contact},
    TInstructionInfo{K::OLD, "OLD", F::None, [](TPLC& p, std::string_view) { p.OLD(); }, I::None},
    TInstructionInfo{K::ON, "ON", F::BitOrTimer, [](TPLC& p, std::string_view o) { p.ON(o); },
                     I::Contact},
    TInstructionInfo{K::S, "S", F::BitWithCount, [](TPLC& p, std::string_view o) { p.S(o); },
                     I::SetRun},
    TInstructionInfo{K::R, "R", F::BitWithCount, [](TPLC& p, std::string_view o) { p.R(o); },
                     I::ResetRun},
    TInstructionInfo{K::Assign, "=", F::Bit, [](TPLC& p, std::string_view o) { p.Assign(o); },
                     I::Coil},
    TInstructionInfo{K::TOF, "TOF", F::TimerBox, [](TPLC& p, std::string_view o) { p.TOF(o); },
                     I::TimerBox},
    TInstructionInfo{K::TONR, "TONR", F::TimerBox, [](TPLC& p, std::string_view o) { p.TONR(o); },
                     I::TimerBox},
    TInstructionInfo{K::TON, "TON", F::TimerBox, [](TPLC& p, std::string_view o) { p.TON(o); },
                     I::TimerBox},
    TInstructionInfo{K::EU, "EU", F::None, nullptr, I::None},
    TInstructionInfo{K::ED, "ED", F::None, nullptr, I::None},
    TInstructionInfo{K::NOT, "NOT", F::None, nullptr, I::None},
    TInstructionInfo{K::CTU, "CTU", F::CounterBox, nullptr, I::CounterBox},
    TInstructionInfo{K::CTD, "CTD", F::CounterBox, nullptr, I::CounterBox},
    TInstructionInfo{K::CTUD, "CTUD", F::CounterBox, nullptr, I::CounterBox},
    TInstructionInfo{K::AI, "AI", F::Bit, [](TPLC& p, std::string_view o) { p.A(o); },
                     I::InputContact},
    TInstructionInfo{K::ANI, "ANI", F::Bit, [](TPLC& p, std::string_view o) { p.AN(o); },
                     I::InputContact},
    TInstructionInfo{K::OI, "OI", F::Bit, [](TPLC& p, std::string_view o) { p.O(o); },
                     I::InputContact},
    TInstructionInfo{K::ONI, "ONI", F::Bit, [](TPLC& p, std::string_view o) { p.ON(o); },
                     I::InputContact},
    TInstructionInfo{K::AssignI, "=I", F::Bit, [](TPLC& p, std::string_view o) { p.Assign(o); },
                     I::OutputCoil},
    TInstructionInfo{K::SI, "SI", F::BitWithCount, [](TPLC& p, std::string_view o) { p.S(o); },
                     I::OutputRun},
    TInstructionInfo{K::RI, "RI", F::BitWithCount, [](TPLC& p, std::string_view o) { p.R(o); },
                     I::OutputRun},
};

// The recogniser looks at single characters only, so other mnemonics sharing these
// letters take the kind of the row they match (LR.. is LRD, AE.. is A).
constexpr std::array kColumnRules = {
    TColumnRule{"=", K::Assign}, TColumnRule{"AL", K::ALD},    TColumnRule{"AN", K::AN},
    TColumnRule{"A", K::A},      TColumnRule{"LD ", K::LD},    TColumnRule{"LDI", K::LDI},
    TColumnRule{"LDN ", K::LDN}, TColumnRule{"LDNI", K::LDNI}, TColumnRule{"LPP", K::LPP},
    TColumnRule{"LPS", K::LPS},  TColumnRule{"LR", K::LRD},    TColumnRule{"O ", K::O},
    TColumnRule{"OLD", K::OLD},  TColumnRule{"ON", K::ON},     TColumnRule{"R", K::R},
    TColumnRule{"S", K::S},      TColumnRule{"T?F", K::TOF},   TColumnRule{"T?NR", K::TONR},
    TColumnRule{"T?N", K::TON},
};

bool Matches(std::string_view pattern, std::string_view line) {
    for (size_t c = 0; c < pattern.size(); ++c) {
        if (pattern[c] == '?') continue;
        if (c >= line.size() || line[c] != pattern[c]) return false;
    }
    return true;
}

}  // namespace

std::span<const TInstructionInfo> InstructionTable() {
    return kInstructions;
}

constexpr bool TableIsInKindOrder() {
    for (size_t i = 0; i < kInstructions.size(); ++i)
        if (static_cast<size_t>(kInstructions[i].Kind) != i + 1) return false;
    return true;
}
static_assert(TableIsInKindOrder(), "FindInstruction indexes the table by kind");

const TInstructionInfo* FindInstruction(TInstructionKind kind) {
    const auto index = static_cast<size_t>(kind) - 1;  // None wraps to a huge index
    return index < kInstructions.size() ? &kInstructions[index] : nullptr;
}

const TInstructionInfo* FindMnemonic(std::string_view mnemonic) {
    for (const TInstructionInfo& info : kInstructions)
        if (info.Mnemonic == mnemonic) return &info;
    return nullptr;
}

std::span<const TColumnRule> ColumnRules() {
    return kColumnRules;
}

TInstructionKind RecogniseLine(std::string_view line) {
    for (const TColumnRule& rule : kColumnRules)
        if (Matches(rule.Pattern, line)) return rule.Kind;
    return TInstructionKind::None;
}

}  // namespace corvane::plc
