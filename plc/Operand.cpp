#include "Operand.h"

#include <limits>

#include "Messages.h"

namespace corvane::plc {

std::string ConversionErrorText(std::string_view text) {
    std::string message = "'";
    message.append(text);
    message += "' is not a valid integer value";
    return message;
}

std::string copystr(std::string_view s, int from, int to) {
    if (from < 1 || to < from || static_cast<size_t>(to) > s.size()) {
        ShowMessage("kiem tra lai ham copystr()");
        return {};
    }
    return std::string(s.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1)));
}

int FindStr(std::string_view pattern, std::string_view s) {
    if (s.empty() || pattern.empty()) return -1;
    const size_t at = s.find(pattern);
    return at == std::string_view::npos ? -1 : static_cast<int>(at) + 1;
}

bool TryStrToInt(std::string_view text, int& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit) return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int>(signedValue);
    return true;
}

int StrToInt(std::string_view text) {
    int value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError(ConversionErrorText(text));
    return value;
}

}  // namespace corvane::plc
