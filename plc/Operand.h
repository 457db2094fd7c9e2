#pragma once
// Operand text helpers: the 1-based substring and search helpers and the integer
// conversion whose messages and failures every operation of the core shares.
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane::plc {

// The conversion error ("'%s' is not a valid integer value") and the refusals of
// out-of-range operands; both end the operation that raised them.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Text of the conversion error for `text`.
std::string ConversionErrorText(std::string_view text);

// Characters From..To (1-based, inclusive) of S. On a bad range it shows
// "kiem tra lai ham copystr()" and returns an empty string.
std::string copystr(std::string_view s, int from, int to);

// 1-based position of the first occurrence of Pattern in S, or -1.
int FindStr(std::string_view pattern, std::string_view s);

// Decimal conversion: optional leading blanks, optional sign, digits, 32-bit range.
// Throws EConvertError with the conversion error text.
int StrToInt(std::string_view text);

// Same rules without side effects; false when StrToInt would throw.
bool TryStrToInt(std::string_view text, int& value);

// Named limits of the memory image.
inline constexpr int kBytesPerArea = 21;
inline constexpr int kBitsPerByte = 8;
inline constexpr int kBitsPerArea = kBytesPerArea * kBitsPerByte;  // 168
inline constexpr int kTimerCount = 256;

}  // namespace corvane::plc
