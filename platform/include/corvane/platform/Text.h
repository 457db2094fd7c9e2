// Conversions between the system code page (UTF-8 here) and UTF-16 wide strings.
#pragma once

#include <string>
#include <string_view>

#include "../../wtypes.h"

namespace corvane::platform {

// Invalid UTF-8 sequences become U+FFFD.
std::u16string WideFromNarrow(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string NarrowFromWide(std::u16string_view text);
// A null pointer reads as the empty string.
std::string NarrowFromWide(const WCHAR* text);
std::size_t WideLength(const WCHAR* text);

}  // namespace corvane::platform
