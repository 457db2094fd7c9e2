#include "S7Operand.h"

#include <array>
#include <charconv>

#include "Operand.h"

namespace corvane::plc {

namespace {

struct TAreaPrefix {
    std::string_view Prefix;
    TS7Area Area;
};

// Longer prefixes first: "SM" before the single letters.
constexpr std::array kPrefixes = {
    TAreaPrefix{"SM", TS7Area::SM}, TAreaPrefix{"I", TS7Area::I}, TAreaPrefix{"Q", TS7Area::Q},
    TAreaPrefix{"M", TS7Area::M},   TAreaPrefix{"V", TS7Area::V}, TAreaPrefix{"T", TS7Area::T},
    TAreaPrefix{"C", TS7Area::C},
};

// The special bits the simulator drives (SMB0 bits 0, 1, 4, 5, 6).
constexpr bool IsSimulatedSpecialBit(int bit) {
    return bit == 0 || bit == 1 || bit == 4 || bit == 5 || bit == 6;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A run of 1 to 9 digits as a number; false for anything else.
bool ParseDigits(std::string_view text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return true;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

int TS7Address::Element() const {
    return Byte * kBitsPerByte + Bit;
}

std::string TS7Address::Text() const {
    for (const TAreaPrefix& p : kPrefixes) {
        if (p.Area != Area) continue;
        std::string text(p.Prefix);
        text += std::to_string(Byte);
        if (IsBit()) text += "." + std::to_string(Bit);
        return text;
    }
    return {};
}

TS7Parse ParseS7Address(std::string_view text, TS7Address& address, std::string& reason) {
    const TAreaPrefix* prefix = nullptr;
    for (const TAreaPrefix& p : kPrefixes) {
        if (text.size() > p.Prefix.size() && text.substr(0, p.Prefix.size()) == p.Prefix &&
            IsDigit(text[p.Prefix.size()])) {
            prefix = &p;
            break;
        }
    }
    if (!prefix) return TS7Parse::NotAnAddress;
    address = {};
    address.Area = prefix->Area;
    const std::string_view rest = text.substr(prefix->Prefix.size());
    if (!address.IsBit()) {
        const char* what = address.Area == TS7Area::T ? "timer" : "counter";
        if (!ParseDigits(rest, address.Byte)) {
            reason = Quoted(text) + " is not a " + what + " address";
            return TS7Parse::Refused;
        }
        if (address.Byte >= kTimerCount) {
            reason = Quoted(text) + ": " + what + " number " + std::to_string(address.Byte) +
                     " is outside 0 to " + std::to_string(kTimerCount - 1);
            return TS7Parse::Refused;
        }
        return TS7Parse::Ok;
    }
    const size_t dot = rest.find('.');
    if (dot == std::string_view::npos || !ParseDigits(rest.substr(0, dot), address.Byte) ||
        !ParseDigits(rest.substr(dot + 1), address.Bit)) {
        reason = Quoted(text) + " is not a bit address (byte.bit, as in I0.3)";
        return TS7Parse::Refused;
    }
    if (address.Bit >= kBitsPerByte) {
        reason =
            Quoted(text) + ": bit number " + std::to_string(address.Bit) + " is outside 0 to 7";
        return TS7Parse::Refused;
    }
    if (address.Area == TS7Area::SM) {
        if (address.Byte != 0 || !IsSimulatedSpecialBit(address.Bit)) {
            reason = Quoted(text) +
                     " is not simulated (the special bits are SM0.0, SM0.1, SM0.4, SM0.5 and "
                     "SM0.6)";
            return TS7Parse::Refused;
        }
        return TS7Parse::Ok;
    }
    if (address.Byte >= kBytesPerArea) {
        reason = Quoted(text) + ": byte " + std::to_string(address.Byte) +
                 " is outside the simulated memory (bytes 0 to " +
                 std::to_string(kBytesPerArea - 1) + ")";
        return TS7Parse::Refused;
    }
    return TS7Parse::Ok;
}

bool ParseS7Constant(std::string_view text, int min, int max, int& value, std::string& reason) {
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    int magnitude = 0;
    if (!ParseDigits(digits, magnitude)) {
        reason = Quoted(text) + " is not a decimal constant";
        return false;
    }
    value = negative ? -magnitude : magnitude;
    if (value < min || value > max) {
        reason = Quoted(text) + " is outside " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    return true;
}

}  // namespace corvane::plc
