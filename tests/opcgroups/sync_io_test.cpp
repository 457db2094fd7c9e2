// IOPCSyncIO: cache and device reads, the out-of-service quality, requested types,
// writes, argument checks and allocation failures.
#include <algorithm>
#include <string>
#include <vector>

#include "group_test_support.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class SyncIO : public GroupsTest {
  protected:
    platform::ComPtr<IOPCSyncIO> Io(IUnknown* g) {
        platform::ComPtr<IOPCSyncIO> io;
        EXPECT_EQ(g->QueryInterface(IID_IOPCSyncIO, io.PutVoid()), S_OK);
        return io;
    }
    // Reads one handle; returns the call's result and the entry's error.
    struct ReadResult {
        HRESULT hr;
        HRESULT error;
        OPCITEMSTATE state;
    };
    ReadResult ReadOne(IOPCSyncIO* io, OPCDATASOURCE source, OPCHANDLE h) {
        TaskMem<OPCITEMSTATE> states;
        TaskMem<HRESULT> errors;
        ReadResult r{io->Read(source, 1, &h, &states, &errors), E_UNEXPECTED, {}};
        if (errors.p) r.error = errors[0];
        if (states.p) {
            r.state = states[0];
            VariantInit(&states[0].vDataValue);
            Owned.push_back(platform::Variant::Adopt(r.state.vDataValue));
            r.state.vDataValue = Owned.back().Get();
        }
        return r;
    }
    std::vector<platform::Variant> Owned;
};

TEST_F(SyncIO, CacheReadOfAnInactiveItemIsOutOfService) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool2", "Num"}, TRUE);
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->SetActiveState(1, &h[0], FALSE, &errors), S_OK);
    auto io = Io(g.Get());
    Server->Items["Bool2"].Value = MakeBool(false);
    const int calls = Server->ValueCalls;
    ReadResult inactive = ReadOne(io.Get(), OPC_DS_CACHE, h[0]);
    EXPECT_EQ(inactive.hr, S_OK);
    EXPECT_EQ(inactive.state.wQuality, OPC_QUALITY_OUT_OF_SERVICE);
    EXPECT_EQ(inactive.state.vDataValue.boolVal, VARIANT_TRUE);  // the primed value
    EXPECT_EQ(inactive.state.hClient, 100u);
    ReadResult active = ReadOne(io.Get(), OPC_DS_CACHE, h[1]);
    EXPECT_EQ(active.state.wQuality, OPC_QUALITY_GOOD);
    EXPECT_EQ(active.state.vDataValue.iVal, 7);
    EXPECT_EQ(Server->ValueCalls, calls);
}

TEST_F(SyncIO, CacheReadOfAnInactiveGroupIsOutOfService) {
    auto g = AddGroup("G", 100, FALSE);
    OPCHANDLE h = AddItems(g.Get(), {"Num"}, TRUE)[0];
    ReadResult r = ReadOne(Io(g.Get()).Get(), OPC_DS_CACHE, h);
    EXPECT_EQ(r.state.wQuality, OPC_QUALITY_OUT_OF_SERVICE);
}

TEST_F(SyncIO, DeviceReadRefreshesTheCacheSilently) {
    auto g = AddGroup("G");
    OPCHANDLE h = AddItems(g.Get(), {"Num"}, FALSE)[0];
    Server->Items["Num"].Value = MakeI2(42);
    Server->Items["Num"].Quality = OPC_QUALITY_UNCERTAIN;
    auto io = Io(g.Get());
    ReadResult r = ReadOne(io.Get(), OPC_DS_DEVICE, h);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.state.vDataValue.iVal, 42);
    EXPECT_EQ(r.state.wQuality, OPC_QUALITY_UNCERTAIN);
    auto& item = *Impl(g.Get()).GroupItems()[0];
    EXPECT_EQ(item.CachedValue->iVal, 42);
    EXPECT_FALSE(item.Changed);
    ReadResult cached = ReadOne(io.Get(), OPC_DS_CACHE, h);
    EXPECT_EQ(cached.state.vDataValue.iVal, 42);
    EXPECT_EQ(cached.state.ftTimeStamp.dwLowDateTime, r.state.ftTimeStamp.dwLowDateTime);
}

TEST_F(SyncIO, ReadStampsTheServersLastUpdateTime) {
    auto g = AddGroup("G");
    OPCHANDLE h = AddItems(g.Get(), {"Num"})[0];
    ReadOne(Io(g.Get()).Get(), OPC_DS_CACHE, h);
    EXPECT_NE(Host->LastUpdateTime.dwLowDateTime, 0u);
}

TEST_F(SyncIO, BadSourcesAndArgumentsAreRefusedWholly) {
    auto g = AddGroup("G");
    OPCHANDLE h = AddItems(g.Get(), {"Num"})[0];
    auto io = Io(g.Get());
    struct Case {
        OPCDATASOURCE source;
        DWORD count;
        OPCHANDLE* handles;
    };
    for (const Case& c :
         {Case{static_cast<OPCDATASOURCE>(0), 1, &h}, Case{static_cast<OPCDATASOURCE>(3), 1, &h},
          Case{OPC_DS_CACHE, 0, &h}, Case{OPC_DS_DEVICE, 1, nullptr}}) {
        TaskMem<OPCITEMSTATE> states;
        TaskMem<HRESULT> errors;
        EXPECT_EQ(io->Read(c.source, c.count, c.handles, &states, &errors), E_INVALIDARG);
        EXPECT_EQ(states.p, nullptr);
        EXPECT_EQ(errors.p, nullptr);
    }
    EXPECT_EQ(Host->LastUpdateTime.dwLowDateTime, 0u);
}

TEST_F(SyncIO, PerItemReadErrors) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Num", "WriteOnly", "Bool1"}, FALSE);
    Server->Add("Text", 8, 3, MakeText("abc"));
    const std::u16string text = W("Text");
    OPCITEMDEF def = Def(text, 9, FALSE, VT_I4);
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> addErrors;
    ASSERT_EQ(g->AddItems(1, &def, &results, &addErrors), S_OK);
    OPCHANDLE handles[] = {h[0], h[1], 12345, results[0].hServer, h[2]};
    TaskMem<OPCITEMSTATE> states;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Io(g.Get())->Read(OPC_DS_DEVICE, 5, handles, &states, &errors), S_FALSE);
    const HRESULT expected[] = {S_OK, OPC_E_BADRIGHTS, OPC_E_INVALIDHANDLE, DISP_E_TYPEMISMATCH,
                                S_OK};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(errors[i], expected[i]) << i;
    EXPECT_EQ(states[1].hClient, 0u);
    EXPECT_EQ(states[1].vDataValue.vt, VT_EMPTY);
    EXPECT_EQ(states[4].vDataValue.vt, VT_BOOL);
    for (int i = 0; i < 5; ++i) VariantClear(&states[i].vDataValue);
}

TEST_F(SyncIO, RequestedTypeConvertsReads) {
    auto g = AddGroup("G");
    const std::u16string num = W("Num");
    OPCITEMDEF def = Def(num, 1, TRUE, VT_R8);
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->AddItems(1, &def, &results, &errors), S_OK);
    ReadResult r = ReadOne(Io(g.Get()).Get(), OPC_DS_CACHE, results[0].hServer);
    EXPECT_EQ(r.state.vDataValue.vt, VT_R8);
    EXPECT_EQ(r.state.vDataValue.dblVal, 7.0);
}

TEST_F(SyncIO, ReadOutOfMemoryLeavesNothing) {
    auto g = AddGroup("G");
    OPCHANDLE h = AddItems(g.Get(), {"Num"})[0];
    auto io = Io(g.Get());
    for (std::size_t allowed : {0u, 1u}) {
        TaskMem<OPCITEMSTATE> states;
        TaskMem<HRESULT> errors;
        platform::FailTaskMemAfter(allowed);
        EXPECT_EQ(io->Read(OPC_DS_CACHE, 1, &h, &states, &errors), E_OUTOFMEMORY);
        platform::SetTaskMemFailure(nullptr);
        EXPECT_EQ(states.p, nullptr);
        EXPECT_EQ(errors.p, nullptr);
        EXPECT_EQ(platform::TaskMemOutstanding(), TaskMemAtStart);
    }
}

TEST_F(SyncIO, WritesGoToTheDeviceOnly) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "ReadOnly", "Num"});
    VARIANT values[3];
    values[0] = MakeI2(1).Get();  // a non-owning copy of an I2
    values[1] = MakeBool(true).Get();
    platform::Variant text = MakeText("nope");
    values[2] = text.Get();
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Io(g.Get())->Write(3, h.data(), values, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_BADRIGHTS);
    EXPECT_EQ(errors[2], DISP_E_TYPEMISMATCH);
    ASSERT_EQ(Server->Written.size(), 1u);
    EXPECT_EQ(Server->Written[0].first, 1);
    EXPECT_EQ(Server->Written[0].second.Type(), VT_BOOL);
    EXPECT_EQ(Impl(g.Get()).GroupItems()[0]->CachedValue->boolVal, VARIANT_FALSE);
    EXPECT_EQ(Host->LastUpdateTime.dwLowDateTime, 0u);
    errors.Free();
    EXPECT_EQ(Io(g.Get())->Write(1, h.data(), nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(errors.p, nullptr);
}

// Reads find each handle's own item whatever the order the client names them in, read
// after read: the order they were added in (tried first), others, repeats, a handle of no
// item between, and after the last item has gone. -1 stands for a handle of no item.
struct HandleOrderCase {
    const char* name;
    bool removeLast;
    std::vector<std::vector<int>> reads;
};

class ReadHandleOrder : public SyncIO, public ::testing::WithParamInterface<HandleOrderCase> {};

TEST_P(ReadHandleOrder, EveryEntryIsTheItemItsHandleNames) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Bool2", "ReadOnly", "Num"});
    if (GetParam().removeLast) {
        TaskMem<HRESULT> errors;
        ASSERT_EQ(g->RemoveItems(1, &h[3], &errors), S_OK);
    }
    auto io = Io(g.Get());
    for (const std::vector<int>& read : GetParam().reads) {
        std::vector<OPCHANDLE> handles;
        for (const int i : read) handles.push_back(i < 0 ? 0xBAD0u : h[static_cast<size_t>(i)]);
        TaskMem<OPCITEMSTATE> states;
        TaskMem<HRESULT> errors;
        const HRESULT hr = io->Read(OPC_DS_DEVICE, static_cast<DWORD>(handles.size()),
                                    handles.data(), &states, &errors);
        const bool anyBad = std::count(read.begin(), read.end(), -1) > 0;
        ASSERT_EQ(hr, anyBad ? S_FALSE : S_OK);
        for (std::size_t k = 0; k < read.size(); ++k) {
            if (read[k] < 0) {
                EXPECT_EQ(errors[k], OPC_E_INVALIDHANDLE) << k;
                continue;
            }
            EXPECT_EQ(errors[k], S_OK) << k;
            EXPECT_EQ(states[k].hClient, 100u + static_cast<unsigned>(read[k])) << k;
            VariantClear(&states[k].vDataValue);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ReadHandleOrder,
    ::testing::Values(
        HandleOrderCase{"AddedOrderReadAgain", false, {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}}},
        HandleOrderCase{"Reversed", false, {{3, 2, 1, 0}, {3, 2, 1, 0}}},
        HandleOrderCase{"Rotated", false, {{2, 3, 0, 1}, {2, 3, 0, 1}}},
        HandleOrderCase{"PartThenWhole", false, {{1, 2}, {3}, {0, 1, 2, 3}}},
        HandleOrderCase{"Repeated", false, {{1, 1, 1}, {0, 0}, {3, 3}}},
        HandleOrderCase{"NoItemBetween", false, {{0, -1, 1, 2}, {3, 0, -1}}},
        HandleOrderCase{"AfterTheLastItemWent", true, {{0, 1, 2}, {0, 1, 2}, {2, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
