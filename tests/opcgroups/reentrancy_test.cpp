// Clients calling back into the server from inside their callbacks: removing or
// releasing the group, unadvising, cancelling, reading, removing items and pumping the
// message queue. Run under the sanitizers, these show any use of a freed object.
#include "subscription_fixture.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

using Reentrancy = Subscriptions;

TEST_F(Reentrancy, RemovingTheGroupByForceInsideOnDataChangeStopsTheRestOfTheTick) {
    OPCHANDLE handle = 0;
    auto g = AddGroup("G", 100, TRUE, &handle);
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    Pump();
    AddItems(g.Get(), {"Bool1", "Num"});
    cb.During = [&] { EXPECT_EQ(Host->List.RemoveGroup(handle, TRUE), S_OK); };
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
    EXPECT_TRUE(sink.Calls.empty()) << "no stream from a removed group";
    EXPECT_EQ(cb.Refs, 1u);
    EXPECT_EQ(sink.Refs, 1u);
    cb.During = nullptr;
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
    platform::ComPtr<IOPCGroupStateMgt> state;
    EXPECT_EQ(g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid()), S_OK);
    DWORD rate = 0;
    EXPECT_EQ(state->SetState(nullptr, &rate, nullptr, nullptr, nullptr, nullptr, nullptr),
              kGroupGone);
}

TEST_F(Reentrancy, ReleasingTheLastReferenceInsideOnDataChangeDestroysTheGroupAfterwards) {
    OPCHANDLE handle = 0;
    auto g = AddGroup("G", 100, TRUE, &handle);
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 1), S_OK);
    AddItems(g.Get(), {"Bool1"});
    Pump();
    cb.Calls.clear();
    sink.Calls.clear();
    ASSERT_EQ(Host->List.RemoveGroup(handle, FALSE), OPC_S_INUSE);
    Server->Items["Bool1"].Value = MakeBool(true);
    Server->Calls.clear();
    cb.During = [&] { g.Reset(); };
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
    EXPECT_TRUE(sink.Calls.empty());
    EXPECT_EQ(Server->Count("GroupRemoved"), 1);
    EXPECT_EQ(cb.Refs, 1u);
    EXPECT_EQ(sink.Refs, 1u);
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
}

TEST_F(Reentrancy, UnadvisingInsideOnDataChangeKeepsTheSinkAliveForTheCall) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Bool1"});
    cb.During = [&] {
        EXPECT_EQ(Disconnect(g.Get()), S_OK);
        EXPECT_GE(cb.Refs, 2u) << "the server still holds the sink it is calling";
    };
    Tick();
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Refs, 1u);
    Server->Items["Bool1"].Value = MakeBool(true);
    Tick();
    EXPECT_EQ(cb.Calls.size(), 1u);
}

TEST_F(Reentrancy, CancellingTheNextTaskInsideOnReadCompleteKeepsItFromRunning) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    cb.Calls.clear();
    auto async = Async2(g.Get());
    DWORD first = 0, second = 0;
    TaskMem<HRESULT> e1, e2;
    ASSERT_EQ(async->Read(1, h.data(), 1, &first, &e1), S_OK);
    ASSERT_EQ(async->Read(1, h.data(), 2, &second, &e2), S_OK);
    cb.During = [&] { EXPECT_EQ(async->Cancel2(second), S_OK); };
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Calls[0].transaction, 1u);
    EXPECT_EQ(PendingServerTasks(), 0u);
    cb.During = nullptr;
    Disconnect(g.Get());
}

TEST_F(Reentrancy, ASyncReadInsideOnDataChangeSeesTheSameValues) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Num"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Tick();  // reports the primed value
    Server->Items["Num"].Value = MakeI2(40);
    platform::ComPtr<IOPCSyncIO> io;
    g->QueryInterface(IID_IOPCSyncIO, io.PutVoid());
    SHORT seen = 0;
    cb.During = [&] {
        TaskMem<OPCITEMSTATE> states;
        TaskMem<HRESULT> errors;
        ASSERT_EQ(io->Read(OPC_DS_DEVICE, 1, h.data(), &states, &errors), S_OK);
        seen = states[0].vDataValue.iVal;
    };
    Tick();
    EXPECT_EQ(seen, 40);
    EXPECT_EQ(cb.Calls.back().values[0]->iVal, 40);
    cb.During = nullptr;
    Disconnect(g.Get());
}

TEST_F(Reentrancy, ItemsRemovedInsideOnDataChangeAreLeftOutOfTheStreamsOfTheSameTick) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Num", "Bool2"});
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 1), S_OK);
    Pump();
    cb.Calls.clear();
    sink.Calls.clear();
    for (const char* id : {"Bool1", "Num", "Bool2"}) Server->Items[id].Value = MakeI2(3);
    cb.During = [&] {
        TaskMem<HRESULT> errors;
        OPCHANDLE doomed[] = {h[0], h[2]};
        EXPECT_EQ(g->RemoveItems(2, doomed, &errors), S_OK);
    };
    Tick();
    EXPECT_EQ(cb.Calls.at(0).handles.size(), 3u);
    ASSERT_EQ(sink.Calls.size(), 1u);
    EXPECT_EQ(sink.Calls[0].At<DWORD>(4), 1u);
    EXPECT_EQ(sink.Calls[0].At<DWORD>(20), 101u);
    cb.During = nullptr;
    Data(g.Get())->DUnadvise(1);
    Disconnect(g.Get());
}

TEST_F(Reentrancy, SinksMayUnadviseAndAdviseFromInsideTheirStream) {
    auto g = AddGroup("G");
    TestAdviseSink& plain = Sink();
    TestAdviseSink& timed = Sink();
    TestAdviseSink& late = Sink();
    ASSERT_EQ(Advise(g.Get(), plain, 0), S_OK);
    ASSERT_EQ(Advise(g.Get(), timed, 1), S_OK);
    AddItems(g.Get(), {"Bool1"});
    auto data = Data(g.Get());
    plain.During = [&] {
        EXPECT_EQ(data->DUnadvise(0), S_OK);
        EXPECT_EQ(data->DUnadvise(1), S_OK);
        EXPECT_EQ(Advise(g.Get(), late, 1), S_OK);
    };
    Tick();
    EXPECT_EQ(plain.Calls.size(), 1u);
    EXPECT_TRUE(timed.Calls.empty()) << "unadvised before its turn came";
    ASSERT_EQ(late.Calls.size(), 2u);
    EXPECT_EQ(late.Calls[0].At<DWORD>(12), 0u) << "advised before the tick's timed stream";
    EXPECT_NE(late.Calls[1].At<DWORD>(12), 0u) << "then its own initial refresh";
    EXPECT_EQ(plain.Refs, 1u);
    EXPECT_EQ(timed.Refs, 1u);
    EXPECT_EQ(data->DUnadvise(1), S_OK);
    EXPECT_EQ(late.Refs, 1u);
}

TEST_F(Reentrancy, RemovingTheGroupInsideACompletionDropsItsOtherTasks) {
    OPCHANDLE handle = 0;
    auto g = AddGroup("G", 100, TRUE, &handle);
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    cb.Calls.clear();
    DWORD id = 0;
    TaskMem<HRESULT> e1, e2;
    auto async = Async2(g.Get());
    ASSERT_EQ(async->Read(1, h.data(), 1, &id, &e1), S_OK);
    ASSERT_EQ(async->Read(1, h.data(), 2, &id, &e2), S_OK);
    cb.During = [&] { EXPECT_EQ(Host->List.RemoveGroup(handle, TRUE), S_OK); };
    Pump();
    EXPECT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(PendingServerTasks(), 0u);
}

TEST_F(Reentrancy, AClientPumpingMessagesInsideOnDataChangeGetsNoNestedTick) {
    auto g = AddGroup("G");
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    AddItems(g.Get(), {"Bool1"});
    Pump();
    cb.Calls.clear();
    int depth = 0, deepest = 0;
    cb.During = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        Server->Items["Bool1"].Value = MakeBool(cb.Calls.size() % 2 == 1);
        Advance(100);  // a modal loop inside the client lets time pass
        --depth;
    };
    Server->Items["Bool1"].Value = MakeBool(true);
    Tick();
    EXPECT_EQ(deepest, 1);
    cb.During = nullptr;
    Disconnect(g.Get());
}

}  // namespace
