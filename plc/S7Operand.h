#pragma once
// The operand grammar of imported programs, as the S7-200 programming software writes
// operands: I0.0, Q1.7, M20.0, V3.2, SM0.1, T37, C5 and decimal constants such as +100.
// The importer checks and normalises with it and the decoder resolves with it, so both
// accept exactly the same texts. Letters are upper case (the importer upper-cases first).
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::plc {

enum class TS7Area : uint8_t { I, Q, M, V, SM, T, C };

// One address: a bit of I, Q, M, V or SM, or a timer or counter (number in Byte).
struct TS7Address {
    TS7Area Area = TS7Area::I;
    int Byte = 0;
    int Bit = 0;

    bool IsBit() const { return Area != TS7Area::T && Area != TS7Area::C; }
    int Element() const;       // flat element of a bit in its area
    std::string Text() const;  // normal form: "SM0.1", "T37"
};

enum class TS7Parse {
    Ok,
    NotAnAddress,  // not shaped like one (a symbol name, say)
    Refused,       // shaped like one, but malformed or outside the simulated memory
};

// Parses an address; on Refused, `reason` says why.
TS7Parse ParseS7Address(std::string_view text, TS7Address& address, std::string& reason);

// A decimal constant ("+5", "5", "-3") within [min, max]; false with `reason` otherwise.
bool ParseS7Constant(std::string_view text, int min, int max, int& value, std::string& reason);

}  // namespace corvane::plc
