// Numbers as text the way Automation writes and reads them (English number format).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "coerce_internal.h"

namespace corvane::platform::coerce {

double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff > 0.5) return floor + 1;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::optional<ParsedNumber> ParseRadix(const std::u16string& digits, int radix, bool negative) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char16_t c : digits) {
        int d = -1;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
        if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
        if (d < 0 || d >= radix) return std::nullopt;
        if (v > (UINT64_MAX - static_cast<unsigned>(d)) / static_cast<unsigned>(radix))
            return std::nullopt;
        v = v * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
    }
    ParsedNumber n;
    n.exact = true;
    n.negative = negative && v != 0;
    n.magnitude = v;
    n.value = negative ? -static_cast<double>(v) : static_cast<double>(v);
    return n;
}

}  // namespace

// Accepts surrounding blanks, a leading or trailing sign, parentheses for negatives,
// thousands separators before the decimal point, an exponent, and &H/&O integers.
std::optional<ParsedNumber> ParseNumber(const std::u16string& input) {
    std::size_t b = 0, e = input.size();
    while (b < e && IsSpace(input[b])) ++b;
    while (e > b && IsSpace(input[e - 1])) --e;
    std::u16string t = input.substr(b, e - b);
    if (t.empty()) return std::nullopt;
    bool negative = false;
    if (t.front() == u'(' && t.back() == u')') {
        negative = true;
        t = t.substr(1, t.size() - 2);
    }
    if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
        negative = negative != (t.front() == u'-');
        t.erase(0, 1);
    } else if (!t.empty() && (t.back() == u'+' || t.back() == u'-')) {
        negative = negative != (t.back() == u'-');
        t.pop_back();
    }
    if (t.size() > 2 && t[0] == u'&' && (t[1] == u'H' || t[1] == u'h'))
        return ParseRadix(t.substr(2), 16, negative);
    if (t.size() > 2 && t[0] == u'&' && (t[1] == u'O' || t[1] == u'o'))
        return ParseRadix(t.substr(2), 8, negative);

    std::string clean;
    bool digits = false, point = false, exponent = false, exact = true;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c >= u'0' && c <= u'9') {
            clean += static_cast<char>(c);
            digits = true;
        } else if (c == u',' && !point && !exponent && digits) {
            continue;
        } else if (c == u'.' && !point && !exponent) {
            point = true;
            exact = false;
            clean += '.';
        } else if ((c == u'e' || c == u'E') && digits && !exponent) {
            exponent = true;
            exact = false;
            clean += 'e';
            if (i + 1 < t.size() && (t[i + 1] == u'+' || t[i + 1] == u'-'))
                clean += static_cast<char>(t[++i]);
            if (i + 1 >= t.size()) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    ParsedNumber n;
    n.negative = negative;
    n.value = std::strtod(clean.c_str(), nullptr);
    if (negative) n.value = -n.value;
    if (exact && clean.size() <= 20) {
        errno = 0;
        const unsigned long long m = std::strtoull(clean.c_str(), nullptr, 10);
        if (errno == 0) {
            n.exact = true;
            n.magnitude = m;
            n.negative = negative && m != 0;
        }
    }
    return n;
}

namespace {

// The first `count` significant digits of |value|, rounded half away from zero, and
// the decimal exponent of the first digit.
void SignificantDigits(double value, int count, std::string& digits, int& exponent) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.20e", std::fabs(value));
    std::string all;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p != '.') all += *p;
    exponent = std::atoi(std::strchr(buf, 'e') + 1);
    digits = all.substr(0, static_cast<std::size_t>(count));
    if (all[static_cast<std::size_t>(count)] >= '5') {
        int i = count - 1;
        while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9')
            digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[static_cast<std::size_t>(i)];
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

}  // namespace

// At most `significantDigits` digits; fixed notation while it needs no more than that
// many integer or decimal places, else mantissa, "E", sign and at least two digits.
std::string FormatReal(double value, int significantDigits) {
    if (value == 0) return "0";
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    std::string digits;
    int exp = 0;
    SignificantDigits(value, significantDigits, digits, exp);
    const int d = static_cast<int>(digits.size());
    std::string out = value < 0 ? "-" : "";
    const bool fixed = exp >= 0 ? exp < significantDigits : (-exp - 1 + d) <= significantDigits;
    if (fixed) {
        if (exp >= 0) {
            if (d <= exp + 1) {
                out += digits + std::string(static_cast<std::size_t>(exp + 1 - d), '0');
            } else {
                out += digits.substr(0, static_cast<std::size_t>(exp + 1)) + "." +
                       digits.substr(static_cast<std::size_t>(exp + 1));
            }
        } else {
            out += "0." + std::string(static_cast<std::size_t>(-exp - 1), '0') + digits;
        }
        return out;
    }
    out += digits.substr(0, 1);
    if (d > 1) out += "." + digits.substr(1);
    char e[16];
    std::snprintf(e, sizeof e, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    return out + e;
}

std::string FormatCy(std::int64_t cy) {
    const bool negative = cy < 0;
    const std::uint64_t m =
        negative ? 0 - static_cast<std::uint64_t>(cy) : static_cast<std::uint64_t>(cy);
    std::string out = (negative ? "-" : "") + std::to_string(m / 10000);
    std::string frac = std::to_string(m % 10000);
    frac.insert(0, 4 - frac.size(), '0');
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (!frac.empty()) out += "." + frac;
    return out;
}

}  // namespace corvane::platform::coerce
