// The hooks a transport uses: activation of classes served by another process, ProgIDs
// from the registry stand-in, and the blocking message wait with an outside source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/LocalServer.h"
#include "corvane/platform/Registry.h"
#include "objbase.h"
#include "winuser.h"

namespace {

using corvane::platform::ComPtr;
using corvane::platform::ComRefCount;

constexpr CLSID kRemote = {0x0A0B0C0D, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class Thing final : public IUnknown, public ComRefCount<Thing> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
};

class LocalServerActivation : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        corvane::platform::SetLocalServerActivator([this](REFCLSID clsid, REFIID iid, void** ppv) {
            ++Calls;
            if (clsid != kRemote) return REGDB_E_CLASSNOTREG;
            const ComPtr<Thing> thing(new Thing);
            return thing->QueryInterface(iid, ppv);
        });
    }
    void TearDown() override {
        corvane::platform::SetLocalServerActivator(nullptr);
        CoUninitialize();
    }
    int Calls = 0;
};

TEST_F(LocalServerActivation, ReachesTheTransportOnlyForLocalServerRequests) {
    ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(kRemote, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
        S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(
        CoCreateInstance(kRemote, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Calls, 1);
}

TEST_F(LocalServerActivation, RefusesAggregationAndServesCoCreateInstanceEx) {
    Thing outer;
    ComPtr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(kRemote, &outer, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
        CLASS_E_NOAGGREGATION);
    MULTI_QI results[2] = {{&IID_IUnknown, nullptr, S_OK}, {&IID_IClassFactory, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(kRemote, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 2, results),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(results[0].hr, S_OK);
    EXPECT_EQ(results[1].hr, E_NOINTERFACE);
    results[0].pItf->Release();
}

TEST(ProgIdLookup, ReadsTheClassIdFromTheRegistryStandIn) {
    const auto file = std::filesystem::temp_directory_path() / "corvane-progid-test.reg";
    std::filesystem::remove(file);
    const char* old = std::getenv("CORVANE_REGISTRY");
    const std::string saved = old ? old : "";
    setenv("CORVANE_REGISTRY", file.c_str(), 1);
    corvane::platform::ClassesRoot(file).SetValue("My.Server\\Clsid", "",
                                                  "{0A0B0C0D-1111-2222-0102-030405060708}");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"my.server", &clsid), S_OK) << "ProgIDs ignore letter case";
    EXPECT_EQ(clsid, kRemote);
    EXPECT_EQ(CLSIDFromProgID(u"Other.Server", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"My.Server\\Clsid", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    if (old)
        setenv("CORVANE_REGISTRY", saved.c_str(), 1);
    else
        unsetenv("CORVANE_REGISTRY");
    std::filesystem::remove(file);
}

TEST(BlockingMessageWait, EndsWithFalseOnQuitAndWakesForAnotherThreadsPost) {
    MSG msg;
    PostQuitMessage(3);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 3u);

    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "blocking-wait-test";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    std::thread poster([window] { PostMessageA(window, WM_USER + 5, 0, 0); });
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5));
    poster.join();
    DestroyWindow(window);
    UnregisterClassA(wc.lpszClassName, nullptr);
}

TEST(BlockingMessageWait, ServesTheOutsideSourceAndWaitsOnItForTheNextTimer) {
    int polls = 0;
    std::vector<int> waits;
    corvane::platform::SetExternalMessageSource({[&] { ++polls; },
                                                 [&](int timeout) {
                                                     waits.push_back(timeout);
                                                     PostQuitMessage(0);
                                                 }});
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_GE(polls, 2) << "each look at the queue serves the source first";
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0], -1) << "no timer: no limit";
    corvane::platform::SetExternalMessageSource({});
}

}  // namespace
