// The update cycle: what a tick reports, to whom and in which order, change detection
// (quality, deadband, arrays), callback failures, IDataObject and sink lifetimes.
#include "subscription_fixture.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

using UpdateCycle = Subscriptions;

TEST_F(UpdateCycle, OneTickReportsToTheCallbackThenTheUntimedThenTheTimedStream) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    TestAdviseSink& plain = Sink();
    TestAdviseSink& timed = Sink();
    std::vector<std::string> order;
    cb.During = [&] { order.push_back("callback"); };
    plain.During = [&] { order.push_back("plain"); };
    timed.During = [&] { order.push_back("timed"); };
    // Subscribed before there are items: the initial refreshes have nothing to send.
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), timed, 1), S_OK);
    ASSERT_EQ(Advise(g.Get(), plain, 0), S_OK);
    Pump();
    ASSERT_TRUE(order.empty());
    AddItems(g.Get(), {"Bool1", "Num"});

    Tick();
    EXPECT_EQ(order, (std::vector<std::string>{"callback", "plain", "timed"}));
    ASSERT_EQ(cb.Calls.size(), 1u);
    const CallbackCall& call = cb.Calls[0];
    EXPECT_EQ(call.kind, CallbackCall::DataChange);
    EXPECT_EQ(call.transaction, 0u);
    EXPECT_EQ(call.group, 77u);
    EXPECT_EQ(call.masterQuality, S_OK);
    EXPECT_EQ(call.masterError, S_OK);
    EXPECT_EQ(call.handles, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(call.values[0]->vt, VT_BOOL);
    EXPECT_EQ(call.values[1]->iVal, 7);
    EXPECT_EQ(call.qualities, (std::vector<WORD>{OPC_QUALITY_GOOD, OPC_QUALITY_GOOD}));
    EXPECT_EQ(call.errors, (std::vector<HRESULT>{S_OK, S_OK}));
    // 20-byte group header, two item headers, two 16-byte VARIANT records.
    ASSERT_EQ(plain.Calls.size(), 1u);
    EXPECT_EQ(plain.Calls[0].bytes.size(), 20u + 2 * 12 + 2 * 16);
    EXPECT_EQ(plain.Calls[0].format.cfFormat, StreamFormatId(0));
    ASSERT_EQ(timed.Calls.size(), 1u);
    EXPECT_EQ(timed.Calls[0].bytes.size(), 20u + 2 * 20 + 2 * 16);
    EXPECT_EQ(timed.Calls[0].format.cfFormat, StreamFormatId(1));
    EXPECT_NE(platform::FileTimeToU64(Host->LastUpdateTime), 0u);

    // Primed values are reported once, and nothing is sent while nothing changes.
    Tick();
    Tick();
    EXPECT_EQ(order.size(), 3u);
    Server->Items["Num"].Value = MakeI2(8);
    Tick();
    ASSERT_EQ(cb.Calls.size(), 2u);
    EXPECT_EQ(cb.Calls[1].handles, (std::vector<OPCHANDLE>{101}));
    EXPECT_EQ(plain.Calls.size(), 2u);
    Data(g.Get())->DUnadvise(0);
    Data(g.Get())->DUnadvise(1);
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, StreamsAreHandedOverAsAGlobalBlockThatIsFreedAfterTheCall) {
    auto g = AddGroup("G");
    TestAdviseSink& sink = Sink();
    ASSERT_EQ(Advise(g.Get(), sink, 1), S_OK);
    AddItems(g.Get(), {"Bool2"});
    Tick();
    ASSERT_EQ(sink.Calls.size(), 1u);
    const StreamCall& call = sink.Calls[0];
    EXPECT_EQ(call.format.ptd, nullptr);
    EXPECT_EQ(call.format.dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(call.format.lindex, -1);
    EXPECT_EQ(call.format.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(call.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(call.unkForRelease, nullptr);
    EXPECT_EQ(GlobalSize(call.handle), 0u) << "the block outlived the call";
    Data(g.Get())->DUnadvise(1);
}

TEST_F(UpdateCycle, WithCallbacksDisabledTicksStillStreamAndClearChangesAndRefreshesArrive) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    AddItems(g.Get(), {"Bool1"});
    auto async = Async2(g.Get());
    ASSERT_EQ(async->SetEnable(FALSE), S_OK);
    BOOL enabled = TRUE;
    EXPECT_EQ(async->GetEnable(&enabled), S_OK);
    EXPECT_EQ(enabled, FALSE);
    Tick();
    EXPECT_TRUE(cb.Calls.empty());
    EXPECT_EQ(sink.Calls.size(), 1u);
    ASSERT_EQ(async->SetEnable(TRUE), S_OK);
    Tick();
    EXPECT_TRUE(cb.Calls.empty()) << "a change seen while disabled is not replayed";
    ASSERT_EQ(async->SetEnable(FALSE), S_OK);
    DWORD cancel = 0;
    ASSERT_EQ(async->Refresh2(OPC_DS_CACHE, 42, &cancel), S_OK);
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Calls[0].transaction, 42u);
    Data(g.Get())->DUnadvise(0);
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, AChangeOfQualityAloneIsReported) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Num"});
    Tick();
    Server->Items["Num"].Quality = OPC_QUALITY_OUT_OF_SERVICE;
    Tick();
    ASSERT_EQ(cb.Calls.size(), 2u);
    EXPECT_EQ(cb.Calls[1].qualities[0], OPC_QUALITY_OUT_OF_SERVICE);
    EXPECT_EQ(cb.Calls[1].masterQuality, S_FALSE);
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, DeadbandHidesAChangeOfExactlyTheThresholdButNotOneBeyond) {
    static FakeEU eu(0.0, 200.0);  // outlives the groups, which the fixture ends
    Server->Add("Level", 11, 3, MakeR8(100.0));
    Server->EU["Level"] = &eu;
    auto g = AddGroup("G");
    FLOAT deadband = 10.0f;
    platform::ComPtr<IOPCGroupStateMgt> state;
    g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
    ASSERT_EQ(state->SetState(nullptr, nullptr, nullptr, nullptr, &deadband, nullptr, nullptr),
              S_OK);
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Level"});
    Tick();
    ASSERT_EQ(cb.Calls.size(), 1u);
    TGroupItemImpl& item = *Impl(g.Get()).GroupItems()[0];
    const std::uint64_t stamped = platform::FileTimeToU64(item.CachedTime);
    Server->Items["Level"].Value = MakeR8(120.0);  // 10 % of 0..200
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(item.CachedValue->dblVal, 100.0);
    EXPECT_GT(platform::FileTimeToU64(item.CachedTime), stamped) << "confirmed, not stored";
    Server->Items["Level"].Value = MakeR8(120.5);
    Tick();
    ASSERT_EQ(cb.Calls.size(), 2u);
    EXPECT_EQ(cb.Calls[1].values[0]->dblVal, 120.5);
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, ATwoDimensionalArrayIsReportedOnEveryTick) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    platform::Variant matrix;
    matrix->vt = VT_ARRAY | VT_I2;
    matrix->parray = SafeArrayCreate(VT_I2, 2, bounds);
    Server->Add("Matrix", 12, 3, matrix);
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Matrix"});
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(cb.Calls.size(), 3u);
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, AnInactiveGroupNeitherPollsNorReports) {
    auto g = AddGroup("G", 100, FALSE);
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Bool1"});
    const int reads = Server->ValueCalls;
    Tick();
    EXPECT_EQ(Server->ValueCalls, reads);
    EXPECT_TRUE(cb.Calls.empty());
    Disconnect(g.Get());
}

TEST_F(UpdateCycle, APollingErrorEndsTheTickAndReachesHandleException) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Bool1", "Num"});
    Tick();
    Server->FailRead.insert(5);
    Server->Items["Bool1"].Value = MakeBool(true);
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(Server->Exceptions.size(), 1u);
    Server->FailRead.clear();
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u) << "the change polled in the failed tick is not replayed";
    Disconnect(g.Get());
}

// Failing sinks, as a client in trouble (or a broken connection to one) makes them.
struct FailureCase {
    const char* name;
    bool callbackFails;
    bool callbackThrows;
    bool sinkThrows;
    std::vector<TCallbackKind> kinds;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class CallbackFailures : public Subscriptions, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CallbackFailures, ReachCallbackFailedWithTheirKindAndNeverStopTheGroup) {
    const FailureCase& c = GetParam();
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    cb.Result = c.callbackFails ? RPC_E_SERVERFAULT : S_OK;
    cb.Throw = c.callbackThrows;
    sink.Throw = c.sinkThrows;
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    AddItems(g.Get(), {"Bool1"});
    Tick();
    Server->Items["Bool1"].Value = MakeBool(true);
    Tick();
    EXPECT_EQ(cb.Calls.size(), 2u);
    EXPECT_EQ(sink.Calls.size(), 2u);
    std::vector<TCallbackKind> kinds;
    for (const auto& f : Server->Failures) {
        kinds.push_back(f.Kind);
        EXPECT_TRUE(FAILED(f.Code));
        EXPECT_EQ(f.Group, &Impl(g.Get()));
    }
    std::vector<TCallbackKind> expected;
    for (int tick = 0; tick < 2; ++tick)
        expected.insert(expected.end(), c.kinds.begin(), c.kinds.end());
    EXPECT_EQ(kinds, expected);
    const bool stamped = platform::FileTimeToU64(Host->LastUpdateTime) != 0;
    EXPECT_EQ(stamped, !c.callbackFails && !c.callbackThrows);
    Data(g.Get())->DUnadvise(0);
    Disconnect(g.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Sinks, CallbackFailures,
    ::testing::Values(
        FailureCase{"CallbackReturnsAnRpcError", true, false, false, {TCallbackKind::DataChange}},
        FailureCase{"CallbackThrows", false, true, false, {TCallbackKind::DataChange}},
        FailureCase{"StreamSinkThrows", false, false, true, {TCallbackKind::DataStream}},
        FailureCase{
            "BothFail", true, false, true, {TCallbackKind::DataChange, TCallbackKind::DataStream}}),
    [](const auto& info) { return std::string(info.param.name); });

// DAdvise's checks, in order, each leaving the connection id at its sentinel.
struct AdviseCase {
    const char* name;
    void (*change)(FORMATETC&);
    HRESULT expected;
};

void PrintTo(const AdviseCase& c, std::ostream* os) {
    *os << c.name;
}

class DAdviseChecks : public Subscriptions, public ::testing::WithParamInterface<AdviseCase> {};

TEST_P(DAdviseChecks, RefuseTheFormatAndKeepNoSink) {
    auto g = AddGroup("G");
    TestAdviseSink& sink = Sink();
    FORMATETC f = StreamFormat(0);
    GetParam().change(f);
    DWORD id = 7;
    EXPECT_EQ(Data(g.Get())->DAdvise(&f, 0, &sink, &id), GetParam().expected);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    EXPECT_EQ(sink.Refs, 1u);
}

DVTARGETDEVICE gDevice{};

INSTANTIATE_TEST_SUITE_P(
    Formats, DAdviseChecks,
    ::testing::Values(
        AdviseCase{"LindexNotMinusOne", [](FORMATETC& f) { f.lindex = 0; }, DV_E_LINDEX},
        AdviseCase{"BadLindexIsCheckedBeforeTheAspect",
                   [](FORMATETC& f) {
                       f.lindex = 3;
                       f.dwAspect = DVASPECT_ICON;
                   },
                   DV_E_LINDEX},
        AdviseCase{"AspectNotContent", [](FORMATETC& f) { f.dwAspect = DVASPECT_ICON; },
                   DV_E_FORMATETC},
        AdviseCase{"TargetDeviceGiven", [](FORMATETC& f) { f.ptd = &gDevice; }, DV_E_FORMATETC},
        AdviseCase{"MediumNotGlobalMemory", [](FORMATETC& f) { f.tymed = TYMED_ISTREAM; },
                   DV_E_FORMATETC},
        AdviseCase{"UnregisteredFormat", [](FORMATETC& f) { f.cfFormat = 1; }, DV_E_FORMATETC},
        AdviseCase{"FormatZero", [](FORMATETC& f) { f.cfFormat = 0; }, DV_E_FORMATETC}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateCycle, OneSinkPerFormatAndUnadviseOnlyWhatIsAdvised) {
    auto g = AddGroup("G");
    auto data = Data(g.Get());
    TestAdviseSink& first = Sink();
    TestAdviseSink& second = Sink();
    ASSERT_EQ(Advise(g.Get(), first, 2), S_OK);
    EXPECT_EQ(first.Refs, 2u);
    EXPECT_EQ(Advise(g.Get(), second, 2), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(second.Refs, 1u);
    EXPECT_EQ(data->DUnadvise(3), OLE_E_NOCONNECTION);
    EXPECT_EQ(data->DUnadvise(0), OLE_E_NOCONNECTION);
    EXPECT_EQ(data->DUnadvise(2), S_OK);
    EXPECT_EQ(first.Refs, 1u);
    EXPECT_EQ(data->DUnadvise(2), OLE_E_NOCONNECTION);
    EXPECT_EQ(Advise(g.Get(), second, 2), S_OK);
    EXPECT_EQ(data->DUnadvise(2), S_OK);
}

TEST_F(UpdateCycle, TheDataObjectRendersNothingOnRequest) {
    auto g = AddGroup("G");
    auto data = Data(g.Get());
    FORMATETC f = StreamFormat(0);
    STGMEDIUM m{};
    EXPECT_EQ(data->GetData(&f, &m), E_NOTIMPL);
    EXPECT_EQ(data->GetDataHere(&f, &m), E_NOTIMPL);
    EXPECT_EQ(data->QueryGetData(&f), E_NOTIMPL);
    FORMATETC out{};
    EXPECT_EQ(data->GetCanonicalFormatEtc(&f, &out), E_NOTIMPL);
    EXPECT_EQ(data->SetData(&f, &m, FALSE), E_NOTIMPL);
    auto* formats = reinterpret_cast<IEnumFORMATETC*>(static_cast<std::uintptr_t>(kSentinel));
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), E_NOTIMPL);
    EXPECT_EQ(formats, nullptr);
    auto* adv = reinterpret_cast<IEnumSTATDATA*>(static_cast<std::uintptr_t>(kSentinel));
    EXPECT_EQ(data->EnumDAdvise(&adv), E_NOTIMPL);
    EXPECT_EQ(adv, nullptr);
}

TEST_F(UpdateCycle, AdvisingTheWriteCompleteFormatRefreshesTheUntimedSink) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Num"});
    TestAdviseSink& plain = Sink();
    TestAdviseSink& writes = Sink();
    ASSERT_EQ(Advise(g.Get(), plain, 0), S_OK);
    Pump();
    ASSERT_EQ(plain.Calls.size(), 1u) << "the initial refresh of the new sink";
    ASSERT_EQ(Advise(g.Get(), writes, 2), S_OK);
    Pump();
    ASSERT_EQ(plain.Calls.size(), 2u);
    EXPECT_EQ(plain.Calls[1].format.cfFormat, StreamFormatId(0));
    EXPECT_NE(plain.Calls[1].At<DWORD>(12), 0u) << "a refresh carries its transaction id";
    EXPECT_TRUE(writes.Calls.empty());
    Data(g.Get())->DUnadvise(0);
    Data(g.Get())->DUnadvise(2);
}

TEST_F(UpdateCycle, SinkReferencesAreDroppedByUnadviseAndByRemovalOfTheGroup) {
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    OPCHANDLE handle = 0;
    {
        auto g = AddGroup("G", 100, TRUE, &handle);
        Connect(g.Get(), cb);
        EXPECT_EQ(cb.Refs, 3u) << "the connection point's and the group's callback reference";
        EXPECT_EQ(Disconnect(g.Get()), S_OK);
        EXPECT_EQ(cb.Refs, 1u);
        Connect(g.Get(), cb);
        ASSERT_EQ(Advise(g.Get(), sink, 1), S_OK);
        EXPECT_EQ(sink.Refs, 2u);
    }
    ASSERT_EQ(Host->List.RemoveGroup(handle, FALSE), S_OK);
    EXPECT_EQ(cb.Refs, 1u);
    EXPECT_EQ(sink.Refs, 1u);
}

}  // namespace
