// One client scenario, written against the standard headers only, run twice: against a
// server object in this process and against corvane in another process through the
// client library. Both must behave alike.
#include <gtest/gtest.h>

#include <map>

#include "bus_process.h"
#include "corvane/platform/Registry.h"
#include "objbase.h"
#include "opcda.h"
#include "opcerror.h"
#include "opcserver/ItemServer.h"
#include "opcserver/Registration.h"
#include "winuser.h"

namespace corvane::test {
namespace {

constexpr CLSID kSimulator = {
    0x7E3C5A21, 0x94B6, 0x4F0D, {0xA8, 0xC2, 0x3D, 0x5E, 0x61, 0xF0, 0xB7, 0xA4}};
constexpr CLSID kInProcess = {
    0x3C1F0E22, 0x6A5B, 0x4C7D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};

// Boolean items named like the simulator's test symbols.
class BoolItems final : public opc::TOpcItemServer {
  public:
    opc::TItemHandle GetItemInfo(const std::string& id, std::string&,
                                 opc::TAccessRights& rights) override {
        const auto it = kNames.find(id);
        if (it == kNames.end()) return opc::kNoHandle;
        rights = opc::TAccessRights(OPC_READABLE | OPC_WRITEABLE);
        return it->second;
    }
    platform::Variant GetItemValue(opc::TItemHandle h, WORD&) override {
        platform::Variant v;
        v->vt = VT_BOOL;
        v->boolVal = values_[h] ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    void SetItemValue(opc::TItemHandle h, const VARIANT& value) override {
        values_[h] = value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
    }

  private:
    inline static const std::map<std::string, opc::TItemHandle> kNames = {{"Flag", 0},
                                                                          {"Flag2", 1}};
    std::map<opc::TItemHandle, bool> values_;
};

bool Pump(const std::function<bool()>& condition) {
    return WaitFor(
        [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            return condition();
        },
        10s);
}

class ChangeCounter final : public IOPCDataCallback {
  public:
    std::vector<std::pair<OPCHANDLE, VARIANT_BOOL>> Changes;
    std::vector<DWORD> Reads;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IOPCDataCallback || riid == IID_IUnknown ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD n,
                                           OPCHANDLE* h, VARIANT* v, WORD*, FILETIME*,
                                           HRESULT*) override {
        for (DWORD i = 0; i < n; ++i) Changes.emplace_back(h[i], v[i].boolVal);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD tid, OPCHANDLE, HRESULT, HRESULT, DWORD,
                                             OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                                             HRESULT*) override {
        Reads.push_back(tid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                              HRESULT*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

// The client: nothing here knows where the server runs.
void RunScenario(IOPCServer* server) {
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    IUnknown* group = nullptr;
    ASSERT_EQ(server->AddGroup(u"same", TRUE, 20, 9, nullptr, nullptr, 0, &hGroup, &revised,
                               IID_IUnknown, &group),
              S_OK);
    IOPCItemMgt* items = nullptr;
    ASSERT_EQ(group->QueryInterface(IID_IOPCItemMgt, reinterpret_cast<void**>(&items)), S_OK);
    OPCITEMDEF defs[2] = {{nullptr, const_cast<LPWSTR>(u"Flag"), TRUE, 1, 0, nullptr, VT_EMPTY, 0},
                          {nullptr, const_cast<LPWSTR>(u"Flag2"), TRUE, 2, 0, nullptr, VT_I4, 0}};
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(items->AddItems(2, defs, &results, &errors), S_OK);
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_BOOL);
    OPCHANDLE handles[2] = {results[0].hServer, results[1].hServer};
    CoTaskMemFree(results);
    CoTaskMemFree(errors);

    IOPCSyncIO* io = nullptr;
    ASSERT_EQ(group->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void**>(&io)), S_OK);
    VARIANT values[2];
    VariantInit(&values[0]);
    VariantInit(&values[1]);
    values[0].vt = VT_BSTR;
    values[0].bstrVal = SysAllocString(u"True");
    values[1].vt = VT_I4;
    values[1].lVal = 0;
    ASSERT_EQ(io->Write(2, handles, values, &errors), S_OK);
    CoTaskMemFree(errors);
    VariantClear(&values[0]);
    OPCITEMSTATE* states = nullptr;
    ASSERT_EQ(io->Read(OPC_DS_DEVICE, 2, handles, &states, &errors), S_OK);
    EXPECT_EQ(states[0].vDataValue.vt, VT_BOOL);
    EXPECT_EQ(states[0].vDataValue.boolVal, VARIANT_TRUE);
    EXPECT_EQ(states[1].vDataValue.vt, VT_I4) << "the requested type";
    EXPECT_EQ(states[1].vDataValue.lVal, 0);
    for (int i = 0; i < 2; ++i) VariantClear(&states[i].vDataValue);
    CoTaskMemFree(states);
    CoTaskMemFree(errors);

    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(
        group->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
        S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, &point), S_OK);
    ChangeCounter callback;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&callback, &cookie), S_OK);
    EXPECT_TRUE(Pump([&] { return callback.Changes.size() >= 2; }));
    IOPCAsyncIO2* async = nullptr;
    ASSERT_EQ(group->QueryInterface(IID_IOPCAsyncIO2, reinterpret_cast<void**>(&async)), S_OK);
    DWORD cancel = 0;
    ASSERT_EQ(async->Read(2, handles, 55, &cancel, &errors), S_OK);
    CoTaskMemFree(errors);
    EXPECT_TRUE(Pump([&] { return !callback.Reads.empty(); }));
    EXPECT_EQ(callback.Reads.at(0), 55u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);

    async->Release();
    point->Release();
    container->Release();
    io->Release();
    items->Release();
    group->Release();
    EXPECT_EQ(server->RemoveGroup(hGroup, FALSE), S_OK);
}

enum class Where { InProcess, OutOfProcess };

class SameClient : public ::testing::TestWithParam<Where> {};

TEST_P(SameClient, RunsItsScenarioAlike) {
    TPrivateBus bus;
    ASSERT_TRUE(bus.Ok());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::unique_ptr<TChild> simulator;
    DWORD categories = 0;
    CLSID clsid = kSimulator;
    if (GetParam() == Where::InProcess) {
        platform::ClassesRoot registry;
        categories = opc::RegisterCategoriesManager(registry.File());
        opc::RegisterOpcServer(kInProcess, 2, "In-process test server", "Corvane",
                               std::make_unique<BoolItems>());
        opc::TComServer::Instance().Initialize(opc::TStartMode::Normal,
                                               {registry, "/proc/self/exe"});
        clsid = kInProcess;
    } else {
        simulator = StartSimulator(bus);
        ASSERT_NE(simulator, nullptr);
    }
    IOPCServer* server = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                               reinterpret_cast<void**>(&server)),
              S_OK);
    RunScenario(server);
    server->Release();
    if (GetParam() == Where::InProcess) {
        opc::TComServer::Instance().Shutdown();
        CoRevokeClassObject(categories);
    }
    CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Servers, SameClient,
                         ::testing::Values(Where::InProcess, Where::OutOfProcess),
                         [](const auto& info) {
                             return info.param == Where::InProcess ? "InProcess" : "OutOfProcess";
                         });

}  // namespace
}  // namespace corvane::test
