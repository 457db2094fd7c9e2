// The single-sink connection point and IEnumConnectionPoints over it.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com_test_util.h"
#include "opcserver/ConnectionPoint.h"

using namespace corvane::opc;
using namespace corvane::test;

namespace {

struct Change {
    IUnknown* sink;
    bool connecting;
};

class ConnectionPoint : public ::testing::Test {
  protected:
    CountedOwner owner;
    std::vector<Change> changes;
    TConnectionPoint point{owner,
                           [this](IUnknown* s, bool c) {
                               changes.push_back({s, c});
                           },
                           IID_IOPCShutdown};
    CountedSink sink;
};

TEST_F(ConnectionPoint, AdviseUnadviseAdviseAgain) {
    DWORD cookie = kSentinel;
    ASSERT_EQ(point.Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    EXPECT_EQ(sink.refs, 2u);  // the point holds one reference
    EXPECT_EQ(point.Sink(), &sink);
    ASSERT_EQ(point.Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.refs, 1u);
    EXPECT_EQ(point.Sink(), nullptr);
    cookie = kSentinel;
    ASSERT_EQ(point.Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_TRUE(changes[0].connecting);
    EXPECT_FALSE(changes[1].connecting);
    EXPECT_EQ(changes[1].sink, &sink);
    EXPECT_TRUE(changes[2].connecting);
}

TEST_F(ConnectionPoint, SecondSinkIsRefused) {
    DWORD cookie = 0;
    point.Advise(&sink, &cookie);
    CountedSink other;
    cookie = kSentinel;
    EXPECT_EQ(point.Advise(&other, &cookie), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(other.refs, 1u);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(ConnectionPoint, UnadviseWithoutSink) {
    EXPECT_EQ(point.Unadvise(1), CONNECT_E_NOCONNECTION);
    EXPECT_TRUE(changes.empty());
}

TEST_F(ConnectionPoint, CookieIsNotExamined) {
    DWORD cookie = 0;
    point.Advise(&sink, &cookie);
    EXPECT_EQ(point.Unadvise(999), S_OK);
}

TEST_F(ConnectionPoint, SinkWithoutTheInterfaceOrNoSinkIsRefused) {
    CountedSink wrong(IID_IOPCDataCallback);
    DWORD cookie = kSentinel;
    EXPECT_EQ(point.Advise(&wrong, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(wrong.refs, 1u);
    cookie = kSentinel;
    EXPECT_EQ(point.Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point.Advise(&sink, nullptr), E_POINTER);
    EXPECT_TRUE(changes.empty());
}

TEST_F(ConnectionPoint, EnumConnectionsIsNotImplemented) {
    IEnumConnections* e = reinterpret_cast<IEnumConnections*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(point.EnumConnections(&e), E_NOTIMPL);
    EXPECT_EQ(e, nullptr);
}

TEST_F(ConnectionPoint, InterfaceAndContainer) {
    IID iid{};
    EXPECT_EQ(point.GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(iid == IID_IOPCShutdown);
    IConnectionPointContainer* cpc = nullptr;
    EXPECT_EQ(point.GetConnectionPointContainer(&cpc), S_OK);
    EXPECT_EQ(cpc, static_cast<IConnectionPointContainer*>(&owner));
    EXPECT_EQ(owner.refs, 2u);
    cpc->Release();
}

TEST_F(ConnectionPoint, ReferenceCountIsTheOwners) {
    point.AddRef();
    EXPECT_EQ(owner.refs, 2u);
    IConnectionPoint* again = nullptr;
    EXPECT_EQ(point.QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(owner.refs, 3u);
    again->Release();
    point.Release();
    EXPECT_EQ(owner.refs, 1u);
    void* none = reinterpret_cast<void*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(point.QueryInterface(IID_IOPCShutdown, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST(ConnectionPointLife, DestructionDropsTheSinkWithoutCallback) {
    CountedOwner owner;
    CountedSink sink;
    int callbacks = 0;
    {
        TConnectionPoint point(
            owner, [&](IUnknown*, bool) { ++callbacks; }, IID_IOPCShutdown);
        DWORD cookie = 0;
        point.Advise(&sink, &cookie);
        EXPECT_EQ(callbacks, 1);
    }
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(sink.refs, 1u);
    TConnectionPoint cleared(
        owner, [&](IUnknown*, bool) { ++callbacks; }, IID_IOPCShutdown);
    DWORD cookie = 0;
    cleared.Advise(&sink, &cookie);
    cleared.ClearSink();
    EXPECT_EQ(sink.refs, 1u);
    EXPECT_EQ(callbacks, 2);
}

TEST(ConnectionPointLife, FailingCallbackLeavesNoSink) {
    CountedOwner owner;
    CountedSink sink;
    TConnectionPoint point(
        owner, [](IUnknown*, bool) { throw std::runtime_error("no"); }, IID_IOPCShutdown);
    DWORD cookie = kSentinel;
    EXPECT_EQ(point.Advise(&sink, &cookie), E_FAIL);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point.Sink(), nullptr);
    EXPECT_EQ(sink.refs, 1u);
}

class EnumerateCP : public ConnectionPoint {
  protected:
    corvane::platform::ComPtr<TEnumerateCP> e{new TEnumerateCP(&point)};
};

TEST_F(EnumerateCP, NextTwiceThenReset) {
    EXPECT_EQ(owner.refs, 2u);  // the enumerator holds the point
    IConnectionPoint* cp = reinterpret_cast<IConnectionPoint*>(std::uintptr_t{kSentinel});
    ULONG fetched = kSentinel;
    EXPECT_EQ(e->Next(1, &cp, &fetched), S_OK);
    EXPECT_EQ(cp, &point);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(owner.refs, 3u);
    cp->Release();
    cp = reinterpret_cast<IConnectionPoint*>(std::uintptr_t{kSentinel});
    fetched = kSentinel;
    EXPECT_EQ(e->Next(1, &cp, &fetched), S_FALSE);
    EXPECT_EQ(cp, nullptr);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Next(1, &cp, nullptr), S_OK);
    EXPECT_EQ(cp, &point);
    cp->Release();
}

struct SkipCase {
    ULONG position;
    ULONG count;
    HRESULT result;
    ULONG positionAfter;
};

const SkipCase kSkips[] = {
    {0, 0, S_OK, 0}, {0, 1, S_OK, 1}, {0, 2, S_FALSE, 1}, {1, 0, S_OK, 1}, {1, 1, S_FALSE, 1},
};

class SkipTable : public ConnectionPoint, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(SkipTable, MovesAtMostToTheEnd) {
    const SkipCase& c = GetParam();
    corvane::platform::ComPtr<TEnumerateCP> e(new TEnumerateCP(&point, c.position));
    EXPECT_EQ(e->Skip(c.count), c.result);
    IConnectionPoint* cp = nullptr;
    e->Next(1, &cp, nullptr);
    EXPECT_EQ(cp != nullptr, c.positionAfter == 0);
    if (cp) cp->Release();
}

INSTANTIATE_TEST_SUITE_P(Cases, SkipTable, ::testing::ValuesIn(kSkips), [](const auto& info) {
    return "From" + std::to_string(info.param.position) + "Skip" + std::to_string(info.param.count);
});

TEST_F(EnumerateCP, NextResultComparesTheRequestWithWhatWasLeft) {
    IConnectionPoint* cp[2] = {};
    EXPECT_EQ(e->Next(2, cp, nullptr), S_FALSE);  // one was left, two asked
    EXPECT_EQ(cp[0], &point);
    cp[0]->Release();
    EXPECT_EQ(e->Next(0, cp, nullptr), S_OK);  // none left, none asked
}

TEST_F(EnumerateCP, CloneKeepsThePosition) {
    IConnectionPoint* cp = nullptr;
    e->Next(1, &cp, nullptr);
    cp->Release();
    IEnumConnectionPoints* clone =
        reinterpret_cast<IEnumConnectionPoints*>(std::uintptr_t{kSentinel});
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(owner.refs, 3u);
    cp = reinterpret_cast<IConnectionPoint*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(clone->Next(1, &cp, nullptr), S_FALSE);
    EXPECT_EQ(cp, nullptr);
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(owner.refs, 2u);
    e.Reset();
    EXPECT_EQ(owner.refs, 1u);
}

}  // namespace
