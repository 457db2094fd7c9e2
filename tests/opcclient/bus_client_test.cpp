// A client in another process, written against the standard headers, reaches corvane
// through the client library: activation, groups and items, synchronous and
// asynchronous I/O, callbacks and DA 1.0 streams, and both sides dying.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "bus_process.h"
#include "objbase.h"
#include "opcclient/BusClient.h"
#include "opcda.h"
#include "opcerror.h"
#include "winbase.h"
#include "winuser.h"

namespace corvane::test {
namespace {

constexpr CLSID kSimulator = {
    0x7E3C5A21, 0x94B6, 0x4F0D, {0xA8, 0xC2, 0x3D, 0x5E, 0x61, 0xF0, 0xB7, 0xA4}};

// Serves the client's message queue (and so its callbacks) until `condition` holds.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    return WaitFor(
        [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            return condition();
        },
        limit);
}

template <class T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    ~Ref() { Reset(); }
    void Reset() {
        if (p) std::exchange(p, nullptr)->Release();
    }
    T* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
    template <class U>
    U** As() {
        return reinterpret_cast<U**>(&p);
    }
};

// A DA 2.0 callback that keeps what it was told.
class RecordingCallback final : public IOPCDataCallback {
  public:
    struct Change {
        OPCHANDLE Item;
        VARTYPE Type;
        LONG Value;
        WORD Quality;
    };
    std::vector<Change> Changes;
    std::vector<DWORD> ReadTransactions, WriteTransactions;
    ULONG Refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IOPCDataCallback) return E_NOINTERFACE;
        *ppv = static_cast<IOPCDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD n,
                                           OPCHANDLE* h, VARIANT* v, WORD* q, FILETIME*,
                                           HRESULT*) override {
        for (DWORD i = 0; i < n; ++i) Changes.push_back({h[i], v[i].vt, v[i].boolVal, q[i]});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD tid, OPCHANDLE, HRESULT, HRESULT, DWORD,
                                             OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                                             HRESULT*) override {
        ReadTransactions.push_back(tid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD tid, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                              HRESULT*) override {
        WriteTransactions.push_back(tid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

// A DA 1.0 sink that keeps every stream's bytes.
class RecordingAdviseSink final : public IAdviseSink {
  public:
    std::vector<std::vector<BYTE>> Streams;
    std::vector<CLIPFORMAT> Formats;
    ULONG Refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IAdviseSink) return E_NOINTERFACE;
        *ppv = static_cast<IAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC* f, STGMEDIUM* m) override {
        const auto* p = static_cast<const BYTE*>(GlobalLock(m->hGlobal));
        Streams.emplace_back(p, p + GlobalSize(m->hGlobal));
        GlobalUnlock(m->hGlobal);
        Formats.push_back(f->cfFormat);
    }
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}
};

class BusClient : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Ok()) << "dbus-daemon did not start";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    void TearDown() override { CoUninitialize(); }

    void Connect() {
        simulator = StartSimulator(bus);
        ASSERT_NE(simulator, nullptr) << "corvane did not come up on the bus";
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"Corvane.Simulator", &clsid), S_OK);
        ASSERT_EQ(
            CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.Out()),
            S_OK);
    }

    // A group with the named items; their server handles in order.
    std::vector<OPCHANDLE> AddGroup(Ref<IUnknown>& group, const std::vector<std::u16string>& ids,
                                    BOOL active = TRUE, DWORD rate = 50) {
        OPCHANDLE hGroup = 0;
        DWORD revised = 0;
        EXPECT_EQ(server->AddGroup(u"g", active, rate, 77, nullptr, nullptr, 0, &hGroup, &revised,
                                   IID_IUnknown, group.As<IUnknown>()),
                  S_OK);
        Ref<IOPCItemMgt> items;
        EXPECT_EQ(group->QueryInterface(IID_IOPCItemMgt, items.Out()), S_OK);
        std::vector<std::u16string> names = ids;
        std::vector<OPCITEMDEF> defs(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i)
            defs[i] = {nullptr, names[i].data(), TRUE,     static_cast<OPCHANDLE>(100 + i),
                       0,       nullptr,         VT_EMPTY, 0};
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        EXPECT_EQ(items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors),
                  S_OK);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; results && i < defs.size(); ++i) {
            EXPECT_EQ(errors[i], S_OK);
            EXPECT_EQ(results[i].vtCanonicalDataType, VT_BOOL);
            handles.push_back(results[i].hServer);
        }
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        return handles;
    }

    TPrivateBus bus;
    std::unique_ptr<TChild> simulator;
    Ref<IOPCServer> server;
};

TEST_F(BusClient, ActivationStartsTheServerAndItsLastReleaseEndsIt) {
    // Registration leaves the categories manager's class object behind at exit (outside
    // the transport); a sanitizer build would fail the exit status for that alone.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    TChild reg({CORVANE_EXE, "/RegServer"}, false);
    ASSERT_EQ(reg.WaitExit(30s), 0);
    const auto serviceFile =
        bus.Dir() / "data" / "dbus-1" / "services" / (SimulatorBusName() + ".service");
    std::ifstream in(serviceFile);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Exec=" CORVANE_EXE " /Embedding"), std::string::npos) << text.str();
    ASSERT_FALSE(NameOwned(SimulatorBusName()));

    ASSERT_EQ(
        CoCreateInstance(kSimulator, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.Out()),
        S_OK);
    const std::string connection = opcclient::ServerConnectionName(kSimulator);
    const auto pid = NameOwnerPid(connection);
    ASSERT_TRUE(pid);
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(status->dwServerState, OPC_STATUS_RUNNING);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    server.Reset();
    const bool ended = WaitFor([&] { return !NameOwned(connection); }, 20s);
    if (!ended) kill(*pid, SIGKILL);
    EXPECT_TRUE(ended) << "a server started by COM ends when its last client goes";

    TChild unreg({CORVANE_EXE, "/UnRegServer"}, false);
    ASSERT_EQ(unreg.WaitExit(30s), 0);
    EXPECT_FALSE(std::filesystem::exists(serviceFile));
}

TEST_F(BusClient, GroupsItemsAndSyncIoWorkThroughTheProxies) {
    Connect();
    Ref<IUnknown> group;
    const auto handles = AddGroup(group, {u"Flag", u"Flag2"}, FALSE);
    ASSERT_EQ(handles.size(), 2u);

    Ref<IOPCSyncIO> io;
    ASSERT_EQ(group->QueryInterface(IID_IOPCSyncIO, io.Out()), S_OK);
    VARIANT values[2];
    for (VARIANT& v : values) {
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = VARIANT_TRUE;
    }
    HRESULT* errors = nullptr;
    OPCHANDLE hs[2] = {handles[0], handles[1]};
    ASSERT_EQ(io->Write(2, hs, values, &errors), S_OK);
    EXPECT_EQ(errors[0], S_OK);
    CoTaskMemFree(errors);

    OPCITEMSTATE* states = nullptr;
    ASSERT_EQ(io->Read(OPC_DS_DEVICE, 2, hs, &states, &errors), S_OK);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(states[i].hClient, 100u + i);
        EXPECT_EQ(states[i].vDataValue.vt, VT_BOOL);
        EXPECT_EQ(states[i].vDataValue.boolVal, VARIANT_TRUE);
        EXPECT_EQ(states[i].wQuality, OPC_QUALITY_GOOD);
        VariantClear(&states[i].vDataValue);
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);

    // An unknown handle is the item's error, not the call's.
    OPCHANDLE bad[2] = {handles[0], 0xDEAD};
    ASSERT_EQ(io->Read(OPC_DS_CACHE, 2, bad, &states, &errors), S_FALSE);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    VariantClear(&states[0].vDataValue);
    CoTaskMemFree(states);
    CoTaskMemFree(errors);

    // The item enumerator and group state cross as well.
    Ref<IOPCItemMgt> items;
    ASSERT_EQ(group->QueryInterface(IID_IOPCItemMgt, items.Out()), S_OK);
    Ref<IEnumOPCItemAttributes> attributes;
    ASSERT_EQ(items->CreateEnumerator(IID_IEnumOPCItemAttributes, attributes.As<IUnknown>()), S_OK);
    OPCITEMATTRIBUTES* list = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(attributes->Next(10, &list, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(std::u16string(list[1].szItemID), u"Flag2");
    for (ULONG i = 0; i < fetched; ++i) {
        CoTaskMemFree(list[i].szAccessPath);
        CoTaskMemFree(list[i].szItemID);
        CoTaskMemFree(list[i].pBlob);
        VariantClear(&list[i].vEUInfo);
    }
    CoTaskMemFree(list);

    Ref<IOPCGroupStateMgt> state;
    ASSERT_EQ(group->QueryInterface(IID_IOPCGroupStateMgt, state.Out()), S_OK);
    DWORD rate = 0, lcid = 0;
    BOOL active = TRUE;
    LPWSTR name = nullptr;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(state->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hClient, &hServer),
              S_OK);
    EXPECT_EQ(std::u16string(name), u"g");
    EXPECT_EQ(hClient, 77u);
    EXPECT_FALSE(active);
    CoTaskMemFree(name);
    ASSERT_EQ(state->SetName(u"renamed"), S_OK);
    Ref<IUnknown> byName;
    EXPECT_EQ(server->GetGroupByName(u"renamed", IID_IUnknown, byName.As<IUnknown>()), S_OK);
    EXPECT_EQ(byName.p, group.p) << "one server object, one proxy identity";

    EXPECT_EQ(server->RemoveGroup(hServer, FALSE), OPC_S_INUSE);
}

TEST_F(BusClient, DataChangesAndAsyncCompletionsReachTheClientsCallback) {
    Connect();
    Ref<IUnknown> group;
    const auto handles = AddGroup(group, {u"Flag"});
    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(group->QueryInterface(IID_IConnectionPointContainer, container.Out()), S_OK);
    Ref<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, &point.p), S_OK);
    RecordingCallback callback;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&callback, &cookie), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !callback.Changes.empty(); }));
    EXPECT_EQ(callback.Changes[0].Item, 100u);
    EXPECT_EQ(callback.Changes[0].Type, VT_BOOL);

    // A write by another route shows up as a change.
    Ref<IOPCAsyncIO2> async;
    ASSERT_EQ(group->QueryInterface(IID_IOPCAsyncIO2, async.Out()), S_OK);
    VARIANT on;
    VariantInit(&on);
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    OPCHANDLE h = handles[0];
    DWORD cancel = 0;
    HRESULT* errors = nullptr;
    const std::size_t before = callback.Changes.size();
    ASSERT_EQ(async->Write(1, &h, &on, 41, &cancel, &errors), S_OK);
    CoTaskMemFree(errors);
    ASSERT_EQ(async->Read(1, &h, 42, &cancel, &errors), S_OK);
    CoTaskMemFree(errors);
    ASSERT_TRUE(PumpUntil([&] {
        return !callback.WriteTransactions.empty() && !callback.ReadTransactions.empty() &&
               callback.Changes.size() > before;
    }));
    EXPECT_EQ(callback.WriteTransactions[0], 41u);
    EXPECT_EQ(callback.ReadTransactions[0], 42u);
    EXPECT_EQ(callback.Changes.back().Value, VARIANT_TRUE);

    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return opcclient::ExportedSinkCount() == 0; }))
        << "the server's release of the sink reaches the client";
    EXPECT_EQ(callback.Refs, 1u);
}

TEST_F(BusClient, DataStreamsArriveAsTheServersBytes) {
    Connect();
    Ref<IUnknown> group;
    const auto handles = AddGroup(group, {u"Start", u"Lamp"});
    Ref<IDataObject> data;
    ASSERT_EQ(group->QueryInterface(IID_IDataObject, data.Out()), S_OK);
    RecordingAdviseSink sink;
    FORMATETC format{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")),
                     nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    ASSERT_EQ(data->DAdvise(&format, ADVF_PRIMEFIRST, &sink, &connection), S_OK);
    Ref<IOPCAsyncIO> async;
    ASSERT_EQ(group->QueryInterface(IID_IOPCAsyncIO, async.Out()), S_OK);
    DWORD tid = 0;
    ASSERT_EQ(async->Refresh(connection, OPC_DS_DEVICE, &tid), S_OK);
    // The refresh's own stream, whatever the new sink and the update ticks sent before.
    OPCGROUPHEADER header{};
    std::vector<BYTE> stream;
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& s : sink.Streams) {
            if (s.size() < sizeof header) continue;
            std::memcpy(&header, s.data(), sizeof header);
            if (header.dwTransactionID == tid) {
                stream = s;
                return true;
            }
        }
        return false;
    }));
    EXPECT_EQ(header.dwSize, stream.size()) << "the medium holds exactly the stream";
    EXPECT_EQ(header.dwItemCount, 2u);
    EXPECT_EQ(header.hClientGroup, 77u);
    EXPECT_EQ(header.dwTransactionID, tid);
    EXPECT_EQ(sink.Formats.back(), format.cfFormat) << "the format is the client's own number";
    ASSERT_EQ(data->DUnadvise(connection), S_OK);
}

TEST_F(BusClient, BrowsingPropertiesAndTheServerListWork) {
    Connect();
    Ref<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.Out()), S_OK);
    Ref<IEnumString> names;
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_FLAT, u"Fla*", VT_EMPTY, 0, &names.p), S_OK);
    LPOLESTR got[8] = {};
    ULONG fetched = 0;
    EXPECT_EQ(names->Next(8, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);

    Ref<IOPCItemProperties> props;
    ASSERT_EQ(server->QueryInterface(IID_IOPCItemProperties, props.Out()), S_OK);
    DWORD ids[2] = {OPC_PROPERTY_DATATYPE, 9999};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(props->GetItemProperties(const_cast<LPWSTR>(u"Lamp"), 2, ids, &values, &errors)));
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(values[0].vt, VT_I2);
    EXPECT_EQ(values[0].iVal, VT_BOOL);
    EXPECT_EQ(errors[1], OPC_E_INVALID_PID);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    Ref<IOPCServerList> list;
    ASSERT_EQ(CoCreateInstance(CLSID_OpcServerList, nullptr, CLSCTX_LOCAL_SERVER,
                               IID_IOPCServerList, list.Out()),
              S_OK);
    CATID da20 = CATID_OPCDAServer20;
    Ref<IEnumGUID> classes;
    ASSERT_EQ(list->EnumClassesOfCategories(1, &da20, 0, nullptr, &classes.p), S_OK);
    GUID found[4];
    ASSERT_EQ(classes->Next(4, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(found[0], kSimulator);
    LPOLESTR progId = nullptr, userType = nullptr;
    ASSERT_EQ(list->GetClassDetails(kSimulator, &progId, &userType), S_OK);
    EXPECT_FALSE(std::u16string(progId).empty());
    CoTaskMemFree(progId);
    CoTaskMemFree(userType);
}

TEST_F(BusClient, AClientThatStopsPumpingNeverStallsTheServer) {
    Connect();
    Ref<IUnknown> group;
    AddGroup(group, {u"Flag", u"Flag2", u"Start"}, TRUE, 20);
    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(group->QueryInterface(IID_IConnectionPointContainer, container.Out()), S_OK);
    Ref<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, &point.p), S_OK);
    RecordingCallback callback;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&callback, &cookie), S_OK);
    // From here on this client serves nothing while it flips a value on every call, so
    // callbacks pile up unanswered; the server must keep answering at once.
    Ref<IOPCSyncIO> io;
    ASSERT_EQ(group->QueryInterface(IID_IOPCSyncIO, io.Out()), S_OK);
    OPCHANDLE h = 0;
    {
        Ref<IOPCItemMgt> items;
        ASSERT_EQ(group->QueryInterface(IID_IOPCItemMgt, items.Out()), S_OK);
        Ref<IEnumOPCItemAttributes> e;
        ASSERT_EQ(items->CreateEnumerator(IID_IEnumOPCItemAttributes, e.As<IUnknown>()), S_OK);
        OPCITEMATTRIBUTES* a = nullptr;
        ULONG fetched = 0;
        ASSERT_TRUE(SUCCEEDED(e->Next(1, &a, &fetched)));
        h = a[0].hServer;
        CoTaskMemFree(a[0].szAccessPath);
        CoTaskMemFree(a[0].szItemID);
        VariantClear(&a[0].vEUInfo);
        CoTaskMemFree(a);
    }
    std::chrono::nanoseconds slowest{0};
    for (int i = 0; i < 150; ++i) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = (i & 1) ? VARIANT_TRUE : VARIANT_FALSE;
        HRESULT* errors = nullptr;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(io->Write(1, &h, &v, &errors), S_OK);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
        CoTaskMemFree(errors);
        WaitFor([] { return false; }, 10ms);
    }
    EXPECT_LT(slowest, 500ms) << "a call waited behind callbacks to a client that does not answer";
    EXPECT_TRUE(PumpUntil([&] { return !callback.Changes.empty(); }))
        << "once the client pumps again, the callbacks that were sent arrive";
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
}

TEST_F(BusClient, CallsFailPromptlyOnceTheServerIsKilled) {
    Connect();
    Ref<IUnknown> group;
    AddGroup(group, {u"Flag"});
    Ref<IOPCSyncIO> io;
    ASSERT_EQ(group->QueryInterface(IID_IOPCSyncIO, io.Out()), S_OK);
    simulator->Signal(SIGKILL);
    ASSERT_TRUE(simulator->WaitExit(10s));
    const auto start = std::chrono::steady_clock::now();
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_EQ(server->GetStatus(&status), RPC_E_DISCONNECTED);
    EXPECT_EQ(status, nullptr);
    OPCHANDLE h = 1;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(io->Read(OPC_DS_CACHE, 1, &h, &states, &errors), RPC_E_DISCONNECTED);
    io.Reset();
    group.Reset();
    server.Reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(opcclient::LiveProxyCount(), 0u);
}

TEST_F(BusClient, AClientKilledWithSigkillLosesItsGroupsAndTheComStartedServerEnds) {
    simulator = StartSimulator(bus, {"/Embedding"});
    ASSERT_NE(simulator, nullptr);
    TChild watcher({CORVANE_OPC_EXE, "watch", "Flag", "--rate", "50"}, true);
    const auto line = watcher.ReadLine(20s);
    ASSERT_TRUE(line) << "the watching client saw no value";
    EXPECT_NE(line->find("Flag good(0xC0)"), std::string::npos) << *line;
    ASSERT_TRUE(simulator->Running());
    watcher.Signal(SIGKILL);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(simulator->WaitExit(10s)) << "the server kept the dead client's objects";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

struct CliCase {
    const char* Name;
    std::vector<std::string> Args;
    int Status;
};

class CorvaneOpcCommandLine : public ::testing::TestWithParam<CliCase> {};

TEST_P(CorvaneOpcCommandLine, EndsWithTheDocumentedStatus) {
    TPrivateBus bus;
    ASSERT_TRUE(bus.Ok());
    std::vector<std::string> argv{CORVANE_OPC_EXE};
    argv.insert(argv.end(), GetParam().Args.begin(), GetParam().Args.end());
    TChild cli(argv, true);
    EXPECT_EQ(cli.WaitExit(30s), GetParam().Status);
}

const CliCase kCli[] = {
    {"HelpIsNoError", {"--help"}, 0},
    {"NoCommandIsAUsageError", {}, 2},
    {"AnUnknownCommandIsAUsageError", {"frobnicate"}, 2},
    {"AnUnknownOptionIsAUsageError", {"--verbose", "status"}, 2},
    {"MissingArgumentsAreAUsageError", {"write", "Flag"}, 2},
    {"ARateThatIsNoNumberIsAUsageError", {"watch", "Flag", "--rate", "fast"}, 2},
    {"AnUnregisteredProgIdFails", {"--server", "No.Such.Server", "status"}, 1},
    {"AServerThatIsNeitherRunningNorActivatableFails",
     {"--server", "{7E3C5A21-94B6-4F0D-A8C2-3D5E61F0B7A4}", "status"},
     1},
};

INSTANTIATE_TEST_SUITE_P(Cases, CorvaneOpcCommandLine, ::testing::ValuesIn(kCli),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

// A client's shutdown sink, counted.
class ShutdownSink final : public IOPCShutdown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_IOPCShutdown ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR) override { return S_OK; }
    ULONG refs = 1;
};

// The one connection point of an object, found through its enumerator.
IID EnumeratedPoint(IUnknown* object, Ref<IConnectionPoint>& point) {
    Ref<IConnectionPointContainer> container;
    EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.Out()), S_OK);
    Ref<IEnumConnectionPoints> points;
    EXPECT_EQ(container->EnumConnectionPoints(points.As<IEnumConnectionPoints>()), S_OK);
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(1, point.As<IConnectionPoint>(), &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    IConnectionPoint* none = nullptr;
    EXPECT_EQ(points->Next(1, &none, &fetched), S_FALSE) << "one point per object";
    IID iid{};
    if (point.p) {
        EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    }
    return iid;
}

TEST_F(BusClient, ServerAndGroupListTheirPointsAndTakeAShutdownSink) {
    Connect();
    Ref<IConnectionPoint> shutdownPoint;
    EXPECT_EQ(EnumeratedPoint(server.p, shutdownPoint), IID_IOPCShutdown);
    ShutdownSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(shutdownPoint->Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    EXPECT_EQ(shutdownPoint->Unadvise(cookie), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return sink.refs == 1; })) << "the server let the sink go";

    Ref<IUnknown> group;
    AddGroup(group, {u"Flag"});
    Ref<IConnectionPoint> dataPoint;
    EXPECT_EQ(EnumeratedPoint(group.p, dataPoint), IID_IOPCDataCallback);
}

}  // namespace
}  // namespace corvane::test
