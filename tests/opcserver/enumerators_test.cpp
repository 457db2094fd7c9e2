// IEnumString and IEnumUnknown: Next, Skip, Reset, Clone and their references.
#include <gtest/gtest.h>

#include "com_test_util.h"
#include "corvane/platform/TestHooks.h"
#include "opcserver/Enumerators.h"

using namespace corvane::opc;
using namespace corvane::test;
using corvane::platform::ComPtr;

namespace {

std::u16string Take(LPOLESTR s) {
    std::u16string r(s);
    CoTaskMemFree(s);
    return r;
}

TEST(StringsEnumerator, ThreeNamesWalkThrough) {
    ComPtr<TStringsEnumerator> e(new TStringsEnumerator({"alpha", "beta", "gamma"}));
    LPOLESTR out[2] = {};
    ULONG fetched = kSentinel;
    EXPECT_EQ(e->Next(2, out, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(Take(out[0]), u"alpha");
    EXPECT_EQ(Take(out[1]), u"beta");
    fetched = kSentinel;
    EXPECT_EQ(e->Next(2, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(Take(out[0]), u"gamma");
    EXPECT_EQ(e->Skip(1), S_FALSE);
    IEnumString* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, out, nullptr), S_OK);  // the clone starts at the first name
    EXPECT_EQ(Take(out[0]), u"alpha");
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(e->Next(1, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(3), S_OK);
    EXPECT_EQ(e->Skip(0), S_OK);
}

TEST(StringsEnumerator, OutOfMemoryHandsOutNothing) {
    ComPtr<TStringsEnumerator> e(new TStringsEnumerator({"a", "b", "c"}));
    const auto before = corvane::platform::TaskMemOutstanding();
    corvane::platform::FailTaskMemAfter(1);
    LPOLESTR out[3] = {};
    ULONG fetched = kSentinel;
    EXPECT_EQ(e->Next(3, out, &fetched), E_OUTOFMEMORY);
    corvane::platform::SetTaskMemFailure(nullptr);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(out[0], nullptr);
    EXPECT_EQ(corvane::platform::TaskMemOutstanding(), before);
    EXPECT_EQ(e->Next(1, out, nullptr), S_OK);  // the position did not move
    EXPECT_EQ(Take(out[0]), u"a");
}

TEST(StringsEnumerator, EmptyListAndNullArray) {
    ComPtr<TStringsEnumerator> e(new TStringsEnumerator({}));
    LPOLESTR out[1] = {};
    EXPECT_EQ(e->Next(1, out, nullptr), S_FALSE);
    EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);
    void* itf = nullptr;
    EXPECT_EQ(e->QueryInterface(IID_IEnumString, &itf), S_OK);
    static_cast<IUnknown*>(itf)->Release();
    itf = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(e->QueryInterface(IID_IEnumUnknown, &itf), E_NOINTERFACE);
    EXPECT_EQ(itf, nullptr);
}

TEST(UnkEnumerator, HoldsAndHandsOutReferences) {
    CountedSink a, b;
    {
        ComPtr<TUnkEnumerator> e(new TUnkEnumerator({&a, &b}));
        EXPECT_EQ(a.refs, 2u);
        EXPECT_EQ(b.refs, 2u);
        IUnknown* out[3] = {};
        ULONG fetched = 0;
        EXPECT_EQ(e->Next(3, out, &fetched), S_FALSE);
        EXPECT_EQ(fetched, 2u);
        EXPECT_EQ(out[0], static_cast<IUnknown*>(&a));
        EXPECT_EQ(a.refs, 3u);
        out[0]->Release();
        out[1]->Release();
        IEnumUnknown* clone = nullptr;
        ASSERT_EQ(e->Clone(&clone), S_OK);
        EXPECT_EQ(a.refs, 3u);  // the clone holds its own copy of the list
        EXPECT_EQ(clone->Skip(1), S_OK);
        EXPECT_EQ(clone->Next(1, out, nullptr), S_OK);
        EXPECT_EQ(out[0], static_cast<IUnknown*>(&b));
        out[0]->Release();
        EXPECT_EQ(clone->Skip(5), S_FALSE);
        clone->Release();
        EXPECT_EQ(a.refs, 2u);
    }
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 1u);
}

}  // namespace
