// Shared pieces of the Automation coercion: a source value reduced to one of a few
// kinds, half-to-even rounding, and the text forms of numbers and dates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "oleauto.h"

namespace corvane::platform::coerce {

enum class Kind { Empty, Null, Signed, Unsigned, Real, Date, Cy, Bool, String, Error, Other };

// A scalar source value. Integers remember their width so that same-width
// signed/unsigned conversions can reinterpret the bit pattern as Automation does.
struct Scalar {
    Kind kind = Kind::Empty;
    VARTYPE vt = VT_EMPTY;
    int width = 0;        // bytes, for Signed/Unsigned
    std::int64_t i = 0;   // Signed, Cy (x 10000), Bool (the 16-bit value)
    std::uint64_t u = 0;  // Unsigned
    double d = 0;         // Real, Date
    bool single = false;  // Real came from VT_R4
    BSTR s = nullptr;     // String (borrowed)
};

// A number parsed from text: exact when it is an integer that fits 64 bits.
struct ParsedNumber {
    double value = 0;
    bool exact = false;
    bool negative = false;
    std::uint64_t magnitude = 0;
};

double RoundHalfEven(double x);
std::optional<ParsedNumber> ParseNumber(const std::u16string& text);
std::string FormatReal(double value, int significantDigits);
std::string FormatCy(std::int64_t cy);
// True when `date` names a time of a day from 1 Jan 100 (DATE_MIN) to 31 Dec 9999
// (DATE_MAX); false for NaN, the infinities and everything beyond.
inline bool IsRepresentableDate(double date) {
    return date > DATE_MIN - 1 && date < DATE_MAX + 1;
}
// Nothing for a date that is not representable.
std::optional<std::string> FormatDate(double date);
std::optional<double> ParseDate(const std::u16string& text);

}  // namespace corvane::platform::coerce
