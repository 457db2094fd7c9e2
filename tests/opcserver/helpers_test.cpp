// Task memory and argument helpers, the requested-type rule and ValuesEqual.
#include <gtest/gtest.h>

#include "case_names.h"
#include "corvane/platform/TestHooks.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/OpcTypes.h"

using namespace corvane::opc;

namespace {

HRESULT CodeOf(void (*f)()) {
    try {
        f();
        return S_OK;
    } catch (const EOpcError& e) {
        return e.Code();
    }
}

struct TypeCase {
    VARTYPE vt;
    bool accepted;
};

const TypeCase kTypes[] = {
    {VT_EMPTY, true},
    {VT_I2, true},
    {VT_I4, true},
    {VT_R4, true},
    {VT_R8, true},
    {VT_DATE, true},
    {VT_BSTR, true},
    {VT_BOOL, true},
    {VT_I1, true},
    {VT_UI1, true},
    {VT_UI2, true},
    {VT_UI4, true},
    {VT_INT, true},
    {VT_UINT, true},
    {VT_ARRAY | VT_R8, true},
    {VT_ARRAY | VT_BSTR, true},
    {VT_ARRAY | VT_EMPTY, true},
    {VT_NULL, false},
    {VT_CY, false},
    {VT_ERROR, false},
    {VT_VARIANT, false},
    {VT_DECIMAL, false},
    {VT_I8, false},
    {VT_UI8, false},
    {VT_UNKNOWN, false},
    {VT_DISPATCH, false},
    {VT_ARRAY | VT_CY, false},
    {VT_ARRAY | VT_VARIANT, false},
    {VT_BYREF | VT_I4, false},
    {VT_VECTOR | VT_I4, false},
    {0x7FFF, false},
};

class RequestedType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(RequestedType, FollowsTheAcceptedList) {
    const TypeCase& c = GetParam();
    EXPECT_EQ(IsAcceptedRequestedType(c.vt), c.accepted) << c.vt;
    try {
        CheckRequestedType(c.vt);
        EXPECT_TRUE(c.accepted) << c.vt;
    } catch (const EOpcError& e) {
        EXPECT_FALSE(c.accepted) << c.vt;
        EXPECT_EQ(e.Code(), OPC_E_BADTYPE);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, RequestedType, ::testing::ValuesIn(kTypes), [](const auto& info) {
    return corvane::test::VarTypeName(info.param.vt);
});

TEST(ArgumentChecks, CountArrayAndRange) {
    static int dummy;
    EXPECT_EQ(CodeOf([] { CheckCountAndArray(0, &dummy); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([] { CheckCountAndArray(1, nullptr); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([] { CheckCountAndArray(1, &dummy); }), S_OK);
    EXPECT_EQ(CodeOf([] { CheckRange(0, 1, 3); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([] { CheckRange(4, 1, 3); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([] { CheckRange(3, 1, 3); }), S_OK);
}

TEST(TaskMemory, AllocationFailureRaisesOutOfMemory) {
    corvane::platform::FailTaskMemAfter(0);
    EXPECT_EQ(CodeOf([] { OpcAlloc(8); }), E_OUTOFMEMORY);
    EXPECT_EQ(CodeOf([] { OpcWideCopy("x"); }), E_OUTOFMEMORY);
    EXPECT_EQ(CodeOf([] { OpcAllocArray<VARIANT>(SIZE_MAX / 4); }), E_OUTOFMEMORY);
    corvane::platform::SetTaskMemFailure(nullptr);
}

TEST(TaskMemory, ZeroFillWideCopyAndFreeAndNil) {
    auto* block = static_cast<BYTE*>(OpcAllocZero(16));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
    OpcFreeAndNil(block);
    EXPECT_EQ(block, nullptr);
    OpcFreeAndNil(block);  // an empty reference stays empty
    LPWSTR w = OpcWideCopy("Motor \xC3\xA4");
    EXPECT_EQ(std::u16string(w), u"Motor \u00E4");
    OpcFreeAndNil(w);
    EXPECT_EQ(OpcNarrow(u"Q0.1"), "Q0.1");
    EXPECT_EQ(OpcNarrow(nullptr), "");
}

TEST(AccessRights, TravelAsTheLowByteOfADword) {
    EXPECT_EQ(TAccessRights::FromDword(3).Bits(), 3);
    EXPECT_EQ(TAccessRights::FromDword(0x102).Bits(), 2);
    EXPECT_TRUE(TAccessRights::FromDword(1).CanRead());
    EXPECT_FALSE(TAccessRights::FromDword(1).CanWrite());
    EXPECT_EQ(TAccessRights(2).ToDword(), 2u);
}

VARIANT I2(SHORT v) {
    VARIANT r{};
    r.vt = VT_I2;
    r.iVal = v;
    return r;
}
VARIANT I4(LONG v) {
    VARIANT r{};
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
VARIANT UI4(ULONG v) {
    VARIANT r{};
    r.vt = VT_UI4;
    r.ulVal = v;
    return r;
}
VARIANT R8(double v) {
    VARIANT r{};
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}
VARIANT Bool(bool v) {
    VARIANT r{};
    r.vt = VT_BOOL;
    r.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}
VARIANT Null() {
    VARIANT r{};
    r.vt = VT_NULL;
    return r;
}

struct EqualCase {
    const char* name;
    VARIANT a, b;
    bool equal;
};

const EqualCase kEqual[] = {
    {"I2 5 = I2 5", I2(5), I2(5), true},
    {"I2 5 vs I4 5", I2(5), I4(5), false},
    {"I4 5 vs I4 6", I4(5), I4(6), false},
    {"UI4 max = UI4 max", UI4(0xFFFFFFFF), UI4(0xFFFFFFFF), true},
    {"UI4 differ", UI4(1), UI4(2), false},
    {"R8 equal", R8(0.1), R8(0.1), true},
    {"BOOL true vs false", Bool(true), Bool(false), false},
    {"BOOL same", Bool(true), Bool(true), true},
    {"NULL vs NULL", Null(), Null(), true},
};

class ValuesEqualTable : public ::testing::TestWithParam<EqualCase> {};

TEST_P(ValuesEqualTable, Scalars) {
    const EqualCase& c = GetParam();
    EXPECT_EQ(ValuesEqual(c.a, c.b), c.equal) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Values, ValuesEqualTable, ::testing::ValuesIn(kEqual),
                         [](const auto& info) { return corvane::test::CaseName(info.param.name); });

struct ArrayVariant {
    VARIANT v{};
    ArrayVariant(VARTYPE elem, LONG lbound, ULONG count) {
        v.vt = VT_ARRAY | elem;
        v.parray = SafeArrayCreateVector(elem, lbound, count);
    }
    ArrayVariant(VARTYPE elem, SAFEARRAYBOUND (&b)[2]) {
        v.vt = VT_ARRAY | elem;
        v.parray = SafeArrayCreate(elem, 2, b);
    }
    ~ArrayVariant() { VariantClear(&v); }
    void PutBstr(LONG i, const char16_t* s) {
        BSTR b = SysAllocString(s);
        SafeArrayPutElement(v.parray, &i, b);
        SysFreeString(b);
    }
};

TEST(ValuesEqualArrays, BstrArraysCompareTheirStrings) {
    ArrayVariant a(VT_BSTR, 0, 1), b(VT_BSTR, 0, 1);
    a.PutBstr(0, u"same");
    b.PutBstr(0, u"same");
    EXPECT_TRUE(ValuesEqual(a.v, b.v));
    b.PutBstr(0, u"Same");
    EXPECT_FALSE(ValuesEqual(a.v, b.v));
}

TEST(ValuesEqualArrays, ShapeMustMatch) {
    ArrayVariant a(VT_I4, 0, 2), b(VT_I4, 1, 2), c(VT_I4, 0, 3), d(VT_I4, 0, 2);
    EXPECT_FALSE(ValuesEqual(a.v, b.v));  // other lower bound
    EXPECT_FALSE(ValuesEqual(a.v, c.v));  // other count
    EXPECT_TRUE(ValuesEqual(a.v, d.v));
    static_cast<LONG*>(d.v.parray->pvData)[1] = 9;
    EXPECT_FALSE(ValuesEqual(a.v, d.v));
}

TEST(ValuesEqualArrays, MultiDimensionalArraysAreNeverEqual) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    ArrayVariant a(VT_I2, bounds), b(VT_I2, bounds);
    EXPECT_FALSE(ValuesEqual(a.v, b.v));
    EXPECT_FALSE(ValuesEqual(a.v, a.v));
}

TEST(ValuesEqualArrays, VariantArraysCompareTheirValues) {
    ArrayVariant a(VT_VARIANT, 0, 1), b(VT_VARIANT, 0, 1);
    VARIANT s{};
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(u"text");
    LONG i = 0;
    SafeArrayPutElement(a.v.parray, &i, &s);
    SafeArrayPutElement(b.v.parray, &i, &s);
    VariantClear(&s);
    EXPECT_TRUE(ValuesEqual(a.v, b.v));
}

}  // namespace
