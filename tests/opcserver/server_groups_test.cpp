// IOPCServer's group methods as a client calls them on the server object.
#include "com_test_util.h"
#include "corvane/platform/MessageLoop.h"
#include "server_fixture.h"

using namespace corvane;
using namespace corvane::opc;

namespace {

class ServerGroups : public test::ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        StartCom();
        server = Create<IOPCServer>(IID_IOPCServer);
    }
    void TearDown() override {
        server.Reset();
        ServerTest::TearDown();
    }
    HRESULT Add(const char* name, DWORD rate, const IID& iid, platform::ComPtr<IUnknown>& group,
                OPCHANDLE* handle = nullptr, DWORD* revised = nullptr) {
        const std::u16string n = Wide(name);
        OPCHANDLE h = test::kSentinel;
        DWORD r = test::kSentinel;
        const HRESULT hr = server->AddGroup(reinterpret_cast<LPCWSTR>(n.c_str()), TRUE, rate, 7,
                                            nullptr, nullptr, 0, &h, &r, iid, group.Put());
        if (handle) *handle = h;
        if (revised) *revised = r;
        return hr;
    }
    HRESULT ByName(const char* name) {
        const std::u16string n = Wide(name);
        platform::ComPtr<IUnknown> g;
        return server->GetGroupByName(reinterpret_cast<LPCWSTR>(n.c_str()), IID_IUnknown, g.Put());
    }
    DWORD GroupCount() {
        OPCSERVERSTATUS* status = nullptr;
        server->GetStatus(&status);
        const DWORD count = status->dwGroupCount;
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
        return count;
    }
    platform::ComPtr<IOPCServer> server;
};

TEST_F(ServerGroups, AddGroupRaisesTheRateToTheMinimum) {
    platform::ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_EQ(Add("G1", 10, IID_IOPCGroupStateMgt, group, &handle, &revised),
              OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 20u);
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(group);
    EXPECT_EQ(GroupCount(), 1u);
    EXPECT_EQ(ByName("g1"), S_OK);
    platform::ComPtr<IUnknown> second;
    EXPECT_EQ(Add("G2", 1000, IID_IOPCItemMgt, second), S_OK);
    EXPECT_EQ(Add("g1", 1000, IID_IOPCItemMgt, second), OPC_E_DUPLICATENAME);
    EXPECT_FALSE(second);
}

TEST_F(ServerGroups, RefusedInterfaceLeavesNoGroup) {
    platform::ComPtr<IUnknown> group;
    EXPECT_EQ(Add("G1", 1000, IID_IOPCServer, group), E_NOINTERFACE);
    EXPECT_FALSE(group);
    EXPECT_EQ(ByName("G1"), E_INVALIDARG);
    EXPECT_EQ(GroupCount(), 0u);
}

TEST_F(ServerGroups, RemoveGroupWhileReferencedIsInUse) {
    platform::ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(Add("G1", 1000, IID_IOPCItemMgt, group, &handle), S_OK);
    EXPECT_EQ(server->RemoveGroup(handle + 1000, FALSE), E_INVALIDARG);
    EXPECT_EQ(server->RemoveGroup(handle, FALSE), OPC_S_INUSE);
    EXPECT_EQ(ByName("G1"), E_INVALIDARG);
    platform::ComPtr<IUnknown> again;
    EXPECT_EQ(Add("G1", 1000, IID_IOPCItemMgt, again), S_OK);
}

TEST_F(ServerGroups, EnumeratorsByScope) {
    platform::ComPtr<IUnknown> a, b;
    Add("B", 1000, IID_IUnknown, b);
    Add("A", 1000, IID_IUnknown, a);
    platform::ComPtr<IEnumString> names;
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString,
                                            reinterpret_cast<LPUNKNOWN*>(names.Put())),
              S_OK);
    LPOLESTR got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(names->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(Narrow(got[0]), "A");
    EXPECT_EQ(Narrow(got[1]), "B");
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    platform::ComPtr<IUnknown> none;
    EXPECT_EQ(
        server->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(7), IID_IEnumUnknown, none.Put()),
        S_FALSE);
    EXPECT_TRUE(none);
    platform::ComPtr<IUnknown> wrong;
    EXPECT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IOPCServer, wrong.Put()),
              E_NOINTERFACE);
    EXPECT_FALSE(wrong);
}

TEST_F(ServerGroups, PropertiesUseTheItemAGroupHolds) {
    items->Items = {{"Start", TAccessRights(3), VT_BOOL, true}};
    platform::ComPtr<IUnknown> group;
    ASSERT_EQ(Add("G1", 1000, IID_IOPCItemMgt, group), S_OK);
    platform::ComPtr<IOPCItemMgt> mgt = As<IOPCItemMgt>(group.Get(), IID_IOPCItemMgt);
    std::u16string id = Wide("Start"), path;
    OPCITEMDEF def{};
    def.szAccessPath = reinterpret_cast<LPWSTR>(path.data());
    def.szItemID = reinterpret_cast<LPWSTR>(id.data());
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(mgt->AddItems(1, &def, &results, &errors), S_OK);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    const int reads = items->ValueReads;
    auto props = As<IOPCItemProperties>(server.Get(), IID_IOPCItemProperties);
    DWORD wanted[] = {1, 5};
    VARIANT* values = nullptr;
    ASSERT_EQ(
        props->GetItemProperties(reinterpret_cast<LPWSTR>(id.data()), 2, wanted, &values, &errors),
        S_OK);
    EXPECT_EQ(items->ValueReads, reads);  // no new reference was made
    EXPECT_EQ(values[0].iVal, VT_BOOL);
    EXPECT_TRUE(items->Released.empty());
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
}

TEST_F(ServerGroups, DestroyingTheServerDestroysItsGroups) {
    platform::ComPtr<IUnknown> group;
    Add("G1", 1000, IID_IOPCItemMgt, group);
    group.Reset();
    server.Reset();
    EXPECT_EQ(TComObjectCounter::Count(), 0);
}

}  // namespace

namespace {

// The smallest DA 2.0 client sink: counts the items it was told about.
class CountingCallback final : public IOPCDataCallback {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IOPCDataCallback || riid == IID_IUnknown ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD tid, OPCHANDLE group, HRESULT, HRESULT, DWORD n,
                                           OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                                           HRESULT*) override {
        changes += n;
        lastTransaction = tid;
        lastGroup = group;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                             VARIANT*, WORD*, FILETIME*, HRESULT*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                              HRESULT*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    ULONG refs = 1;
    DWORD changes = 0;
    DWORD lastTransaction = 0;
    OPCHANDLE lastGroup = 0;
};

TEST_F(ServerGroups, ARefreshDeliveredToTheClientStampsTheStatusLastUpdateTime) {
    items->Items = {{"Lamp", TAccessRights(3), VT_BOOL, true}};
    platform::ComPtr<IUnknown> group;
    ASSERT_EQ(Add("G", 1000, IID_IOPCItemMgt, group), S_OK);
    for (const IID* iid : {&IID_IOPCAsyncIO, &IID_IOPCAsyncIO2, &IID_IDataObject}) {
        platform::ComPtr<IUnknown> i;
        EXPECT_EQ(group->QueryInterface(*iid, i.PutVoid()), S_OK);
    }
    const std::u16string id = Wide("Lamp");
    OPCITEMDEF def{};
    def.szItemID = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(id.c_str()));
    def.bActive = TRUE;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(As<IOPCItemMgt>(group.Get(), IID_IOPCItemMgt)->AddItems(1, &def, &results, &errors),
              S_OK);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    CountingCallback cb;
    auto cpc = As<IConnectionPointContainer>(group.Get(), IID_IConnectionPointContainer);
    platform::ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.Put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(&cb, &cookie), S_OK);
    items->Now = FILETIME{0x33334444, 0x01D10000};
    DWORD cancel = 0;
    ASSERT_EQ(As<IOPCAsyncIO2>(group.Get(), IID_IOPCAsyncIO2)->Refresh2(OPC_DS_CACHE, 9, &cancel),
              S_OK);
    platform::ProcessMessages();
    EXPECT_EQ(cb.changes, 2u) << "the refresh on connecting and the one asked for";
    EXPECT_EQ(cb.lastTransaction, 9u);
    EXPECT_EQ(cb.lastGroup, 7u);
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(status->ftLastUpdateTime.dwLowDateTime, 0x33334444u);
    EXPECT_EQ(status->ftLastUpdateTime.dwHighDateTime, 0x01D10000u);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cb.refs, 1u);
}

}  // namespace
