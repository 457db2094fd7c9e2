// The server object as a client sees it: life, interfaces, status, locale, error texts
// and the shutdown connection point.
#include "com_test_util.h"
#include "corvane/platform/TestHooks.h"
#include "server_fixture.h"
#include "winbase.h"

using namespace corvane;
using namespace corvane::opc;
using corvane::test::kSentinel;

namespace {

class ServerObject : public test::ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        StartCom();
    }
};

TEST_F(ServerObject, LifeFollowsTheReferenceCount) {
    EXPECT_EQ(TComObjectCounter::Count(), 0);
    {
        auto server = Create<IOPCServer>(IID_IOPCServer);
        EXPECT_EQ(items->Events, (std::vector<std::string>{"connected"}));
        EXPECT_EQ(TComObjectCounter::Count(), 1);
        EXPECT_EQ(items->Servers.List.size(), 1u);
        auto common = As<IOPCCommon>(server.Get(), IID_IOPCCommon);
        EXPECT_EQ(common->AddRef(), 3u);
        EXPECT_EQ(common->Release(), 2u);
    }
    EXPECT_EQ(items->Events, (std::vector<std::string>{"connected", "disconnected"}));
    EXPECT_EQ(TComObjectCounter::Count(), 0);
    EXPECT_TRUE(items->Servers.List.empty());
}

TEST_F(ServerObject, EveryClientGetsItsOwnObject) {
    auto a = Create<IOPCServer>(IID_IOPCServer);
    auto b = Create<IOPCServer>(IID_IOPCServer);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(TComObjectCounter::Count(), 2);
}

struct InterfaceCase {
    const IID* iid;
    const char* name;
    HRESULT expected;
};

const InterfaceCase kInterfaces[] = {
    {&IID_IUnknown, "IUnknown", S_OK},
    {&IID_ISupportErrorInfo, "ISupportErrorInfo", S_OK},
    {&IID_IOPCItemProperties, "IOPCItemProperties", S_OK},
    {&IID_IConnectionPointContainer, "IConnectionPointContainer", S_OK},
    {&IID_IOPCBrowseServerAddressSpace, "IOPCBrowseServerAddressSpace", S_OK},
    {&IID_IOPCCommon, "IOPCCommon", S_OK},
    {&IID_IOPCServer, "IOPCServer", S_OK},
    {&IID_IOPCServerPublicGroups, "IOPCServerPublicGroups", E_NOINTERFACE},
    {&IID_IOPCGroupStateMgt, "IOPCGroupStateMgt", E_NOINTERFACE},
    {&IID_IClassFactory, "IClassFactory", E_NOINTERFACE},
};

TEST_F(ServerObject, QueryInterfaceOffersTheServerInterfaces) {
    auto server = Create<IUnknown>(IID_IUnknown);
    for (const InterfaceCase& c : kInterfaces) {
        void* p = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
        EXPECT_EQ(server->QueryInterface(*c.iid, &p), c.expected) << c.name;
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(p, nullptr);
            static_cast<IUnknown*>(p)->Release();
        } else {
            EXPECT_EQ(p, nullptr) << c.name;
        }
    }
}

TEST_F(ServerObject, IdentityIsTheSameThroughEveryInterface) {
    auto server = Create<IOPCServer>(IID_IOPCServer);
    auto unknown1 = As<IUnknown>(server.Get(), IID_IUnknown);
    auto browse = As<IOPCBrowseServerAddressSpace>(server.Get(), IID_IOPCBrowseServerAddressSpace);
    auto unknown2 = As<IUnknown>(browse.Get(), IID_IUnknown);
    EXPECT_EQ(unknown1.Get(), unknown2.Get());
}

TEST_F(ServerObject, NoBrowseOptionRefusesTheBrowseInterface) {
    items->Opts = TServerOptions{TServerOption::soNoBrowseInterface};
    auto server = Create<IOPCServer>(IID_IOPCServer);
    void* p = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

TEST_F(ServerObject, GetStatusFillsEveryMember) {
    SetServerFileVersion({1, 0, 2});
    items->StartTime = {7, 8};
    auto server = Create<IOPCServer>(IID_IOPCServer);
    OPCSERVERSTATUS* status = reinterpret_cast<OPCSERVERSTATUS*>(std::uintptr_t{kSentinel});
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->ftStartTime.dwLowDateTime, 7u);
    EXPECT_EQ(status->ftStartTime.dwHighDateTime, 8u);
    EXPECT_EQ(status->ftCurrentTime.dwLowDateTime, items->Now.dwLowDateTime);
    EXPECT_EQ(status->ftLastUpdateTime.dwLowDateTime, 0u);
    EXPECT_EQ(status->dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(status->dwGroupCount, 0u);
    EXPECT_EQ(status->dwBandWidth, 0xFFFFFFFFu);
    EXPECT_EQ(status->wMajorVersion, 1);
    EXPECT_EQ(status->wMinorVersion, 0);
    EXPECT_EQ(status->wBuildNumber, 2);
    EXPECT_EQ(status->wReserved, 0);
    EXPECT_EQ(Narrow(status->szVendorInfo), "Tester Test Server");
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    SetServerFileVersion({});
}

TEST_F(ServerObject, GetStatusOutOfMemoryFreesWhatItHad) {
    auto server = Create<IOPCServer>(IID_IOPCServer);
    const std::size_t before = platform::TaskMemOutstanding();
    for (std::size_t succeed : {0u, 1u}) {
        OPCSERVERSTATUS* status = reinterpret_cast<OPCSERVERSTATUS*>(std::uintptr_t{kSentinel});
        platform::FailTaskMemAfter(succeed);
        EXPECT_EQ(server->GetStatus(&status), E_OUTOFMEMORY);
        platform::SetTaskMemFailure(nullptr);
        EXPECT_EQ(status, nullptr);
        EXPECT_EQ(platform::TaskMemOutstanding(), before);
    }
}

struct ErrorCase {
    HRESULT code;
    HRESULT result;
    const char* text;
};

const ErrorCase kErrors[] = {
    {OPC_E_BADTYPE, S_OK, "requested data type and the canonical data type."},
    {OPC_E_INVALIDHANDLE, S_OK, "The value of the handle is invalid."},
    {OPC_S_INUSE, S_OK,
     "The operation cannot be completed because the object still has references that exist."},
    {static_cast<HRESULT>(0x12345678), E_INVALIDARG, nullptr},
};

TEST_F(ServerObject, GetErrorStringOfBothInterfaces) {
    auto server = Create<IOPCServer>(IID_IOPCServer);
    auto common = As<IOPCCommon>(server.Get(), IID_IOPCCommon);
    for (const ErrorCase& c : kErrors) {
        LPWSTR text = reinterpret_cast<LPWSTR>(std::uintptr_t{kSentinel});
        EXPECT_EQ(server->GetErrorString(c.code, LOCALE_SYSTEM_DEFAULT, &text), c.result);
        LPWSTR text2 = reinterpret_cast<LPWSTR>(std::uintptr_t{kSentinel});
        EXPECT_EQ(common->GetErrorString(c.code, &text2), c.result);
        if (c.text) {
            EXPECT_EQ(Narrow(text), c.text);
            EXPECT_EQ(Narrow(text2), c.text);
        } else {
            EXPECT_EQ(text, nullptr);
            EXPECT_EQ(text2, nullptr);
        }
        CoTaskMemFree(text);
        CoTaskMemFree(text2);
    }
}

TEST_F(ServerObject, LocaleIsOneOfTheThreeDefaults) {
    auto common = Create<IOPCCommon>(IID_IOPCCommon);
    LCID lcid = kSentinel;
    EXPECT_EQ(common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, LOCALE_SYSTEM_DEFAULT);
    const LCID foreign =
        GetUserDefaultLCID() == 0x041D || GetSystemDefaultLCID() == 0x041D ? 0x0419 : 0x041D;
    struct Case {
        LCID lcid;
        HRESULT result;
        LCID after;
    };
    const Case cases[] = {{GetUserDefaultLCID(), S_OK, GetUserDefaultLCID()},
                          {foreign, E_INVALIDARG, GetUserDefaultLCID()},
                          {GetSystemDefaultLCID(), S_OK, GetSystemDefaultLCID()},
                          {LOCALE_SYSTEM_DEFAULT, S_OK, LOCALE_SYSTEM_DEFAULT}};
    for (const Case& c : cases) {
        EXPECT_EQ(common->SetLocaleID(c.lcid), c.result) << std::hex << c.lcid;
        common->GetLocaleID(&lcid);
        EXPECT_EQ(lcid, c.after);
    }
    DWORD count = kSentinel;
    LCID* ids = reinterpret_cast<LCID*>(std::uintptr_t{kSentinel});
    ASSERT_EQ(common->QueryAvailableLocaleIDs(&count, &ids), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(ids[0], LOCALE_SYSTEM_DEFAULT);
    EXPECT_EQ(ids[1], GetSystemDefaultLCID());
    EXPECT_EQ(ids[2], GetUserDefaultLCID());
    CoTaskMemFree(ids);
}

TEST_F(ServerObject, QueryAvailableLocaleIDsOutOfMemory) {
    auto common = Create<IOPCCommon>(IID_IOPCCommon);
    DWORD count = kSentinel;
    LCID* ids = reinterpret_cast<LCID*>(std::uintptr_t{kSentinel});
    platform::FailTaskMemAfter(0);
    EXPECT_EQ(common->QueryAvailableLocaleIDs(&count, &ids), E_OUTOFMEMORY);
    platform::SetTaskMemFailure(nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ids, nullptr);
}

TEST_F(ServerObject, SetClientNameStoresThenNotifies) {
    auto common = Create<IOPCCommon>(IID_IOPCCommon);
    const std::u16string name = Wide("WinCC");
    EXPECT_EQ(common->SetClientName(reinterpret_cast<LPCWSTR>(name.c_str())), S_OK);
    EXPECT_EQ(items->Events, (std::vector<std::string>{"connected", "name"}));
    auto* impl = static_cast<TServerImpl*>(static_cast<TBrowseClient*>(items->Servers.List[0]));
    EXPECT_EQ(impl->ClientName, name);
}

TEST_F(ServerObject, ShutdownConnectionPoint) {
    auto server = Create<IOPCServer>(IID_IOPCServer);
    auto container = As<IConnectionPointContainer>(server.Get(), IID_IConnectionPointContainer);
    IConnectionPoint* wrong = reinterpret_cast<IConnectionPoint*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, &wrong), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(wrong, nullptr);

    platform::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
    IID iid{};
    point->GetConnectionInterface(&iid);
    EXPECT_EQ(iid, IID_IOPCShutdown);

    test::CountedSink sink;
    DWORD cookie = kSentinel;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    auto* impl = static_cast<TServerImpl*>(static_cast<TBrowseClient*>(items->Servers.List[0]));
    EXPECT_EQ(static_cast<IUnknown*>(impl->ShutdownSink.Get()), static_cast<IUnknown*>(&sink));
    EXPECT_EQ(sink.refs, 3u);  // the point's reference and the server's
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_FALSE(impl->ShutdownSink);
    EXPECT_EQ(sink.refs, 1u);

    platform::ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    platform::ComPtr<IConnectionPoint> first;
    ULONG fetched = kSentinel;
    EXPECT_EQ(points->Next(1, first.Put(), &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(first.Get(), point.Get());
}

TEST_F(ServerObject, ConnectionPointKeepsTheServerAlive) {
    platform::ComPtr<IConnectionPoint> point;
    {
        auto container = Create<IConnectionPointContainer>(IID_IConnectionPointContainer);
        container->FindConnectionPoint(IID_IOPCShutdown, point.Put());
    }
    EXPECT_EQ(TComObjectCounter::Count(), 1);
    point.Reset();
    EXPECT_EQ(TComObjectCounter::Count(), 0);
}

TEST_F(ServerObject, DisconnectClientDropsTheSinkAndDisconnects) {
    std::vector<void*> disconnected;
    platform::SetDisconnectHandler([&](void* p) { disconnected.push_back(p); });
    auto server = Create<IOPCServer>(IID_IOPCServer);
    platform::ComPtr<IConnectionPoint> point;
    As<IConnectionPointContainer>(server.Get(), IID_IConnectionPointContainer)
        ->FindConnectionPoint(IID_IOPCShutdown, point.Put());
    test::CountedSink sink;
    DWORD cookie = 0;
    point->Advise(&sink, &cookie);
    auto* impl = static_cast<TServerImpl*>(static_cast<TBrowseClient*>(items->Servers.List[0]));
    impl->DisconnectClient();
    platform::SetDisconnectHandler(nullptr);
    EXPECT_EQ(sink.refs, 1u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(disconnected.size(), 1u);
    EXPECT_EQ(disconnected[0], static_cast<void*>(As<IUnknown>(server.Get(), IID_IUnknown).Get()));
}

TEST(ServerFactory, NoItemServerRefusesCreation) {
    platform::ComPtr<TOpcServerFactory> factory(
        new TOpcServerFactory(test::kTestClsid, "Scripted.2", "Test", "Tester"));
    void* p = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOPCServer, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(TComObjectCounter::Count(), 0);
}

TEST_F(ServerObject, FactoryRefusesAggregationAndUnknownInterfaces) {
    platform::ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(test::kTestClsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               factory.PutVoid()),
              S_OK);
    test::CountedSink outer;
    void* p = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOPCSyncIO, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    // The refused object is gone again, and said so.
    EXPECT_EQ(TComObjectCounter::Count(), 0);
    EXPECT_EQ(items->Events, (std::vector<std::string>{"connected", "disconnected"}));
}

TEST_F(ServerObject, LockServerCountsAsAnObject) {
    platform::ComPtr<IClassFactory> factory;
    CoGetClassObject(test::kTestClsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                     factory.PutVoid());
    factory->LockServer(TRUE);
    EXPECT_EQ(TComObjectCounter::Count(), 1);
    factory->LockServer(FALSE);
    EXPECT_EQ(TComObjectCounter::Count(), 0);
}

}  // namespace
