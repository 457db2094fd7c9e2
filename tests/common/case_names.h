// Names for the cases of value-parameterised tests. ctest lists every case under its
// name, so the name has to say which case it is; gtest takes only [A-Za-z0-9_].
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "wtypes.h"

namespace corvane::test {

using SymbolWords = std::initializer_list<std::pair<char, const char*>>;

// A phrase such as "R8 -0.5 to I4" as "R8_Minus0p5_to_I4": words joined by '_'. Signs,
// decimal points and comparisons are spelt out, so that cases differing only there keep
// different names; `words` spells further symbols, and any other one only parts words.
inline std::string CaseName(std::string_view phrase, SymbolWords words = {}) {
    const auto digit = [&](std::size_t i) {
        return i < phrase.size() && std::isdigit(static_cast<unsigned char>(phrase[i]));
    };
    const auto alnum = [&](std::size_t i) {
        return i < phrase.size() && std::isalnum(static_cast<unsigned char>(phrase[i]));
    };
    std::string name;
    bool apart = false;  // the next word starts after a '_'
    const auto word = [&](const std::string& w) {
        if (apart && !name.empty()) name += '_';
        name += w;
        apart = false;
    };
    for (std::size_t i = 0; i < phrase.size(); ++i) {
        const char c = phrase[i];
        if (alnum(i)) {
            word(std::string(1, c));
            continue;
        }
        const char* spelt = nullptr;
        for (const auto& [symbol, w] : words)
            if (symbol == c) spelt = w;
        if (spelt) {
            apart = true;
            word(spelt);
            apart = true;
            continue;
        }
        // A sign before a number, also in an exponent; not a dash between two numbers.
        const bool exponent =
            i >= 2 && (phrase[i - 1] == 'e' || phrase[i - 1] == 'E') && digit(i - 2);
        const bool sign = digit(i + 1) && (!alnum(i - 1) || exponent) && !(i > 0 && digit(i - 1));
        if (c == '.' && i > 0 && digit(i - 1) && digit(i + 1)) {
            name += 'p';
        } else if (sign && (c == '-' || c == '+')) {
            if (!exponent) apart = true;
            word(c == '-' ? "Minus" : "Plus");
        } else if (c == '<' || c == '>' || c == '=') {
            apart = true;
            word(c == '<' ? "Lt" : c == '>' ? "Gt" : "Eq");
            apart = true;
        } else {
            apart = true;
        }
    }
    return name;
}

// A browse filter's wildcard mask, "T_Any_mp" for "T?mp"; the empty mask is "EmptyMask".
inline std::string MaskName(std::string_view mask) {
    if (mask.empty()) return "EmptyMask";
    return CaseName(mask, {{'*', "Star"},
                           {'?', "Any"},
                           {'[', "Set"},
                           {']', "End"},
                           {'!', "Not"},
                           {'-', "Dash"},
                           {'.', "Dot"}});
}

// "I4", "Array_R8", "ByRef_I4"; a type without a name as its number, "Vt7FFF".
inline std::string VarTypeName(VARTYPE vt) {
    static const std::pair<VARTYPE, const char*> kBase[] = {
        {VT_EMPTY, "EMPTY"},
        {VT_NULL, "NULL"},
        {VT_I2, "I2"},
        {VT_I4, "I4"},
        {VT_R4, "R4"},
        {VT_R8, "R8"},
        {VT_CY, "CY"},
        {VT_DATE, "DATE"},
        {VT_BSTR, "BSTR"},
        {VT_DISPATCH, "DISPATCH"},
        {VT_ERROR, "ERROR"},
        {VT_BOOL, "BOOL"},
        {VT_VARIANT, "VARIANT"},
        {VT_UNKNOWN, "UNKNOWN"},
        {VT_DECIMAL, "DECIMAL"},
        {VT_I1, "I1"},
        {VT_UI1, "UI1"},
        {VT_UI2, "UI2"},
        {VT_UI4, "UI4"},
        {VT_I8, "I8"},
        {VT_UI8, "UI8"},
        {VT_INT, "INT"},
        {VT_UINT, "UINT"},
        {VT_VOID, "VOID"},
        {VT_LPSTR, "LPSTR"},
        {VT_LPWSTR, "LPWSTR"},
        {VT_FILETIME, "FILETIME"},
        {VT_CLSID, "CLSID"},
    };
    const auto number = [vt] {
        char text[8];
        std::snprintf(text, sizeof text, "Vt%04X", static_cast<unsigned>(vt));
        return std::string(text);
    };
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_VECTOR | VT_ARRAY | VT_BYREF)) return number();
    // One flag at most: together they name no type a VARIANT can hold.
    std::string prefix;
    if (flags == VT_VECTOR)
        prefix = "Vector_";
    else if (flags == VT_ARRAY)
        prefix = "Array_";
    else if (flags == VT_BYREF)
        prefix = "ByRef_";
    else if (flags != 0)
        return number();
    for (const auto& [base, name] : kBase)
        if (base == (vt & VT_TYPEMASK)) return prefix + name;
    return number();
}

// A code as hex digits, "C0040001"; `digits` is the least number.
inline std::string HexName(std::uint32_t code, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(code));
    return text;
}

}  // namespace corvane::test
