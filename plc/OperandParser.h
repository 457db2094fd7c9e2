#pragma once
// Operand grammar shared by execution and decoding. Each parse is written once and run
// with one of two strategies: TReportingParse shows the copystr message and throws, as
// an executing instruction does; TQuietParse has no side effect and only records whether
// execution would fail, so the decoder can prove an operand safe to pre-resolve.
#include <cstdint>
#include <string>
#include <string_view>

#include "Operand.h"

namespace corvane::plc {

struct TReportingParse {
    static constexpr bool kQuiet = false;
    std::string Copy(std::string_view s, int from, int to) { return copystr(s, from, to); }
    int ToInt(std::string_view text) { return StrToInt(text); }
    void Refuse(const std::string& message) { throw EConvertError(message); }
};

struct TQuietParse {
    static constexpr bool kQuiet = true;
    bool Failed = false;
    std::string Copy(std::string_view s, int from, int to) {
        if (from < 1 || to < from || static_cast<size_t>(to) > s.size()) {
            Failed = true;
            return {};
        }
        return std::string(
            s.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1)));
    }
    int ToInt(std::string_view text) {
        int value = 0;
        if (!TryStrToInt(text, value)) Failed = true;
        return value;
    }
    void Refuse(const std::string&) { Failed = true; }
};

struct TBitAddress {
    char Letter = '\0';  // first character of the operand, '\0' when empty
    int Byte = 0;
    int Bit = 0;
    int Count = 0;  // only for the bit-with-count form
    int Element() const { return Byte * kBitsPerByte + Bit; }
};

std::string RangeErrorText(std::string_view op, std::string_view what, int value, int last);

template <class P>
int CheckRange(P& p, std::string_view op, std::string_view what, int value, int last) {
    if (value < 0 || value > last) {
        p.Refuse(RangeErrorText(op, what, value, last));
        return 0;
    }
    return value;
}

inline int Len(std::string_view s) {
    return static_cast<int>(s.size());
}

// Bit operand: byte text = characters 2 .. first "." - 1, bit text = first "." + 1 .. end.
template <class P>
TBitAddress ParseBit(P& p, std::string_view op) {
    TBitAddress a;
    a.Letter = op.empty() ? '\0' : op[0];
    const int dot = FindStr(".", op);
    a.Byte = CheckRange(p, op, "byte", p.ToInt(p.Copy(op, 2, dot - 1)), kBytesPerArea - 1);
    a.Bit = CheckRange(p, op, "bit", p.ToInt(p.Copy(op, dot + 1, Len(op))), kBitsPerByte - 1);
    return a;
}

// Bit with count: the bit text ends before the first ","; the count is the last character.
template <class P>
TBitAddress ParseBitWithCount(P& p, std::string_view op) {
    TBitAddress a;
    a.Letter = op.empty() ? '\0' : op[0];
    const int dot = FindStr(".", op);
    const int comma = FindStr(",", op);
    a.Byte = CheckRange(p, op, "byte", p.ToInt(p.Copy(op, 2, dot - 1)), kBytesPerArea - 1);
    a.Bit = CheckRange(p, op, "bit", p.ToInt(p.Copy(op, dot + 1, comma - 1)), kBitsPerByte - 1);
    a.Count = p.ToInt(p.Copy(op, Len(op), Len(op)));
    return a;
}

// Timer operand: number text = first "T" + 1 .. end.
template <class P>
int ParseTimer(P& p, std::string_view op) {
    return CheckRange(p, op, "timer", p.ToInt(p.Copy(op, FindStr("T", op) + 1, Len(op))),
                      kTimerCount - 1);
}

// Timer box, first half: number text = first "T" + 1 .. first "," - 1.
template <class P>
int ParseBoxNumber(P& p, std::string_view op) {
    return CheckRange(p, op, "timer",
                      p.ToInt(p.Copy(op, FindStr("T", op) + 1, FindStr(",", op) - 1)),
                      kTimerCount - 1);
}

// Timer box, second half (converted after Enable and Kind are written): first "," + 1 .. end.
template <class P>
int ParseBoxPreset(P& p, std::string_view op) {
    return p.ToInt(p.Copy(op, FindStr(",", op) + 1, Len(op)));
}

// Target = Preset x TimeBase, saturated to 32 bits: a wrapped product would turn a preset
// that can never be reached into one reached at once.
inline int32_t TimerTarget(int32_t preset, int32_t timeBase) {
    const int64_t product = int64_t{preset} * timeBase;
    if (product > INT32_MAX) return INT32_MAX;
    if (product < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(product);
}

}  // namespace corvane::plc
