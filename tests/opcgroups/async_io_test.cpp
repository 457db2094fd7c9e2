// Asynchronous I/O of both interface versions: the checks made during the call, the
// tasks queued and what they deliver, cancellation, and tasks of removed groups.
#include "subscription_fixture.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

using AsyncIO = Subscriptions;

TEST_F(AsyncIO, ConnectingACallbackRefreshesFromTheDeviceOnce) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Num"});
    AddItems(g.Get(), {"Bool2"}, FALSE);
    Pump();
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    EXPECT_EQ(Impl(g.Get()).Tasks().size(), 1u);
    Server->Items["Num"].Value = MakeI2(9);
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Calls[0].transaction, 0u);
    EXPECT_EQ(cb.Calls[0].handles, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(cb.Calls[0].values[1]->iVal, 9) << "read from the device when the task ran";
    Disconnect(g.Get());
}

TEST_F(AsyncIO, Da2ReadReportsAnInvalidHandleInTheCompletionNotTheCall) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool2", "Num"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    cb.Calls.clear();
    OPCHANDLE handles[] = {h[1], 0xBAD, h[0]};
    DWORD cancel = kSentinel;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async2(g.Get())->Read(3, handles, 55, &cancel, &errors), S_OK);
    EXPECT_EQ(errors.p, nullptr);
    EXPECT_NE(cancel, 0u);
    EXPECT_TRUE(cb.Calls.empty());
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u);
    const CallbackCall& call = cb.Calls[0];
    EXPECT_EQ(call.kind, CallbackCall::ReadComplete);
    EXPECT_EQ(call.transaction, 55u);
    EXPECT_EQ(call.handles, (std::vector<OPCHANDLE>{101, 0, 100}));
    EXPECT_EQ(call.errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, S_OK}));
    EXPECT_EQ(call.masterError, S_FALSE);
    EXPECT_EQ(call.masterQuality, S_FALSE) << "the failed entry has no good quality";
    EXPECT_EQ(call.values[0]->iVal, 7);
    Disconnect(g.Get());
}

TEST_F(AsyncIO, Da2WriteCompletesWithPerItemErrors) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "ReadOnly"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    cb.Calls.clear();
    platform::Variant values[2] = {MakeI2(1), MakeBool(false)};
    VARIANT raw[2] = {values[0].Get(), values[1].Get()};
    DWORD cancel = 0;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async2(g.Get())->Write(2, h.data(), raw, 66, &cancel, &errors), S_OK);
    EXPECT_TRUE(Server->Written.empty()) << "nothing is written before the task runs";
    Pump();
    ASSERT_EQ(Server->Written.size(), 1u);
    EXPECT_EQ(Server->Written[0].second->vt, VT_BOOL) << "converted to the canonical type";
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Calls[0].kind, CallbackCall::WriteComplete);
    EXPECT_EQ(cb.Calls[0].transaction, 66u);
    EXPECT_EQ(cb.Calls[0].masterError, S_FALSE);
    EXPECT_EQ(cb.Calls[0].errors, (std::vector<HRESULT>{S_OK, OPC_E_BADRIGHTS}));
    EXPECT_EQ(cb.Calls[0].handles, (std::vector<OPCHANDLE>{100, 101}));
    Disconnect(g.Get());
}

TEST_F(AsyncIO, Da2WriteKeepsItsOwnCopyOfByReferenceValues) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Num"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    DWORD cancel = 0;
    TaskMem<HRESULT> errors;
    {
        SHORT n = 12;
        VARIANT byRef;
        VariantInit(&byRef);
        byRef.vt = VT_I2 | VT_BYREF;
        byRef.piVal = &n;
        ASSERT_EQ(Async2(g.Get())->Write(1, h.data(), &byRef, 1, &cancel, &errors), S_OK);
        n = 99;  // the client's storage changes (or goes) after the call
    }
    Pump();
    ASSERT_EQ(Server->Written.size(), 1u);
    EXPECT_EQ(Server->Written[0].second->iVal, 12);
    Disconnect(g.Get());
}

TEST_F(AsyncIO, Da1ReadWithAnInvalidHandleIsRefusedWithTheErrorsAndQueuesNothing) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Num"});
    TestAdviseSink& sink = Sink();
    ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    Pump();
    sink.Calls.clear();
    OPCHANDLE handles[] = {h[0], 0xBAD, h[1]};
    DWORD transaction = kSentinel;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async1(g.Get())->Read(0, OPC_DS_DEVICE, 3, handles, &transaction, &errors), S_FALSE);
    EXPECT_EQ(transaction, 0u);
    ASSERT_NE(errors.p, nullptr);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(errors[2], S_OK);
    EXPECT_EQ(PendingServerTasks(), 0u);
    Pump();
    EXPECT_TRUE(sink.Calls.empty());
    Data(g.Get())->DUnadvise(0);
}

TEST_F(AsyncIO, Da1ReadStreamsTheValuesWithTheTransactionId) {
    auto g = AddGroup("G", 100, FALSE);
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Num", "Bool2"});
    TestAdviseSink& sink = Sink();
    ASSERT_EQ(Advise(g.Get(), sink, 1), S_OK);
    DWORD transaction = 0;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async1(g.Get())->Read(1, OPC_DS_CACHE, 2, h.data(), &transaction, &errors), S_OK);
    EXPECT_EQ(errors.p, nullptr);
    Pump();
    ASSERT_EQ(sink.Calls.size(), 1u) << "a DA 1.0 read does not look at the group's active flag";
    const StreamCall& s = sink.Calls[0];
    EXPECT_EQ(s.format.cfFormat, StreamFormatId(1));
    EXPECT_EQ(s.At<DWORD>(4), 2u);
    EXPECT_EQ(s.At<DWORD>(8), 77u);
    EXPECT_EQ(s.At<DWORD>(12), transaction);
    EXPECT_EQ(s.At<HRESULT>(16), S_OK);
    EXPECT_EQ(s.At<DWORD>(20), 100u);
    EXPECT_EQ(s.At<WORD>(28), OPC_QUALITY_GOOD);
    EXPECT_EQ(s.At<SHORT>(s.At<DWORD>(24) + 8), 7);
    Data(g.Get())->DUnadvise(1);
}

TEST_F(AsyncIO, Da1WriteCompletesOnTheWriteCompleteSinkWhateverConnectionWasNamed) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "ReadOnly"});
    TestAdviseSink& plain = Sink();
    TestAdviseSink& writes = Sink();
    ASSERT_EQ(Advise(g.Get(), plain, 0), S_OK);
    ASSERT_EQ(Advise(g.Get(), writes, 2), S_OK);
    Pump();
    plain.Calls.clear();
    platform::Variant values[2] = {MakeBool(true), MakeBool(true)};
    VARIANT raw[2] = {values[0].Get(), values[1].Get()};
    DWORD transaction = 0;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async1(g.Get())->Write(0, 2, h.data(), raw, &transaction, &errors), S_OK);
    Pump();
    EXPECT_TRUE(plain.Calls.empty());
    ASSERT_EQ(writes.Calls.size(), 1u);
    const StreamCall& s = writes.Calls[0];
    EXPECT_EQ(s.format.cfFormat, StreamFormatId(2));
    ASSERT_EQ(s.bytes.size(), 16u + 2 * 8);
    EXPECT_EQ(s.At<DWORD>(0), 2u);
    EXPECT_EQ(s.At<DWORD>(4), 77u);
    EXPECT_EQ(s.At<DWORD>(8), transaction);
    EXPECT_EQ(s.At<HRESULT>(12), S_FALSE) << "one item failed";
    EXPECT_EQ(s.At<DWORD>(16), 100u);
    EXPECT_EQ(s.At<HRESULT>(20), S_OK);
    EXPECT_EQ(s.At<DWORD>(24), 101u);
    EXPECT_EQ(s.At<HRESULT>(28), OPC_E_BADRIGHTS);
    // Without a write-complete sink the writes are done and nothing is delivered.
    Data(g.Get())->DUnadvise(2);
    ASSERT_EQ(Async1(g.Get())->Write(0, 1, h.data(), raw, &transaction, &errors), S_OK);
    Pump();
    EXPECT_EQ(Server->Written.size(), 2u);
    EXPECT_EQ(writes.Calls.size(), 1u);
    Data(g.Get())->DUnadvise(0);
}

TEST_F(AsyncIO, CancelledTasksNeverRunAndCannotBeCancelledTwice) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    cb.Calls.clear();
    auto async = Async2(g.Get());
    DWORD first = 0, second = 0;
    ASSERT_EQ(async->Refresh2(OPC_DS_CACHE, 1, &first), S_OK);
    ASSERT_EQ(async->Refresh2(OPC_DS_CACHE, 2, &second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(async->Cancel2(first), S_OK);
    EXPECT_EQ(async->Cancel2(first), E_FAIL);
    EXPECT_EQ(async->Cancel2(0), E_FAIL);
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u);
    EXPECT_EQ(cb.Calls[0].transaction, 2u);
    EXPECT_EQ(cb.CancelCompletes, 0);
    EXPECT_EQ(async->Cancel2(second), E_FAIL) << "already run";
    Disconnect(g.Get());
}

TEST_F(AsyncIO, ATaskOfAnotherGroupCannotBeCancelled) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    AddItems(a.Get(), {"Bool1"});
    TestAdviseSink& sink = Sink();
    ASSERT_EQ(Advise(a.Get(), sink, 0), S_OK);
    DWORD transaction = 0;
    ASSERT_EQ(Async1(a.Get())->Refresh(0, OPC_DS_CACHE, &transaction), S_OK);
    EXPECT_EQ(Async1(b.Get())->Cancel(transaction), E_FAIL);
    EXPECT_EQ(Async1(a.Get())->Cancel(transaction), S_OK);
    Data(a.Get())->DUnadvise(0);
}

TEST_F(AsyncIO, RemovingAGroupDestroysItsQueuedTasksUnrun) {
    OPCHANDLE handle = 0;
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    {
        auto g = AddGroup("G", 100, TRUE, &handle);
        std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1"});
        Connect(g.Get(), cb);
        ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
        DWORD id = 0;
        TaskMem<HRESULT> errors;
        ASSERT_EQ(Async2(g.Get())->Read(1, h.data(), 3, &id, &errors), S_OK);
        ASSERT_EQ(Async1(g.Get())->Refresh(0, OPC_DS_DEVICE, &id), S_OK);
        EXPECT_EQ(PendingServerTasks(), 4u);
    }
    ASSERT_EQ(Host->List.RemoveGroup(handle, FALSE), S_OK);
    const int reads = Server->ValueCalls;
    Pump();
    EXPECT_EQ(PendingServerTasks(), 0u);
    EXPECT_TRUE(cb.Calls.empty());
    EXPECT_TRUE(sink.Calls.empty());
    EXPECT_EQ(Server->ValueCalls, reads);
}

TEST_F(AsyncIO, AlwaysReturnErrorsHandsOutAnArrayOfSuccessesForAcceptedRequests) {
    Server->Opts = TServerOptions{TServerOption::soAlwaysReturnErrors};
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Num"});
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    DWORD id = 0;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async2(g.Get())->Read(2, h.data(), 1, &id, &errors), S_OK);
    ASSERT_NE(errors.p, nullptr);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], S_OK);
    Pump();
    Disconnect(g.Get());
}

TEST_F(AsyncIO, RefreshNeedsAnActiveGroupWithActiveItems) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1"}, FALSE);
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    Connect(g.Get(), cb);
    ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    EXPECT_EQ(PendingServerTasks(), 0u) << "the initial refreshes found no active item";
    DWORD id = kSentinel;
    EXPECT_EQ(Async2(g.Get())->Refresh2(OPC_DS_CACHE, 1, &id), E_FAIL);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(Impl(g.Get()).Tasks().empty());
    platform::ComPtr<IOPCGroupStateMgt> state;
    g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
    BOOL inactive = FALSE;
    state->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr);
    id = kSentinel;
    EXPECT_EQ(Async1(g.Get())->Refresh(0, OPC_DS_CACHE, &id), E_FAIL);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(PendingServerTasks(), 0u);
    Data(g.Get())->DUnadvise(0);
    Disconnect(g.Get());
}

// Request-time checks, in the order the calls make them; the out ids are 0 and the error
// arrays null after every refusal.
struct RequestCase {
    const char* name;
    bool callback;  // a DA 2.0 callback is connected
    bool sink;      // a DA 1.0 sink is advised on connection 0
    bool removed;   // the group was removed while referenced
    HRESULT (*call)(IUnknown* group, OPCHANDLE valid, DWORD* id, HRESULT** errors);
    HRESULT expected;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << c.name;
}

class RequestChecks : public Subscriptions, public ::testing::WithParamInterface<RequestCase> {};

IOPCAsyncIO2* A2(IUnknown* g) {
    IOPCAsyncIO2* a = nullptr;
    g->QueryInterface(IID_IOPCAsyncIO2, reinterpret_cast<void**>(&a));
    a->Release();  // the test's own reference keeps the group
    return a;
}
IOPCAsyncIO* A1(IUnknown* g) {
    IOPCAsyncIO* a = nullptr;
    g->QueryInterface(IID_IOPCAsyncIO, reinterpret_cast<void**>(&a));
    a->Release();
    return a;
}
VARIANT gValue{};

TEST_P(RequestChecks, RefuseWithTheirCodeAndQueueNothing) {
    const RequestCase& c = GetParam();
    OPCHANDLE group = 0;
    auto g = AddGroup("G", 100, TRUE, &group);
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1"});
    TestDataCallback& cb = Callback();
    TestAdviseSink& sink = Sink();
    if (c.callback) Connect(g.Get(), cb);
    if (c.sink) {
        ASSERT_EQ(Advise(g.Get(), sink, 0), S_OK);
    }
    Pump();
    if (c.removed) {
        ASSERT_EQ(Host->List.RemoveGroup(group, FALSE), OPC_S_INUSE);
    }
    DWORD id = kSentinel;
    TaskMem<HRESULT> errors;
    EXPECT_EQ(c.call(g.Get(), h[0], &id, &errors.p), c.expected);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(errors.p, nullptr);
    EXPECT_EQ(PendingServerTasks(), 0u);
    if (!c.removed) {
        if (c.sink) Data(g.Get())->DUnadvise(0);
        if (c.callback) Disconnect(g.Get());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestChecks,
    ::testing::Values(RequestCase{"Read2WithoutCallback", false, false, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A2(g)->Read(1, &h, 0, id, e);
                                  },
                                  CONNECT_E_NOCONNECTION},
                      RequestCase{"Read2OfARemovedGroup", true, false, true,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A2(g)->Read(1, &h, 0, id, e);
                                  },
                                  E_FAIL},
                      RequestCase{"Read2OfNoItems", true, false, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A2(g)->Read(0, &h, 0, id, e);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Read2WithoutHandles", true, false, false,
                                  [](IUnknown* g, OPCHANDLE, DWORD* id, HRESULT** e) {
                                      return A2(g)->Read(1, nullptr, 0, id, e);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Write2WithoutValues", true, false, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A2(g)->Write(1, &h, nullptr, 0, id, e);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Refresh2FromSourceThree", true, false, false,
                                  [](IUnknown* g, OPCHANDLE, DWORD* id, HRESULT** e) {
                                      *e = nullptr;  // a refresh has no error array
                                      return A2(g)->Refresh2(static_cast<OPCDATASOURCE>(3), 0, id);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Refresh2WithoutCallback", false, false, false,
                                  [](IUnknown* g, OPCHANDLE, DWORD* id, HRESULT** e) {
                                      *e = nullptr;  // a refresh has no error array
                                      return A2(g)->Refresh2(OPC_DS_CACHE, 0, id);
                                  },
                                  CONNECT_E_NOCONNECTION},
                      RequestCase{"Read1OnAConnectionWithoutSink", false, true, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A1(g)->Read(1, OPC_DS_CACHE, 1, &h, id, e);
                                  },
                                  CONNECT_E_NOCONNECTION},
                      RequestCase{"Read1OnConnectionThree", false, true, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A1(g)->Read(3, OPC_DS_CACHE, 1, &h, id, e);
                                  },
                                  CONNECT_E_NOCONNECTION},
                      RequestCase{"Read1CountIsCheckedBeforeTheConnection", false, false, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A1(g)->Read(0, OPC_DS_CACHE, 0, &h, id, e);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Read1FromSourceZero", false, true, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A1(g)->Read(0, static_cast<OPCDATASOURCE>(0), 1, &h,
                                                         id, e);
                                  },
                                  E_INVALIDARG},
                      RequestCase{"Write1WithoutSink", false, false, false,
                                  [](IUnknown* g, OPCHANDLE h, DWORD* id, HRESULT** e) {
                                      return A1(g)->Write(0, 1, &h, &gValue, id, e);
                                  },
                                  CONNECT_E_NOCONNECTION},
                      RequestCase{"Refresh1OfARemovedGroup", false, true, true,
                                  [](IUnknown* g, OPCHANDLE, DWORD* id, HRESULT** e) {
                                      *e = nullptr;  // a refresh has no error array
                                      return A1(g)->Refresh(0, OPC_DS_CACHE, id);
                                  },
                                  E_FAIL},
                      RequestCase{"Refresh1WithNullId", false, true, false,
                                  [](IUnknown* g, OPCHANDLE, DWORD* id, HRESULT** e) {
                                      *e = nullptr;
                                      *id = 0;
                                      return A1(g)->Refresh(0, OPC_DS_CACHE, nullptr);
                                  },
                                  E_INVALIDARG}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
