// The bus encoding: every VARIANT the coercion knows crosses unchanged, and no input,
// however short or lying, makes the reader crash, allocate without bound or succeed.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "corvane/platform/Variant.h"
#include "opcbus/Wire.h"

namespace corvane::opcbus {
namespace {

using platform::Variant;

// Bytes to compare of an element of `vt`: the value of a scalar, the whole of a DECIMAL,
// the pointer of an interface.
std::size_t ElementBytes(VARTYPE vt) {
    if (vt == VT_DECIMAL) return sizeof(DECIMAL);
    const std::size_t n = platform::ScalarSize(vt);
    return n ? n : sizeof(void*);
}

// Deep equality, exact to the bit: type, bounds, every element.
::testing::AssertionResult Same(const VARIANT& a, const VARIANT& b);

::testing::AssertionResult SameElement(VARTYPE base, const void* a, const void* b) {
    if (base == VT_BSTR) {
        const BSTR x = *static_cast<const BSTR*>(a);
        const BSTR y = *static_cast<const BSTR*>(b);
        const UINT n = x ? SysStringLen(x) : 0;
        if ((x == nullptr) != (y == nullptr) || n != (y ? SysStringLen(y) : 0) ||
            (n && std::memcmp(x, y, n * 2) != 0))
            return ::testing::AssertionFailure() << "BSTR element differs";
        return ::testing::AssertionSuccess();
    }
    if (base == VT_VARIANT)
        return Same(*static_cast<const VARIANT*>(a), *static_cast<const VARIANT*>(b));
    if (std::memcmp(a, b, ElementBytes(base)) != 0)
        return ::testing::AssertionFailure() << "element bytes differ";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Same(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return ::testing::AssertionFailure() << "vt " << a.vt << " != " << b.vt;
    if (a.vt == VT_EMPTY || a.vt == VT_NULL) return ::testing::AssertionSuccess();
    if (a.vt == VT_BSTR) return SameElement(VT_BSTR, &a.bstrVal, &b.bstrVal);
    if (!(a.vt & VT_ARRAY)) return SameElement(a.vt, &a.llVal, &b.llVal);
    const SAFEARRAY* x = a.parray;
    const SAFEARRAY* y = b.parray;
    if (x->cDims != y->cDims || x->cbElements != y->cbElements)
        return ::testing::AssertionFailure() << "array shape differs";
    std::size_t count = 1;
    for (USHORT d = 0; d < x->cDims; ++d) {
        if (x->rgsabound[d].cElements != y->rgsabound[d].cElements ||
            x->rgsabound[d].lLbound != y->rgsabound[d].lLbound)
            return ::testing::AssertionFailure() << "bounds of dimension " << d << " differ";
        count *= x->rgsabound[d].cElements;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto* ea = static_cast<const std::uint8_t*>(x->pvData) + i * x->cbElements;
        const auto* eb = static_cast<const std::uint8_t*>(y->pvData) + i * y->cbElements;
        if (auto r = SameElement(a.vt & ~VT_ARRAY, ea, eb); !r) return r << " at " << i;
    }
    return ::testing::AssertionSuccess();
}

Variant Scalar(VARTYPE vt, std::uint64_t bits) {
    Variant v;
    v->vt = vt;
    std::memcpy(&v->llVal, &bits, platform::ScalarSize(vt));
    return v;
}

Variant Text(std::u16string s) {
    Variant v;
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
}

// A 1-D or 2-D array of `base` whose elements are made by `fill(index)` into memory.
Variant Array(VARTYPE base, std::vector<SAFEARRAYBOUND> bounds,
              const std::function<void(std::size_t, void*)>& fill) {
    Variant v;
    SAFEARRAY* sa = SafeArrayCreate(base, static_cast<UINT>(bounds.size()), bounds.data());
    std::size_t count = 1;
    for (const auto& b : bounds) count *= b.cElements;
    for (std::size_t i = 0; i < count; ++i)
        fill(i, static_cast<std::uint8_t*>(sa->pvData) + i * sa->cbElements);
    v->vt = VT_ARRAY | base;
    v->parray = sa;
    return v;
}

struct RoundTripCase {
    const char* Name;
    std::function<Variant()> Make;
};

class VariantRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(VariantRoundTrip, ComesBackBitForBitAndUsesEveryByte) {
    const Variant original = GetParam().Make();
    TWriter w;
    ASSERT_EQ(w.Variant(original.Get()), S_OK);
    TReader r(w.Data());
    Variant copy;
    ASSERT_EQ(r.Variant(copy.Get()), S_OK);
    EXPECT_TRUE(r.Done());
    EXPECT_TRUE(Same(original.Get(), copy.Get()));
}

TEST_P(VariantRoundTrip, FailsCleanlyWhenCutShortAnywhere) {
    const Variant original = GetParam().Make();
    TWriter w;
    ASSERT_EQ(w.Variant(original.Get()), S_OK);
    const auto& bytes = w.Data();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TReader r(bytes.data(), cut);
        Variant copy;
        EXPECT_NE(r.Variant(copy.Get()), S_OK) << "cut at " << cut;
        EXPECT_FALSE(r.Ok());
        EXPECT_EQ(copy.Type(), VT_EMPTY);
    }
}

const RoundTripCase kRoundTrips[] = {
    {"Empty", [] { return Variant(); }},
    {"Null", [] { return Scalar(VT_NULL, 0); }},
    {"I1", [] { return Scalar(VT_I1, 0x80); }},
    {"UI1", [] { return Scalar(VT_UI1, 0xFF); }},
    {"I2", [] { return Scalar(VT_I2, 0x8001); }},
    {"UI2", [] { return Scalar(VT_UI2, 0xFFFE); }},
    {"I4", [] { return Scalar(VT_I4, 0x80000001u); }},
    {"UI4", [] { return Scalar(VT_UI4, 0xFFFFFFFEu); }},
    {"Int", [] { return Scalar(VT_INT, 0x7FFFFFFFu); }},
    {"UInt", [] { return Scalar(VT_UINT, 0x12345678u); }},
    {"I8", [] { return Scalar(VT_I8, 0x8000000000000001ull); }},
    {"UI8", [] { return Scalar(VT_UI8, 0xFFFFFFFFFFFFFFFEull); }},
    {"R4NegativeZero", [] { return Scalar(VT_R4, 0x80000000u); }},
    {"R4NaNPayload", [] { return Scalar(VT_R4, 0x7FC00123u); }},
    {"R8Denormal", [] { return Scalar(VT_R8, 1); }},
    {"Currency", [] { return Scalar(VT_CY, 0x8000000000000000ull); }},
    {"Date", [] { return Scalar(VT_DATE, 0xC0E3B4A000000000ull); }},
    {"BoolTrue", [] { return Scalar(VT_BOOL, 0xFFFF); }},
    {"Error", [] { return Scalar(VT_ERROR, 0x80004005u); }},
    {"EmptyText", [] { return Text(u""); }},
    {"NullBstr",
     [] {
         Variant v;
         v->vt = VT_BSTR;
         v->bstrVal = nullptr;
         return v;
     }},
    {"TextWithEmbeddedNulAndSurrogates",
     [] { return Text(std::u16string(u"a\0b\xD83D\xDE00\xDC00", 5)); }},
    {"I2Vector",
     [] {
         return Array(VT_I2, {{5, -3}}, [](std::size_t i, void* e) {
             *static_cast<SHORT*>(e) = static_cast<SHORT>(i * 1000 - 2000);
         });
     }},
    {"R8Matrix",
     [] {
         return Array(VT_R8, {{2, 1}, {3, -1}}, [](std::size_t i, void* e) {
             *static_cast<double*>(e) = 0.5 * static_cast<double>(i);
         });
     }},
    {"EmptyBoolVector",
     [] {
         return Array(VT_BOOL, {{0, 0}}, [](std::size_t, void*) {});
     }},
    {"TextVectorWithNulls",
     [] {
         return Array(VT_BSTR, {{3, 0}}, [](std::size_t i, void* e) {
             if (i != 1) *static_cast<BSTR*>(e) = SysAllocString(i ? u"z" : u"first");
         });
     }},
    {"VariantVectorMixed",
     [] {
         return Array(VT_VARIANT, {{3, 0}}, [](std::size_t i, void* e) {
             auto* v = static_cast<VARIANT*>(e);
             if (i == 0) {
                 v->vt = VT_I4;
                 v->lVal = -7;
             } else if (i == 1) {
                 v->vt = VT_BSTR;
                 v->bstrVal = SysAllocString(u"x");
             }
         });
     }},
    {"CurrencyAndDateVectors",
     [] {
         return Array(VT_CY, {{2, 0}}, [](std::size_t i, void* e) {
             static_cast<CY*>(e)->int64 = static_cast<LONGLONG>(i) - 5;
         });
     }},
};

INSTANTIATE_TEST_SUITE_P(Types, VariantRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(VariantEncoding, RefusesTypesThatCannotCrossWithoutWritingAnything) {
    for (const VARTYPE vt : std::initializer_list<VARTYPE>{
             VT_UNKNOWN, VT_DISPATCH, VT_DECIMAL, VT_VARIANT,
             static_cast<VARTYPE>(VT_BYREF | VT_I4), static_cast<VARTYPE>(VT_ARRAY | VT_UNKNOWN),
             VT_RECORD, static_cast<VARTYPE>(0x0FFF)}) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        TWriter w;
        w.U8(42);
        EXPECT_EQ(w.Variant(v), DISP_E_BADVARTYPE) << "vt " << vt;
        EXPECT_EQ(w.Data().size(), 1u) << "vt " << vt;
    }
}

// Payloads a hostile peer might send, each of which must be refused.
struct LyingCase {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
};

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint32_t> words16and32) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t v : words16and32)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

class LyingVariant : public ::testing::TestWithParam<LyingCase> {};

TEST_P(LyingVariant, IsRefusedAndLeavesTheVariantEmpty) {
    TReader r(GetParam().Bytes);
    Variant v;
    EXPECT_NE(r.Variant(v.Get()), S_OK);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(v.Type(), VT_EMPTY);
}

const LyingCase kLies[] = {
    // vt BSTR (8) and a length of 4 G characters.
    {"StringLongerThanThePayload", {8, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}},
    {"StringAboveTheLimit", {8, 0, 0x00, 0x00, 0x20, 0x00}},
    {"UnknownType", {0x24, 0}},
    {"ByReference", {3, 0x40, 1, 2, 3, 4}},
    // VT_ARRAY|VT_I4 with zero dimensions, nine dimensions, and 2^31 elements.
    {"ArrayWithoutDimensions", {3, 0x20, 0, 0}},
    {"ArrayWithTooManyDimensions", {3, 0x20, 9, 0}},
    {"ArrayCountBeyondThePayload", {3, 0x20, 1, 0, 0, 0, 0, 0x80, 0, 0, 0, 0}},
    {"ArrayDimensionsMultiplyingPastTheLimit",
     {3, 0x20, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}},
    {"VariantArrayNestedTooDeep",
     {0x0C, 0x20, 1, 0, 1,    0,    0, 0, 0,    0,    0, 0, 0x0C, 0x20, 1, 0, 1,    0,    0, 0,
      0,    0,    0, 0, 0x0C, 0x20, 1, 0, 1,    0,    0, 0, 0,    0,    0, 0, 0x0C, 0x20, 1, 0,
      1,    0,    0, 0, 0,    0,    0, 0, 0x0C, 0x20, 1, 0, 1,    0,    0, 0, 0,    0,    0, 0,
      0x0C, 0x20, 1, 0, 1,    0,    0, 0, 0,    0,    0, 0, 3,    0,    1, 0, 0,    0}},
};

INSTANTIATE_TEST_SUITE_P(Inputs, LyingVariant, ::testing::ValuesIn(kLies),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ReaderCounts, RefuseMoreElementsThanTheRestCouldHold) {
    const std::vector<std::uint8_t> bytes = Bytes({3, 1, 2, 3});
    TReader r(bytes);
    EXPECT_EQ(r.Count(4), 3u);
    EXPECT_TRUE(r.Ok());
    const std::vector<std::uint8_t> lyingBytes = Bytes({4, 1, 2, 3});
    TReader lying(lyingBytes);
    EXPECT_EQ(lying.Count(4), 0u);
    EXPECT_FALSE(lying.Ok());
    const std::vector<std::uint8_t> overLimitBytes = Bytes({5, 1, 2, 3, 4, 5});
    TReader overLimit(overLimitBytes);
    EXPECT_EQ(overLimit.Count(4, 4), 0u);
    EXPECT_FALSE(overLimit.Ok());
}

TEST(ReaderStrings, TellNullFromEmptyAndStayFailedAfterAShortRead) {
    TWriter w;
    w.Str(nullptr);
    w.Str(u"");
    w.Str(u"ok");
    TReader r(w.Data());
    std::u16string s;
    bool isNull = false;
    EXPECT_TRUE(r.Str(s, isNull));
    EXPECT_TRUE(isNull);
    EXPECT_TRUE(r.Str(s, isNull));
    EXPECT_FALSE(isNull);
    EXPECT_EQ(s, u"");
    EXPECT_EQ(r.Text(), u"ok");
    EXPECT_TRUE(r.Done());
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Text(), u"");
}

}  // namespace
}  // namespace corvane::opcbus
