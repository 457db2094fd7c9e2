// TPLC: construction, memory operations and the instruction semantics by operand text.
#include "PLC_Instruction.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "DecodedProgram.h"
#include "InstructionSet.h"
#include "OperandParser.h"

namespace corvane::plc {

std::string RangeErrorText(std::string_view op, std::string_view what, int value, int last) {
    std::string text = "'";
    text.append(op);
    text += "' is not a valid operand: ";
    text.append(what);
    text += " number " + std::to_string(value) + " is outside 0 to " + std::to_string(last);
    return text;
}

namespace {

struct TTimerDefault {
    int32_t TimeBase;
    char Kind;
};

// The CPU 224's fixed timer layout: retentive (R) and on/off-delay (O) blocks, each with a
// 1 ms, four 10 ms and the rest 100 ms timers.
TTimerDefault TimerDefault(int n) {
    const int block = n < 64 ? n : (n < 128 ? n - 64 : 128);
    if (block <= 31) {
        if (block == 0) return {1, 'R'};
        if (block <= 4) return {10, 'R'};
        return {100, 'R'};
    }
    if (block == 32) return {1, 'O'};
    if (block <= 36) return {10, 'O'};
    return {100, 'O'};
}

}  // namespace

bool IsRetentiveTimer(int number) {
    return TimerDefault(number).Kind == 'R';
}

TPLC::TPLC() : Instructions(kInstructionSlots) {
    for (int n = 0; n < kTimerCount; ++n) {
        const TTimerDefault d = TimerDefault(n);
        Timers[static_cast<size_t>(n)].TimeBase = d.TimeBase;
        Timers[static_cast<size_t>(n)].Kind = d.Kind;
    }
    Decoded_ = std::make_shared<TDecodedProgram>();
    SM[kSmAlwaysOn] = true;
}

TPLC::~TPLC() = default;

const TBitArea* TPLC::AreaOf(char letter) const {
    switch (letter) {
        case 'I':
            return &I;
        case 'Q':
            return &Q;
        case 'M':
            return &M;
        case 'V':
            return &V;
        default:
            return nullptr;
    }
}

TBitArea* TPLC::AreaOf(char letter) {
    return const_cast<TBitArea*>(std::as_const(*this).AreaOf(letter));
}

void TPLC::ResetMemory() {
    I = {};
    Q = {};
    M = {};
    V = {};
    for (TPLCTimer& t : Timers) {
        t.Done = false;
        t.Count = 0;
        if (t.Kind == 'F') t.Done = true;
    }
    Counters = {};
    Decoded_->ClearEdges();
    Busy = false;
}

void TPLC::LoadInputs(const TBitArea& source) {
    constexpr size_t kLoadedInputs = 9 * kBitsPerByte;  // input bytes 0..8 have switches
    std::copy_n(source.Bits.begin(), kLoadedInputs, I.Bits.begin());
}

void TPLC::SetMarkerBit(std::string_view address) {
    if (address.empty()) return;
    TReportingParse p;
    const TBitAddress a = ParseBit(p, address);
    M.At(a.Byte, a.Bit) = true;
}

void TPLC::ResetMarkerBit(std::string_view address) {
    if (address.empty()) return;
    TReportingParse p;
    const TBitAddress a = ParseBit(p, address);
    M.At(a.Byte, a.Bit) = false;
}

void TPLC::WriteBit(std::string_view address, bool value) {
    TReportingParse p;
    const TBitAddress a = ParseBit(p, address);
    if (TBitArea* area = AreaOf(a.Letter)) area->At(a.Byte, a.Bit) = value;
}

std::optional<bool> TPLC::ReadBit(std::string_view address) {
    if (address.empty()) return std::nullopt;
    TReportingParse p;
    const TBitAddress a = ParseBit(p, address);
    if (TBitArea* area = AreaOf(a.Letter)) return area->At(a.Byte, a.Bit);
    return std::nullopt;
}

// --- logic stack ---

void TPLC::Push() {
    for (int level = kLogicStackDepth - 1; level > 0; --level)
        LogicStack[static_cast<size_t>(level)] = LogicStack[static_cast<size_t>(level - 1)];
}

void TPLC::Pop() {
    for (int level = 0; level < kLogicStackDepth - 1; ++level)
        LogicStack[static_cast<size_t>(level)] = LogicStack[static_cast<size_t>(level + 1)];
    LogicStack[kLogicStackDepth - 1] = false;
}

namespace {

// Value of a contact operand; nullopt when its letter names no area (nothing is read).
// A timer operand is recognised by its first character alone; anything else is a bit.
std::optional<bool> ReadContact(TPLC& plc, std::string_view op) {
    TReportingParse p;
    if (!op.empty() && op[0] == 'T') return plc.Timers[static_cast<size_t>(ParseTimer(p, op))].Done;
    const TBitAddress a = ParseBit(p, op);
    if (TBitArea* area = plc.AreaOf(a.Letter)) return area->At(a.Byte, a.Bit);
    return std::nullopt;
}

bool IsTimerOperand(std::string_view op) {
    return !op.empty() && op[0] == 'T';
}

}  // namespace

void TPLC::LD(std::string_view op) {
    const std::optional<bool> value = ReadContact(*this, op);
    Push();
    if (value) LogicStack[0] = *value;
}

void TPLC::LDN(std::string_view op) {
    Push();
    const std::optional<bool> value = ReadContact(*this, op);
    if (value) LogicStack[0] = !*value;
}

// A timer operand is only looked at when it can change the result.
void TPLC::A(std::string_view op) {
    if (IsTimerOperand(op) && !LogicStack[0]) return;
    if (const std::optional<bool> value = ReadContact(*this, op))
        LogicStack[0] = LogicStack[0] && *value;
}

void TPLC::AN(std::string_view op) {
    if (IsTimerOperand(op) && !LogicStack[0]) return;
    if (const std::optional<bool> value = ReadContact(*this, op))
        LogicStack[0] = LogicStack[0] && !*value;
}

void TPLC::O(std::string_view op) {
    if (IsTimerOperand(op) && LogicStack[0]) return;
    if (const std::optional<bool> value = ReadContact(*this, op))
        LogicStack[0] = LogicStack[0] || *value;
}

void TPLC::ON(std::string_view op) {
    if (IsTimerOperand(op) && LogicStack[0]) return;
    if (const std::optional<bool> value = ReadContact(*this, op))
        LogicStack[0] = LogicStack[0] || !*value;
}

// ALD and OLD combine levels 0 and 1 into level 0, then pop what was level 1.
void TPLC::DropLevelOne() {
    for (int level = 1; level < kLogicStackDepth - 1; ++level)
        LogicStack[static_cast<size_t>(level)] = LogicStack[static_cast<size_t>(level + 1)];
    LogicStack[kLogicStackDepth - 1] = false;
}

void TPLC::ALD() {
    LogicStack[0] = LogicStack[0] && LogicStack[1];
    DropLevelOne();
}

void TPLC::OLD() {
    LogicStack[0] = LogicStack[0] || LogicStack[1];
    DropLevelOne();
}

void TPLC::LPS() {
    Push();
}
void TPLC::LPP() {
    Pop();
}
void TPLC::LRD() {
    LogicStack[0] = LogicStack[1];
}

// Only Q, M and V are written; an input or any other letter still has its numbers checked.
void TPLC::Assign(std::string_view op) {
    TReportingParse p;
    const TBitAddress a = ParseBit(p, op);
    if (a.Letter == 'I') return;
    if (TBitArea* area = AreaOf(a.Letter)) area->At(a.Byte, a.Bit) = LogicStack[0];
}

void TPLC::SetRun(std::string_view op, bool value) {
    TReportingParse p;
    const TBitAddress a = ParseBitWithCount(p, op);
    if (!LogicStack[0] || a.Letter == 'I') return;
    TBitArea* area = AreaOf(a.Letter);
    if (!area) return;
    for (int bit = a.Bit; bit < a.Bit + a.Count && bit < kBitsPerByte; ++bit)
        area->At(a.Byte, bit) = value;
}

void TPLC::S(std::string_view op) {
    SetRun(op, true);
}
void TPLC::R(std::string_view op) {
    SetRun(op, false);
}

void TPLC::TimerBox(std::string_view op, char kindLetter) {
    TReportingParse p;
    TPLCTimer& t = Timers[static_cast<size_t>(ParseBoxNumber(p, op))];
    t.Enable = LogicStack[0];
    t.Kind = kindLetter;
    t.Preset = ParseBoxPreset(p, op);
    t.Target = TimerTarget(t.Preset, t.TimeBase);
}

void TPLC::TON(std::string_view op) {
    TimerBox(op, 'N');
}
void TPLC::TOF(std::string_view op) {
    TimerBox(op, 'F');
}
void TPLC::TONR(std::string_view op) {
    TimerBox(op, 'R');
}

void TPLC::ExecuteInstruction(const TPLCInstruction& instruction) {
    const TInstructionInfo* info = FindInstruction(instruction.Kind);
    if (info && info->Execute) info->Execute(*this, instruction.Operand);
}

void TPLC::BeginScan() {
    const bool first = FirstScanPending;
    FirstScanPending = false;
    SM[kSmFirstScan] = first;
    SM[kSmScanClock] = first || !SM[kSmScanClock];  // on in the first scan, then alternating
}

void TPLC::ExecuteScanByText() {
    Busy = true;
    BeginScan();
    for (int slot = 1; slot < kInstructionSlots; ++slot) {
        const TPLCInstruction& instruction = Instructions[static_cast<size_t>(slot)];
        if (instruction.Kind == TInstructionKind::None) break;
        ExecuteInstruction(instruction);
    }
    Busy = false;
}

// What the tick does to a timer of each kind letter, so that the loop over all 256 records
// (every millisecond) needs no comparison chains. Retentive TONR: counts while enabled,
// keeps Count and Done while disabled; only ResetMemory clears it.
namespace {

struct TTickRule {
    int32_t DisabledCountMask;  // 0: a disabled timer restarts; -1: it keeps its count
    uint8_t DisabledDoneKeep;   // Done := (Done & keep) | set while disabled
    uint8_t DisabledDoneSet;
    uint8_t Driven;    // while enabled, Done follows the count
    uint8_t OffDelay;  // ... inverted
};

constexpr std::array<TTickRule, 256> MakeTickRules() {
    std::array<TTickRule, 256> rules{};
    for (TTickRule& r : rules) r = {0, 1, 0, 0, 0};  // R and O from construction and any other
    rules['N'] = {0, 0, 0, 1, 0};
    rules['F'] = {0, 0, 1, 1, 1};
    rules['R'] = {-1, 1, 0, 1, 0};
    return rules;
}

constexpr std::array<TTickRule, 256> kTickRules = MakeTickRules();

// The CPU's off-delay timer (kind 'D', a TOF of an imported program): on at once while
// enabled; once disabled it times out and switches off, and stays off until enabled again.
void TickCpuOffDelay(TPLCTimer& t) {
    if (t.Enable) {
        t.Count = 0;
        t.Done = true;
    } else if (t.Done) {
        const int32_t limit = t.Target > kMaxTimerCount ? t.Target : kMaxTimerCount;
        t.Count = t.Count < limit ? t.Count + 1 : limit;
        if (t.Count >= t.Target) t.Done = false;
    }
}

}  // namespace

void TPLC::TimerTick() {
    clockMs_ = clockMs_ + 1 == kMinuteClockMs ? 0 : clockMs_ + 1;
    SM[kSmMinuteClock] = clockMs_ >= kMinuteClockMs / 2;
    SM[kSmSecondClock] = clockMs_ % kSecondClockMs >= kSecondClockMs / 2;
    for (TPLCTimer& t : Timers) {
        if (t.Kind == 'D') {
            TickCpuOffDelay(t);
            continue;
        }
        const TTickRule& rule = kTickRules[static_cast<uint8_t>(t.Kind)];
        if (t.Enable) {
            // Saturates at the larger of 32765 and the target, so that every target is
            // reached; a timer with a target of at most 32765 counts exactly as it always did.
            const int32_t limit = t.Target > kMaxTimerCount ? t.Target : kMaxTimerCount;
            const int32_t count = t.Count < limit ? t.Count + 1 : limit;
            t.Count = count;
            if (rule.Driven) t.Done = (count >= t.Target) != static_cast<bool>(rule.OffDelay);
        } else {
            t.Count &= rule.DisabledCountMask;
            t.Done = (t.Done & rule.DisabledDoneKeep) | rule.DisabledDoneSet;
        }
    }
}

}  // namespace corvane::plc
