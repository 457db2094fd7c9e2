// Apartments, the task allocator and its failure switch, class objects, GUID strings.
#include <gtest/gtest.h>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/TestHooks.h"
#include "objbase.h"

using corvane::platform::ComPtr;
using corvane::platform::ComRefCount;

namespace {

constexpr CLSID kClsid = {
    0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
int gLiveThings = 0;

class Thing final : public IUnknown, public ComRefCount<Thing> {
  public:
    Thing() { ++gLiveThings; }
    ~Thing() { --gLiveThings; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = riid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
};

class Factory final : public IClassFactory, public ComRefCount<Factory> {
  public:
    int created = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory)
                   ? static_cast<IClassFactory*>(this)
                   : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ++created;
        ComPtr<Thing> thing(new Thing);
        return thing->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class ComRuntime : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override {
        corvane::platform::SetTaskMemFailure(nullptr);
        CoUninitialize();
    }
};

TEST_F(ComRuntime, InitializeCountsAndRefusesAnotherModel) {
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
}

TEST_F(ComRuntime, TaskMemoryFailsOnRequestAndCountsBlocks) {
    const auto before = corvane::platform::TaskMemOutstanding();
    corvane::platform::FailTaskMemAfter(1);
    void* first = CoTaskMemAlloc(16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
    EXPECT_EQ(CoTaskMemRealloc(first, 64), nullptr);  // the block stays valid
    corvane::platform::SetTaskMemFailure(nullptr);
    void* bigger = CoTaskMemRealloc(first, 64);
    ASSERT_NE(bigger, nullptr);
    EXPECT_EQ(corvane::platform::TaskMemOutstanding(), before + 1);
    CoTaskMemFree(bigger);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(corvane::platform::TaskMemOutstanding(), before);
}

TEST_F(ComRuntime, ClassObjectServesInstancesUntilRevoked) {
    ComPtr<Factory> factory(new Factory);
    DWORD cookie = 0xdeadbeef;
    ASSERT_EQ(CoRegisterClassObject(kClsid, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    EXPECT_EQ(factory->RefCount(), 2u);
    IUnknown* obj = reinterpret_cast<IUnknown*>(0xdeadbeef);
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, (void**)&obj),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&obj), S_OK);
    EXPECT_EQ(gLiveThings, 1);
    obj->Release();
    EXPECT_EQ(gLiveThings, 0);
    obj = reinterpret_cast<IUnknown*>(0xdeadbeef);
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IClassFactory, (void**)&obj),
              E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory->RefCount(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&obj),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntime, SuspendedAndSingleUseRegistrations) {
    ComPtr<Factory> factory(new Factory);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                    REGCLS_SINGLEUSE | REGCLS_SUSPENDED, &cookie),
              S_OK);
    IUnknown* obj = nullptr;
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&obj),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoResumeClassObjects(), S_OK);
    ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&obj), S_OK);
    obj->Release();
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&obj),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(factory->created, 1);
    CoRevokeClassObject(cookie);
}

TEST(ComRuntimeNoApartment, RefusesWithoutInitialize) {
    IUnknown* obj = reinterpret_cast<IUnknown*>(0xdeadbeef);
    EXPECT_EQ(CoGetClassObject(kClsid, CLSCTX_ALL, nullptr, IID_IUnknown, (void**)&obj),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(obj, nullptr);
}

TEST_F(ComRuntime, DisconnectReachesTheHandler) {
    void* seen = nullptr;
    corvane::platform::SetDisconnectHandler([&](void* p) { seen = p; });
    ComPtr<Thing> thing(new Thing);
    EXPECT_EQ(CoDisconnectObject(thing.Get(), 0), S_OK);
    EXPECT_EQ(seen, static_cast<void*>(static_cast<IUnknown*>(thing.Get())));
    EXPECT_EQ(CoDisconnectObject(nullptr, 0), E_INVALIDARG);
    corvane::platform::SetDisconnectHandler(nullptr);
}

TEST(GuidText, RegistryFormRoundTrips) {
    OLECHAR text[39];
    ASSERT_EQ(StringFromGUID2(kClsid, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{11223344-5566-7788-99AA-BBCCDDEEFF00}");
    EXPECT_EQ(StringFromGUID2(kClsid, text, 38), 0);
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(u"{11223344-5566-7788-99aa-bbccddeeff00}", &parsed), S_OK);
    EXPECT_TRUE(parsed == kClsid);
    EXPECT_EQ(CLSIDFromString(u"{11223344-5566-7788-99aa-bbccddeeff0}", &parsed), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"{11223344-5566-7788-99aa-bbccddeeff0x}", &parsed),
              CO_E_CLASSSTRING);
}

TEST(ComPtrTest, ReferencesFollowCopiesAndAdoption) {
    auto* raw = new Thing;
    {
        ComPtr<Thing> a(raw);
        EXPECT_EQ(raw->RefCount(), 1u);
        ComPtr<Thing> b = a;
        EXPECT_EQ(raw->RefCount(), 2u);
        ComPtr<Thing> c = std::move(b);
        EXPECT_EQ(raw->RefCount(), 2u);
        raw->AddRef();
        ComPtr<Thing> d = ComPtr<Thing>::Adopt(raw);
        EXPECT_EQ(raw->RefCount(), 3u);
    }
    EXPECT_EQ(gLiveThings, 0);
}

}  // namespace
