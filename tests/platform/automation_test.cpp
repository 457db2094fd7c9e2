// BSTR, SAFEARRAY, VARIANT copies, VarCmp and the FILETIME/DATE conversions.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "case_names.h"
#include "corvane/platform/VariantTime.h"
#include "oleauto.h"
#include "variant_test_util.h"
#include "winbase.h"

using namespace corvane::test;
using corvane::platform::DateFromFileTime;
using corvane::platform::FileTimeFromDate;
using corvane::platform::FileTimeFromU64;
using corvane::platform::FileTimeToU64;

namespace {

TEST(Bstr, CarriesByteLengthPrefixAndTerminator) {
    BSTR s = SysAllocString(u"Abcd");
    ASSERT_NE(s, nullptr);
    DWORD prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<BYTE*>(s) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 8u);
    EXPECT_EQ(s[4], 0);
    SysFreeString(s);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, KeepsEmbeddedNulls) {
    const char16_t text[] = {u'a', 0, u'b'};
    BSTR s = SysAllocStringLen(text, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[2], u'b');
    SysFreeString(s);
}

TEST(SafeArray, VectorReportsBoundsSizeAndVartype) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 5, 3);
    ASSERT_NE(psa, nullptr);
    LONG lb = 0, ub = 0;
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetDim(psa), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 8u);
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lb), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &ub), S_OK);
    EXPECT_EQ(lb, 5);
    EXPECT_EQ(ub, 7);
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lb), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
    EXPECT_TRUE(psa->fFeatures & FADF_HAVEVARTYPE);
    DWORD hidden = 0;
    std::memcpy(&hidden, reinterpret_cast<BYTE*>(psa) - 4, 4);
    EXPECT_EQ(hidden, static_cast<DWORD>(VT_R8));
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, ElementsAreCheckedAndCopiedDeeply) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 1;
    BSTR in = SysAllocString(u"two");
    EXPECT_EQ(SafeArrayPutElement(psa, &i, in), S_OK);
    SysFreeString(in);
    BSTR out = nullptr;
    EXPECT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(std::u16string(out), u"two");
    SysFreeString(out);
    i = 2;
    EXPECT_EQ(SafeArrayGetElement(psa, &i, &out), DISP_E_BADINDEX);
    i = -1;
    EXPECT_EQ(SafeArrayPutElement(psa, &i, nullptr), DISP_E_BADINDEX);
    SAFEARRAY* copy = nullptr;
    EXPECT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    EXPECT_NE(static_cast<BSTR*>(copy->pvData)[1], static_cast<BSTR*>(psa->pvData)[1]);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(psa);
}

TEST(SafeArray, LockedArrayCannotBeDestroyed) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 2);
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, TwoDimensionsKeepBoundsInReverseOrder) {
    SAFEARRAYBOUND b[2] = {{2, 0}, {3, 10}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I2, 2, b);
    LONG lb = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lb), S_OK);
    EXPECT_EQ(lb, 10);
    EXPECT_EQ(psa->rgsabound[0].lLbound, 10);  // the rightmost dimension comes first
    LONG idx[2] = {12, 1};                     // rgIndices[0] is the rightmost dimension
    SHORT v = 77;
    EXPECT_EQ(SafeArrayPutElement(psa, idx, &v), S_OK);
    EXPECT_EQ(static_cast<SHORT*>(psa->pvData)[2 + 1 * 3], 77);
    SafeArrayDestroy(psa);
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, b), nullptr);
    SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10001, 0}};  // 2^32 + 2^16 elements
    EXPECT_EQ(SafeArrayCreate(VT_I4, 2, huge), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFF), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, b), nullptr);
}

TEST(Variant, CopyIsDeepAndClearReleases) {
    VARIANT a = Str(u"value");
    VARIANT b;
    VariantInit(&b);
    EXPECT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(a.bstrVal, b.bstrVal);
    EXPECT_EQ(TextOf(b), u"value");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(TextOf(b), u"value");
    VariantClear(&b);
    VARIANT bad{};
    bad.vt = 0x7F;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

struct CmpCase {
    const char* name;
    VARIANT l, r;
    HRESULT expected;
};

const CmpCase kCmp[] = {
    {"I2 1 < I2 2", I2(1), I2(2), VARCMP_LT},
    {"I2 2 = I2 2", I2(2), I2(2), VARCMP_EQ},
    {"I4 1 = R8 1", I4(1), R8(1.0), VARCMP_EQ},
    {"R4 at single precision", R4(1.0f), R8(1 + 1e-8), VARCMP_EQ},
    {"DATE like R8", Date(1.0), Date(1 + 1e-15), VARCMP_LT},
    {"EMPTY = I2 0", Empty(), I2(0), VARCMP_EQ},
    {"I2 2 > EMPTY", I2(2), Empty(), VARCMP_GT},
    {"EMPTY = EMPTY", Empty(), Empty(), VARCMP_EQ},
    {"NULL vs NULL", Null(), Null(), VARCMP_NULL},
    {"NULL vs I4", Null(), I4(1), VARCMP_NULL},
    {"ERROR = ERROR", Error(5), Error(5), VARCMP_EQ},
    {"ERROR vs I4", Error(5), I4(5), DISP_E_TYPEMISMATCH},
    {"UI4 max > I4 -1", UI4(0xFFFFFFFF), I4(-1), VARCMP_GT},
    {"I1 -1 < UI1 0", I1(-1), UI1(0), VARCMP_LT},
    {"UI2 = UI2", UI2(65535), UI2(65535), VARCMP_EQ},
    {"BOOL = BOOL", Bool(true), Bool(true), VARCMP_EQ},
    {"CY = CY", Cy(15000), Cy(15000), VARCMP_EQ},
};

class VarCmpTable : public ::testing::TestWithParam<CmpCase> {};

TEST_P(VarCmpTable, ComparesByValue) {
    CmpCase c = GetParam();
    EXPECT_EQ(VarCmp(&c.l, &c.r, 0x409, 0), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Values, VarCmpTable, ::testing::ValuesIn(kCmp),
                         [](const auto& info) { return CaseName(info.param.name); });

TEST(VarCmp, StringsCompareAsTextAndAboveNumbers) {
    VARIANT seven = Str(u"7"), fortyTwo = Str(u"42"), a = Str(u"a"), A = Str(u"A"),
            empty = Str(u""), zero = Str(u"0");
    VARIANT i0 = I4(0), e = Empty();
    EXPECT_EQ(VarCmp(&seven, &fortyTwo, 0x409, 0), VARCMP_GT);
    EXPECT_EQ(VarCmp(&a, &A, 0x409, 0), VARCMP_LT);
    EXPECT_EQ(VarCmp(&a, &A, 0x409, NORM_IGNORECASE), VARCMP_EQ);
    EXPECT_EQ(VarCmp(&empty, &zero, 0x409, 0), VARCMP_LT);
    EXPECT_EQ(VarCmp(&zero, &i0, 0x409, 0), VARCMP_GT);
    EXPECT_EQ(VarCmp(&e, &empty, 0x409, 0), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp(nullptr, empty.bstrVal, 0x409, 0), VARCMP_EQ);
    for (VARIANT* v : {&seven, &fortyTwo, &a, &A, &empty, &zero}) VariantClear(v);
}

struct TimeCase {
    const char* name;
    std::uint64_t fileTime;
    double date;
};

constexpr std::uint64_t kDay = 864000000000ULL;
constexpr std::uint64_t kDateZero = 94353120000000000ULL;

const TimeCase kTimes[] = {
    {"date zero", kDateZero, 0.0},
    {"unix epoch", 116444736000000000ULL, 25569.0},
    {"1900-01-04 06:00", kDateZero + 5 * kDay + kDay / 4, 5.25},
    {"1899-12-29 00:00", kDateZero - kDay, -1.0},
    {"1899-12-29 06:00", kDateZero - kDay + kDay / 4, -1.25},
    {"1899-12-18 06:00", kDateZero - 12 * kDay + kDay / 4, -12.25},
};

class TimeTable : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeTable, FileTimeAndDateAgree) {
    const TimeCase& c = GetParam();
    EXPECT_DOUBLE_EQ(DateFromFileTime(FileTimeFromU64(c.fileTime)), c.date) << c.name;
    FILETIME ft{};
    ASSERT_TRUE(FileTimeFromDate(c.date, ft)) << c.name;
    EXPECT_EQ(FileTimeToU64(ft), c.fileTime) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Values, TimeTable, ::testing::ValuesIn(kTimes),
                         [](const auto& info) { return CaseName(info.param.name); });

TEST(VariantTime, NegativeFractionBelowOneDayIsTheSameInstant) {
    FILETIME a{}, b{};
    ASSERT_TRUE(FileTimeFromDate(-0.25, a));
    ASSERT_TRUE(FileTimeFromDate(0.25, b));
    EXPECT_EQ(FileTimeToU64(a), FileTimeToU64(b));
    EXPECT_FALSE(FileTimeFromDate(DATE_MAX + 1, a));
    EXPECT_FALSE(FileTimeFromDate(NAN, a));
}

TEST(VariantTime, EveryFileTimeHasADateWithoutOverflow) {
    // The largest FILETIMEs lie far beyond 9999; their dates are just not representable.
    for (const std::uint64_t ft :
         {0ULL, 1ULL, 0x7FFFFFFFFFFFFFFFULL, 0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL}) {
        const double date = DateFromFileTime(FileTimeFromU64(ft));
        EXPECT_TRUE(std::isfinite(date)) << ft;
        FILETIME in = FileTimeFromU64(ft);
        SYSTEMTIME st{};
        if (ft >= 0x7FFFFFFFFFFFFFFFULL) {
            EXPECT_FALSE(FileTimeToSystemTime(&in, &st)) << ft;
        }
    }
    EXPECT_DOUBLE_EQ(DateFromFileTime(FileTimeFromU64(0)), -109205.0);  // 1 Jan 1601
}

TEST(VariantTime, SystemTimeRoundTrip) {
    SYSTEMTIME st{1980, 1, 0, 1, 0, 0, 0, 0};
    double d = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &d));
    EXPECT_DOUBLE_EQ(d, 29221.0);
    st.wDay = 0;  // day 0 rolls back to the last day of the month before
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &d));
    EXPECT_DOUBLE_EQ(d, 29220.0);
    st.wMonth = 13;
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &d));
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(33238.5, &back));
    EXPECT_EQ(back.wYear, 1990);
    EXPECT_EQ(back.wMonth, 12);
    EXPECT_EQ(back.wDay, 31);
    EXPECT_EQ(back.wHour, 12);
    EXPECT_EQ(back.wDayOfWeek, 1);  // a Monday
}

}  // namespace
