// The Automation coercion matrix: one row per (source value, destination type).
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "case_names.h"
#include "oleauto.h"
#include "variant_test_util.h"

using namespace corvane::test;

namespace {

struct NumberCase {
    const char* name;
    VARIANT src;
    VARTYPE to;
    HRESULT hr;
    double expected;  // compared after reading the destination as a number
};

double NumberOf(const VARIANT& v) {
    switch (v.vt) {
        case VT_I1:
            return v.cVal;
        case VT_UI1:
            return v.bVal;
        case VT_I2:
            return v.iVal;
        case VT_UI2:
            return v.uiVal;
        case VT_I4:
            return v.lVal;
        case VT_UI4:
            return v.ulVal;
        case VT_INT:
            return v.intVal;
        case VT_UINT:
            return v.uintVal;
        case VT_R4:
            return v.fltVal;
        case VT_R8:
            return v.dblVal;
        case VT_DATE:
            return v.date;
        case VT_CY:
            return static_cast<double>(v.cyVal.int64) / 10000.0;
        case VT_BOOL:
            return v.boolVal;
        default:
            return NAN;
    }
}

const NumberCase kNumberCases[] = {
    // Round half to even, for every integer destination and float-like source.
    {"R8 0.4 to I4", R8(0.4), VT_I4, S_OK, 0},
    {"R8 0.5 to I4", R8(0.5), VT_I4, S_OK, 0},
    {"R8 0.6 to I4", R8(0.6), VT_I4, S_OK, 1},
    {"R8 1.5 to I4", R8(1.5), VT_I4, S_OK, 2},
    {"R8 2.5 to I2", R8(2.5), VT_I2, S_OK, 2},
    {"R8 3.5 to UI1", R8(3.5), VT_UI1, S_OK, 4},
    {"R8 -0.5 to I4", R8(-0.5), VT_I4, S_OK, 0},
    {"R8 -0.6 to I1", R8(-0.6), VT_I1, S_OK, -1},
    {"R8 -1.5 to I4", R8(-1.5), VT_I4, S_OK, -2},
    {"R4 1.5 to I2", R4(1.5f), VT_I2, S_OK, 2},
    {"DATE 1.5 to I1", Date(1.5), VT_I1, S_OK, 2},
    {"CY 1.5 to I1", Cy(15000), VT_I1, S_OK, 2},
    {"CY 0.5 to I4", Cy(5000), VT_I4, S_OK, 0},
    {"CY -2.5 to I4", Cy(-25000), VT_I4, S_OK, -2},
    // Rounding happens before the range check.
    {"R8 127.49 to I1", R8(127.49), VT_I1, S_OK, 127},
    {"R8 127.5 to I1", R8(127.5), VT_I1, DISP_E_OVERFLOW, 0},
    {"R8 -128.5 to I1", R8(-128.5), VT_I1, S_OK, -128},
    {"R8 -128.51 to I1", R8(-128.51), VT_I1, DISP_E_OVERFLOW, 0},
    {"R8 -0.5 to UI1", R8(-0.5), VT_UI1, S_OK, 0},
    {"R8 -0.51 to UI1", R8(-0.51), VT_UI1, DISP_E_OVERFLOW, 0},
    {"R8 255.5 to UI1", R8(255.5), VT_UI1, DISP_E_OVERFLOW, 0},
    {"R8 32767.5 to I2", R8(32767.5), VT_I2, DISP_E_OVERFLOW, 0},
    {"R8 -32768.5 to I2", R8(-32768.5), VT_I2, S_OK, -32768},
    {"R8 2147483647.49 to I4", R8(2147483647.49), VT_I4, S_OK, 2147483647},
    {"R8 2147483647.5 to I4", R8(2147483647.5), VT_I4, DISP_E_OVERFLOW, 0},
    {"R8 4294967295.5 to UI4", R8(4294967295.5), VT_UI4, DISP_E_OVERFLOW, 0},
    {"DATE 128 to I1", Date(128.0), VT_I1, DISP_E_OVERFLOW, 0},
    {"R8 NaN to I4", R8(NAN), VT_I4, DISP_E_OVERFLOW, 0},
    // Integer narrowing checks the range; widening is exact.
    {"I2 127 to I1", I2(127), VT_I1, S_OK, 127},
    {"I2 128 to I1", I2(128), VT_I1, DISP_E_OVERFLOW, 0},
    {"I2 -1 to UI1", I2(-1), VT_UI1, DISP_E_OVERFLOW, 0},
    {"I4 -1 to UI2", I4(-1), VT_UI2, DISP_E_OVERFLOW, 0},
    {"UI2 32768 to I1", UI2(32768), VT_I1, DISP_E_OVERFLOW, 0},
    {"UI4 70000 to UI2", UI4(70000), VT_UI2, DISP_E_OVERFLOW, 0},
    {"UI1 200 to I2", UI1(200), VT_I2, S_OK, 200},
    {"I1 -5 to I4", I1(-5), VT_I4, S_OK, -5},
    {"UI2 65535 to I4", UI2(65535), VT_I4, S_OK, 65535},
    {"UINT 7 to I2", UInt(7), VT_I2, S_OK, 7},
    // Same width, other signedness: the bits are reinterpreted.
    {"I1 -1 to UI1", I1(-1), VT_UI1, S_OK, 255},
    {"UI1 255 to I1", UI1(255), VT_I1, S_OK, -1},
    {"I2 -1 to UI2", I2(-1), VT_UI2, S_OK, 65535},
    {"UI2 65535 to I2", UI2(65535), VT_I2, S_OK, -1},
    {"I4 -1 to UI4", I4(-1), VT_UI4, S_OK, 4294967295.0},
    {"UI4 max to I4", UI4(0xFFFFFFFF), VT_I4, S_OK, -1},
    {"UINT max to INT", UInt(0xFFFFFFFF), VT_INT, S_OK, -1},
    {"INT -1 to UINT", Int(-1), VT_UINT, S_OK, 4294967295.0},
    // Booleans: VARIANT_TRUE is -1; unsigned destinations wrap.
    {"BOOL true to I2", Bool(true), VT_I2, S_OK, -1},
    {"BOOL true to I4", Bool(true), VT_I4, S_OK, -1},
    {"BOOL true to R8", Bool(true), VT_R8, S_OK, -1},
    {"BOOL true to DATE", Bool(true), VT_DATE, S_OK, -1},
    {"BOOL true to UI1", Bool(true), VT_UI1, S_OK, 255},
    {"BOOL true to UI2", Bool(true), VT_UI2, S_OK, 65535},
    {"BOOL false to UI4", Bool(false), VT_UI4, S_OK, 0},
    {"BOOL true to CY", Bool(true), VT_CY, S_OK, -1},
    {"I4 0 to BOOL", I4(0), VT_BOOL, S_OK, VARIANT_FALSE},
    {"I4 5 to BOOL", I4(5), VT_BOOL, S_OK, VARIANT_TRUE},
    {"R8 0.4 to BOOL", R8(0.4), VT_BOOL, S_OK, VARIANT_TRUE},
    {"R8 -0.0 to BOOL", R8(-0.0), VT_BOOL, S_OK, VARIANT_FALSE},
    {"UI4 big to BOOL", UI4(0x80000000), VT_BOOL, S_OK, VARIANT_TRUE},
    {"CY 0 to BOOL", Cy(0), VT_BOOL, S_OK, VARIANT_FALSE},
    {"DATE 1 to BOOL", Date(1.0), VT_BOOL, S_OK, VARIANT_TRUE},
    // Floats, dates and currency.
    {"I4 max to R4", I4(2147483647), VT_R4, S_OK, 2147483648.0},
    {"R8 1e39 to R4", R8(1e39), VT_R4, DISP_E_OVERFLOW, 0},
    {"R8 1.5 to DATE", R8(1.5), VT_DATE, S_OK, 1.5},
    {"I4 2958465 to DATE", I4(2958465), VT_DATE, S_OK, 2958465},
    {"I4 2958466 to DATE", I4(2958466), VT_DATE, DISP_E_OVERFLOW, 0},
    {"I4 -657435 to DATE", I4(-657435), VT_DATE, DISP_E_OVERFLOW, 0},
    {"I4 1 to CY", I4(1), VT_CY, S_OK, 1},
    {"R8 4.6e18 to CY", R8(4.6e18), VT_CY, DISP_E_OVERFLOW, 0},
    {"R8 1.23456 to CY", R8(1.23456), VT_CY, S_OK, 1.2346},
    // VT_EMPTY gives zero of every type.
    {"EMPTY to I4", Empty(), VT_I4, S_OK, 0},
    {"EMPTY to R8", Empty(), VT_R8, S_OK, 0},
    {"EMPTY to BOOL", Empty(), VT_BOOL, S_OK, VARIANT_FALSE},
    {"EMPTY to DATE", Empty(), VT_DATE, S_OK, 0},
    {"EMPTY to UI1", Empty(), VT_UI1, S_OK, 0},
    // VT_NULL and VT_ERROR convert to nothing else.
    {"NULL to I4", Null(), VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"NULL to BOOL", Null(), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    {"ERROR to I4", Error(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"ERROR to BOOL", Error(E_FAIL), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    // Destinations that no number reaches.
    {"I4 to DISPATCH", I4(1), VT_DISPATCH, DISP_E_TYPEMISMATCH, 0},
    {"I4 to UNKNOWN", I4(1), VT_UNKNOWN, DISP_E_TYPEMISMATCH, 0},
    {"I4 to ERROR", I4(1), VT_ERROR, DISP_E_TYPEMISMATCH, 0},
    {"I4 to VARIANT", I4(1), VT_VARIANT, DISP_E_TYPEMISMATCH, 0},
    {"I4 to VOID", I4(1), VT_VOID, DISP_E_BADVARTYPE, 0},
    {"I4 to FILETIME", I4(1), VT_FILETIME, DISP_E_BADVARTYPE, 0},
    {"I4 to CLSID", I4(1), VT_CLSID, DISP_E_BADVARTYPE, 0},
    {"I4 to LPWSTR", I4(1), VT_LPWSTR, DISP_E_BADVARTYPE, 0},
    {"EMPTY to ERROR", Empty(), VT_ERROR, DISP_E_TYPEMISMATCH, 0},
};

class NumberCoercion : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberCoercion, FollowsAutomation) {
    const NumberCase& c = GetParam();
    VARIANT dst;
    VariantInit(&dst);
    dst.vt = VT_I2;
    dst.iVal = 0x1234;  // must survive a failed conversion
    const HRESULT hr = VariantChangeTypeEx(&dst, &c.src, 0x409, 0, c.to);
    ASSERT_EQ(hr, c.hr) << c.name;
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(dst.vt, c.to) << c.name;
        if (c.to != VT_EMPTY && c.to != VT_NULL) {
            EXPECT_DOUBLE_EQ(NumberOf(dst), c.expected) << c.name;
        }
    } else {
        EXPECT_EQ(dst.vt, VT_I2) << c.name;
        EXPECT_EQ(dst.iVal, 0x1234) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, NumberCoercion, ::testing::ValuesIn(kNumberCases),
                         [](const auto& info) { return CaseName(info.param.name); });

struct TextCase {
    const char* name;
    VARIANT src;
    USHORT flags;
    const char16_t* expected;
};

const TextCase kToText[] = {
    {"I4 negative", I4(-2147483647 - 1), 0, u"-2147483648"},
    {"UI4 max", UI4(0xFFFFFFFF), 0, u"4294967295"},
    {"BOOL true", Bool(true), 0, u"-1"},
    {"BOOL false", Bool(false), 0, u"0"},
    {"BOOL alpha", Bool(true), VARIANT_ALPHABOOL, u"True"},
    {"BOOL alpha false", Bool(false), VARIANT_ALPHABOOL, u"False"},
    {"R4 pi", R4(3.14159265f), 0, u"3.141593"},
    {"R4 12.3456789", R4(12.3456789f), 0, u"12.34568"},
    {"R4 654322.23456", R4(654322.23456f), 0, u"654322.3"},
    {"R4 0.5", R4(0.5f), 0, u"0.5"},
    {"R4 0.000005", R4(0.000005f), 0, u"0.000005"},
    {"R4 1e8", R4(1.0e8f), 0, u"1E+08"},
    {"R4 1.2e15", R4(1.2e15f), 0, u"1.2E+15"},
    {"R8 pi", R8(3.141592653589793), 0, u"3.14159265358979"},
    {"R8 12.345678901234567", R8(12.345678901234567), 0, u"12.3456789012346"},
    {"R8 1e14", R8(1.0e14), 0, u"100000000000000"},
    {"R8 999999999999999", R8(999999999999999.0), 0, u"999999999999999"},
    {"R8 1e15", R8(1.0e15), 0, u"1E+15"},
    {"R8 1.234e16", R8(1.234e16), 0, u"1.234E+16"},
    {"R8 5.6789e-11", R8(5.6789e-11), 0, u"0.000000000056789"},
    {"R8 5.6789e-12", R8(5.6789e-12), 0, u"5.6789E-12"},
    {"R8 -42.5", R8(-42.5), 0, u"-42.5"},
    {"CY 1.5", Cy(15000), 0, u"1.5"},
    {"DATE 0", Date(0.0), 0, u"12:00:00 AM"},
    {"DATE 365", Date(365.0), 0, u"12/30/1900"},
    {"DATE 365.25", Date(365.25), 0, u"12/30/1900 6:00:00 AM"},
    {"DATE 3.34", Date(3.34), 0, u"1/2/1900 8:09:36 AM"},
    {"DATE 1461.5", Date(1461.5), 0, u"12/31/1903 12:00:00 PM"},
    {"DATE -657434", Date(-657434.0), 0, u"1/1/100"},
    {"DATE 2958465", Date(2958465.0), 0, u"12/31/9999"},
    {"EMPTY", Empty(), 0, u""},
};

class ToTextCoercion : public ::testing::TestWithParam<TextCase> {};

TEST_P(ToTextCoercion, WritesEnglishText) {
    const TextCase& c = GetParam();
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &c.src, c.flags, VT_BSTR), S_OK) << c.name;
    ASSERT_EQ(dst.vt, VT_BSTR);
    EXPECT_EQ(TextOf(dst), std::u16string(c.expected)) << c.name;
    VariantClear(&dst);
}

INSTANTIATE_TEST_SUITE_P(Matrix, ToTextCoercion, ::testing::ValuesIn(kToText),
                         [](const auto& info) { return CaseName(info.param.name); });

// Dates that name no day. Each destination that takes the value refuses them with
// DISP_E_OVERFLOW; the ones that discard it, and a copy to VT_DATE, accept them.
struct BadDateCase {
    const char* name;
    double date;
};

const BadDateCase kBadDates[] = {
    {"NaN", NAN},
    {"PlusInfinity", INFINITY},
    {"MinusInfinity", -INFINITY},
    {"Huge", 1e300},
    {"MinusHuge", -1e300},
    {"DayAfterTheLast", DATE_MAX + 1},
    {"DayBeforeTheFirst", DATE_MIN - 1},
};

class OutOfRangeDate : public ::testing::TestWithParam<BadDateCase> {};

TEST_P(OutOfRangeDate, GivesNoValueToAnyOtherType) {
    const VARTYPE kValueTypes[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4,  VT_INT, VT_UINT,
                                   VT_I8, VT_UI8, VT_R4, VT_R8,  VT_CY, VT_BOOL, VT_BSTR};
    const VARIANT src = Date(GetParam().date);
    for (const VARTYPE to : kValueTypes) {
        VARIANT dst = I4(1234);
        EXPECT_EQ(VariantChangeType(&dst, &src, 0, to), DISP_E_OVERFLOW) << "to vt " << to;
        EXPECT_EQ(dst.vt, VT_I4) << "destination untouched, vt " << to;
        EXPECT_EQ(VariantChangeTypeEx(&dst, &src, 0x409, VARIANT_ALPHABOOL, to), DISP_E_OVERFLOW);
    }
}

TEST_P(OutOfRangeDate, IsStillCopiedOrDiscarded) {
    const VARIANT src = Date(GetParam().date);
    for (const VARTYPE to : {VT_EMPTY, VT_NULL, VT_DATE}) {
        VARIANT dst;
        VariantInit(&dst);
        EXPECT_EQ(VariantChangeType(&dst, &src, 0, to), S_OK) << "to vt " << to;
        EXPECT_EQ(dst.vt, to);
    }
}

TEST_P(OutOfRangeDate, HasNoSystemTime) {
    SYSTEMTIME st{};
    EXPECT_FALSE(VariantTimeToSystemTime(GetParam().date, &st));
}

INSTANTIATE_TEST_SUITE_P(Values, OutOfRangeDate, ::testing::ValuesIn(kBadDates),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DateCoercion, EveryTimeOfTheFirstAndLastDayHasText) {
    // Negative dates add their fraction: -657434.5 is noon of 1 Jan 100.
    const struct {
        double date;
        const char16_t* text;
    } kEdges[] = {{DATE_MIN - 0.5, u"1/1/100 12:00:00 PM"},
                  {DATE_MAX + 0.5, u"12/31/9999 12:00:00 PM"}};
    for (const auto& edge : kEdges) {
        const VARIANT src = Date(edge.date);
        VARIANT dst;
        VariantInit(&dst);
        ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK) << edge.date;
        EXPECT_EQ(TextOf(dst), edge.text);
        VariantClear(&dst);
    }
}

struct ParseCase {
    const char* name;  // of the text; the case's name adds the destination
    const char16_t* text;
    VARTYPE to;
    HRESULT hr;
    double expected;
};

const ParseCase kFromText[] = {
    {"Integer", u"42", VT_I4, S_OK, 42},
    {"NegativeWithSpaces", u"  -42  ", VT_I4, S_OK, -42},
    {"NegativeInParentheses", u"(5)", VT_I2, S_OK, -5},
    {"NegativeWithTrailingSign", u"5-", VT_I2, S_OK, -5},
    {"ThousandsSeparator", u"1,234", VT_I4, S_OK, 1234},
    {"OneAndAHalfRoundsToTwo", u"1.5", VT_I4, S_OK, 2},
    {"OneHalfRoundsToZero", u"0.5", VT_I4, S_OK, 0},
    {"MinusOneHalfRoundsToZero", u"-0.5", VT_UI1, S_OK, 0},
    {"BelowMinusOneHalf", u"-0.6", VT_UI1, DISP_E_OVERFLOW, 0},
    {"Exponent", u"2.5e1", VT_R8, S_OK, 25},
    {"Hexadecimal", u"&HFF", VT_I4, S_OK, 255},
    {"Octal", u"&O17", VT_I4, S_OK, 15},
    {"LeadingZeroIsDecimal", u"010", VT_I4, S_OK, 10},
    {"BelowMinimum", u"-129", VT_I1, DISP_E_OVERFLOW, 0},
    {"AboveMaximum", u"128", VT_I1, DISP_E_OVERFLOW, 0},
    {"AboveMaximum", u"256", VT_UI1, DISP_E_OVERFLOW, 0},
    {"Negative", u"-1", VT_UI1, DISP_E_OVERFLOW, 0},
    {"AboveMaximum", u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
    {"AboveMaximum", u"4294967296", VT_UI4, DISP_E_OVERFLOW, 0},
    {"HugeNegativeExponent", u"1e-94938484", VT_R8, S_OK, 0},
    {"Empty", u"", VT_R8, DISP_E_TYPEMISMATCH, 0},
    {"Blank", u" ", VT_R8, DISP_E_TYPEMISMATCH, 0},
    {"NotANumber", u"huh?", VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"TrueWord", u"True", VT_I4, DISP_E_TYPEMISMATCH, 0},
    {"HashTrue", u"#TRUE#", VT_BOOL, S_OK, VARIANT_TRUE},
    {"HashFalse", u"#FALSE#", VT_BOOL, S_OK, VARIANT_FALSE},
    {"HashFalseMixedCase", u"#False#", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    {"TrueLowerCase", u"true", VT_BOOL, S_OK, VARIANT_TRUE},
    {"FalseUpperCase", u"FALSE", VT_BOOL, S_OK, VARIANT_FALSE},
    {"On", u"On", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    {"Yes", u"Yes", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    {"Zero", u"0", VT_BOOL, S_OK, VARIANT_FALSE},
    {"MinusOne", u"-1", VT_BOOL, S_OK, VARIANT_TRUE},
    {"PlusOne", u"+1", VT_BOOL, S_OK, VARIANT_TRUE},
    {"Fraction", u"0.1", VT_BOOL, S_OK, VARIANT_TRUE},
    {"Empty", u"", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    {"MonthDayYear", u"12/30/1900", VT_DATE, S_OK, 365},
    {"DateAndTime", u"1/2/1900 8:09:36 AM", VT_DATE, S_OK, 3 + 29376.0 / 86400},
    {"IsoDate", u"1970-01-01", VT_DATE, S_OK, 25569},
    {"HourAm", u"1 am", VT_DATE, S_OK, 1.0 / 24},
    {"HoursColonMinutes", u"0:1", VT_DATE, S_OK, 1.0 / 1440},
    {"HoursDotMinutes", u"2.5", VT_DATE, S_OK, (2 * 60 + 5) / 1440.0},
    {"Integer", u"42", VT_DATE, DISP_E_TYPEMISMATCH, 0},
    {"MonthThirteen", u"13/1/2000", VT_DATE, DISP_E_TYPEMISMATCH, 0},
    {"FebruaryThirtieth", u"2/30/2000", VT_DATE, DISP_E_TYPEMISMATCH, 0},
    {"FourDecimals", u"1.2345", VT_CY, S_OK, 1.2345},
};

class FromTextCoercion : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FromTextCoercion, ReadsEnglishText) {
    const ParseCase& c = GetParam();
    VARIANT src = Str(c.text);
    VARIANT dst;
    VariantInit(&dst);
    const HRESULT hr = VariantChangeType(&dst, &src, 0, c.to);
    EXPECT_EQ(hr, c.hr);
    if (SUCCEEDED(hr) && SUCCEEDED(c.hr)) {
        EXPECT_EQ(dst.vt, c.to);
        EXPECT_NEAR(NumberOf(dst), c.expected, 1e-9);
    }
    VariantClear(&src);
    VariantClear(&dst);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FromTextCoercion, ::testing::ValuesIn(kFromText),
                         [](const auto& info) {
                             return std::string(info.param.name) + "_To" +
                                    VarTypeName(info.param.to);
                         });

TEST(Coercion, NullBstrIsNotANumber) {
    VARIANT src{};
    src.vt = VT_BSTR;
    src.bstrVal = nullptr;
    VARIANT dst;
    VariantInit(&dst);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), DISP_E_TYPEMISMATCH);
}

TEST(Coercion, InPlaceConversionReplacesTheSource) {
    VARIANT v = Str(u"17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_UI2), S_OK);
    EXPECT_EQ(v.vt, VT_UI2);
    EXPECT_EQ(v.uiVal, 17);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(TextOf(v), u"17");
    VariantClear(&v);
}

TEST(Coercion, ByRefSourceIsReadThroughItsPointer) {
    LONG value = 300;
    VARIANT ref{};
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &value;
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_I2), S_OK);
    EXPECT_EQ(dst.iVal, 300);
    EXPECT_EQ(VariantChangeType(&dst, &ref, 0, VT_UI1), DISP_E_OVERFLOW);
}

// Every way the platform reads through a reference, fed each shape of nested
// VT_BYREF|VT_VARIANT: one level is followed, a second one is refused.
struct DerefEntry {
    const char* name;
    HRESULT (*call)(VARIANT* src);
};

const DerefEntry kDerefEntries[] = {
    {"VariantCopyInd",
     [](VARIANT* src) {
         VARIANT dst;
         VariantInit(&dst);
         const HRESULT hr = VariantCopyInd(&dst, src);
         VariantClear(&dst);
         return hr;
     }},
    {"VariantChangeType",
     [](VARIANT* src) {
         VARIANT dst;
         VariantInit(&dst);
         const HRESULT hr = VariantChangeType(&dst, src, 0, VT_I4);
         VariantClear(&dst);
         return hr;
     }},
    {"VariantChangeTypeEx",
     [](VARIANT* src) {
         VARIANT dst;
         VariantInit(&dst);
         const HRESULT hr = VariantChangeTypeEx(&dst, src, 0x409, 0, VT_BSTR);
         VariantClear(&dst);
         return hr;
     }},
    {"VarCmp",
     [](VARIANT* src) {
         VARIANT five = I4(5);
         const HRESULT hr = VarCmp(src, &five, 0x409, 0);
         return hr == VARCMP_LT || hr == VARCMP_EQ || hr == VARCMP_GT ? S_OK : hr;
     }},
};

class NestedByRef : public ::testing::TestWithParam<DerefEntry> {};

VARIANT RefTo(VARIANT* target) {
    VARIANT r{};
    r.vt = VT_BYREF | VT_VARIANT;
    r.pvarVal = target;
    return r;
}

TEST_P(NestedByRef, SelfReferenceIsRefused) {
    VARIANT self{};
    self = RefTo(&self);
    EXPECT_EQ(GetParam().call(&self), E_INVALIDARG);
}

TEST_P(NestedByRef, CycleOfTwoReferencesIsRefused) {
    VARIANT a{}, b{};
    a = RefTo(&b);
    b = RefTo(&a);
    EXPECT_EQ(GetParam().call(&a), E_INVALIDARG);
}

TEST_P(NestedByRef, ChainOfTwoReferencesIsRefused) {
    VARIANT value = I4(7);
    VARIANT inner = RefTo(&value);
    VARIANT outer = RefTo(&inner);
    EXPECT_EQ(GetParam().call(&outer), E_INVALIDARG);
}

TEST_P(NestedByRef, NullReferenceIsRefused) {
    VARIANT ref = RefTo(nullptr);
    EXPECT_EQ(GetParam().call(&ref), E_INVALIDARG);
}

TEST_P(NestedByRef, OneReferenceToAValueOrToAScalarReferenceIsFollowed) {
    VARIANT value = I4(7);
    VARIANT ref = RefTo(&value);
    EXPECT_EQ(GetParam().call(&ref), S_OK);
    LONG seven = 7;
    VARIANT scalarRef{};
    scalarRef.vt = VT_BYREF | VT_I4;
    scalarRef.plVal = &seven;
    VARIANT outer = RefTo(&scalarRef);
    EXPECT_EQ(GetParam().call(&outer), S_OK);
}

INSTANTIATE_TEST_SUITE_P(EveryReader, NestedByRef, ::testing::ValuesIn(kDerefEntries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Coercion, ArraysConvertOnlyToTheirOwnTypeOrBytesToString) {
    VARIANT arr{};
    arr.vt = VT_ARRAY | VT_UI1;
    arr.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    std::memcpy(arr.parray->pvData, "Hell", 4);
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &arr, 0, VT_BSTR), S_OK);
    EXPECT_EQ(SysStringByteLen(dst.bstrVal), 4u);
    EXPECT_EQ(dst.bstrVal[0], 0x6548);
    VariantClear(&dst);
    EXPECT_EQ(VariantChangeType(&dst, &arr, 0, VT_ARRAY | VT_I1), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dst, &arr, 0, VT_EMPTY), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dst, &arr, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&dst, &arr, 0, VT_ARRAY | VT_UI1), S_OK);
    EXPECT_NE(dst.parray, arr.parray);
    VariantClear(&dst);
    VARIANT i4 = I4(1);
    EXPECT_EQ(VariantChangeType(&dst, &i4, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&arr);
}

TEST(Coercion, EmptyStringAndBooleansReachText) {
    VARIANT e = Empty();
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &e, 0, VT_BSTR), S_OK);
    ASSERT_NE(dst.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(dst.bstrVal), 0u);
    VariantClear(&dst);
    VARIANT s = Str(u"x");
    EXPECT_EQ(VariantChangeType(&dst, &s, 0, VT_EMPTY), S_OK);
    EXPECT_EQ(dst.vt, VT_EMPTY);
    VARIANT n = Null();
    EXPECT_EQ(VariantChangeType(&dst, &n, 0, VT_NULL), S_OK);
    EXPECT_EQ(dst.vt, VT_NULL);
    EXPECT_EQ(VariantChangeType(&dst, &n, 0, VT_EMPTY), DISP_E_TYPEMISMATCH);
    VariantClear(&s);
}

}  // namespace
