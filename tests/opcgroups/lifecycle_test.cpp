// Groups destroyed while a client still holds them, and clients that never release.
#include "group_test_support.h"
#include "opcgroups/ItemEnumerator.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class Lifecycle : public GroupsTest {
  protected:
    void SetUp() override {
        GroupsTest::SetUp();
        platform::SetDisconnectHandler([this](void* unk) { Disconnected.push_back(unk); });
    }
    void TearDown() override {
        platform::SetDisconnectHandler(nullptr);
        GroupsTest::TearDown();
        EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
    }
    std::vector<void*> Disconnected;
};

TEST_F(Lifecycle, ForcedRemovalLeavesAShellThatReachesNothing) {
    OPCHANDLE gh = 0;
    auto g = AddGroup("G", 100, TRUE, &gh);
    std::vector<OPCHANDLE> items = AddItems(g.Get(), {"Bool1", "Num"});
    platform::ComPtr<IOPCSyncIO> io;
    platform::ComPtr<IOPCGroupStateMgt> state;
    platform::ComPtr<IConnectionPointContainer> cpc;
    g->QueryInterface(IID_IOPCSyncIO, io.PutVoid());
    g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
    g->QueryInterface(IID_IConnectionPointContainer, cpc.PutVoid());
    auto e = [&] {
        IUnknown* unk = nullptr;
        g->CreateEnumerator(IID_IEnumOPCItemAttributes, &unk);
        return platform::ComPtr<IEnumOPCItemAttributes>::Adopt(
            static_cast<IEnumOPCItemAttributes*>(unk));
    }();

    ASSERT_EQ(Host->List.RemoveGroup(gh, TRUE), S_OK);
    EXPECT_EQ(Server->Count("GroupRemoved"), 1);
    EXPECT_EQ(Server->Count("ItemRemoved"), 2);
    EXPECT_EQ(Server->Released.size(), 2u);
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(TGroupImpl::FromHandle(gh), nullptr);
    EXPECT_EQ(TGroupImpl::OrphanCount(), 1u);
    ASSERT_EQ(Disconnected.size(), 1u);
    EXPECT_EQ(Host->List.RemoveGroup(gh, TRUE), E_INVALIDARG);

    // Every call through the old references is refused without touching the group.
    TaskMem<HRESULT> errors;
    TaskMem<OPCITEMSTATE> states;
    EXPECT_EQ(io->Read(OPC_DS_DEVICE, 2, items.data(), &states, &errors), kGroupGone);
    EXPECT_EQ(states.p, nullptr);
    EXPECT_EQ(errors.p, nullptr);
    VARIANT v[2] = {MakeBool(true).Get(), MakeBool(true).Get()};
    errors.p = TaskMem<HRESULT>::Sentinel();
    EXPECT_EQ(io->Write(2, items.data(), v, &errors), kGroupGone);
    EXPECT_EQ(errors.p, nullptr);
    errors.p = TaskMem<HRESULT>::Sentinel();
    EXPECT_EQ(g->RemoveItems(2, items.data(), &errors), kGroupGone);
    EXPECT_EQ(errors.p, nullptr);
    const std::u16string id = W("Bool1");
    OPCITEMDEF def = Def(id, 1);
    TaskMem<OPCITEMRESULT> results;
    errors.p = TaskMem<HRESULT>::Sentinel();
    EXPECT_EQ(g->AddItems(1, &def, &results, &errors), kGroupGone);
    EXPECT_EQ(results.p, nullptr);
    EXPECT_EQ(errors.p, nullptr);
    DWORD rate = 10;
    EXPECT_EQ(state->SetState(&rate, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              kGroupGone);
    IUnknown* unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(state->CloneGroup(nullptr, IID_IUnknown, &unk), kGroupGone);
    EXPECT_EQ(unk, nullptr);
    IConnectionPoint* cp = reinterpret_cast<IConnectionPoint*>(kSentinel);
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, &cp), kGroupGone);
    EXPECT_EQ(cp, nullptr);
    TaskMem<OPCITEMATTRIBUTES> attrs;
    ULONG fetched = kSentinel;
    EXPECT_EQ(e->Next(5, &attrs, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(Server->InfoCalls, 2);

    // No tick reaches the group any more.
    const int calls = Server->ValueCalls;
    Advance(1000);
    EXPECT_EQ(Server->ValueCalls, calls);

    io.Reset();
    state.Reset();
    cpc.Reset();
    e.Reset();
    EXPECT_EQ(TGroupImpl::OrphanCount(), 1u);
    g.Reset();
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, ConnectionPointsHeldAcrossAForcedRemovalStaySafe) {
    OPCHANDLE gh = 0;
    auto g = AddGroup("G", 100, TRUE, &gh);
    platform::ComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(g->QueryInterface(IID_IConnectionPointContainer, cpc.PutVoid()), S_OK);
    IConnectionPoint* cp = nullptr;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, &cp), S_OK);
    IEnumConnectionPoints* points = nullptr;
    ASSERT_EQ(cpc->EnumConnectionPoints(&points), S_OK);
    ASSERT_EQ(Host->List.RemoveGroup(gh, TRUE), S_OK);
    IID iid{};
    EXPECT_EQ(cp->GetConnectionInterface(&iid), S_OK);
    IConnectionPoint* again = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(1, &again, &fetched), S_OK);
    EXPECT_EQ(again, cp);
    again->Release();
    points->Release();
    cp->Release();
    cpc.Reset();
    g.Reset();
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, ForcedRemovalOfAnUnreferencedGroupDestroysItAtOnce) {
    OPCHANDLE gh = 0;
    AddGroup("G", 100, TRUE, &gh).Reset();
    ASSERT_EQ(Host->List.RemoveGroup(gh, TRUE), S_OK);
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
    EXPECT_TRUE(Disconnected.empty());
}

TEST_F(Lifecycle, ABridgeThatDropsItsProxiesFreesTheShellAtOnce) {
    OPCHANDLE gh = 0;
    IOPCItemMgt* proxy = AddGroup("G", 100, TRUE, &gh).Detach();
    platform::SetDisconnectHandler([&](void*) {
        if (proxy) std::exchange(proxy, nullptr)->Release();
    });
    ASSERT_EQ(Host->List.RemoveGroup(gh, TRUE), S_OK);
    EXPECT_EQ(proxy, nullptr);
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, ServerObjectGoingAwayTearsDownReferencedAndRemovedGroups) {
    OPCHANDLE removed = 0;
    auto kept = AddGroup("Kept");
    auto gone = AddGroup("Gone", 100, TRUE, &removed);
    AddItems(kept.Get(), {"Bool1"});
    AddItems(gone.Get(), {"Num"});
    ASSERT_EQ(Host->List.RemoveGroup(removed, FALSE), OPC_S_INUSE);
    auto unreferenced = AddGroup("Plain");
    unreferenced.Reset();
    Host.reset();
    EXPECT_EQ(Server->Count("GroupRemoved"), 3);
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(TGroupImpl::OrphanCount(), 2u);
    TaskMem<HRESULT> errors;
    OPCHANDLE h = 1;
    EXPECT_EQ(gone->RemoveItems(1, &h, &errors), kGroupGone);
    kept.Reset();
    gone.Reset();
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, UnreleasedShellsAreFreedWhenTheFrameworkShutsDown) {
    IOPCItemMgt* forgotten = AddGroup("G").Detach();
    AddItems(forgotten, {"Bool1"});
    Host.reset();
    EXPECT_EQ(TGroupImpl::OrphanCount(), 1u);
    Server.reset();  // the framework's shutdown step
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, AServerObjectOutlivingTheFrameworkHoldsOnlyShells) {
    auto referenced = AddGroup("Referenced");
    AddItems(referenced.Get(), {"Bool1"});
    AddItems(AddGroup("Plain").Get(), {"Bool1", "Num"});
    Server.reset();  // shutdown while the client still holds its server object
    EXPECT_FALSE(Impl(referenced.Get()).Alive());
    EXPECT_EQ(Host->List.Count(), 2u);
    TaskMem<HRESULT> errors;
    OPCHANDLE h = 1;
    EXPECT_EQ(referenced->RemoveItems(1, &h, &errors), kGroupGone);
    referenced.Reset();
    Host.reset();  // the client lets go of everything afterwards
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
}

TEST_F(Lifecycle, TimerOfADestroyedGroupIsStoppedAndItsTicksDropped) {
    OPCHANDLE gh = 0;
    auto g = AddGroup("G", 20, TRUE, &gh);
    AddItems(g.Get(), {"Num"});
    Advance(20);
    Advance(20);
    const int calls = Server->ValueCalls;
    Now += 20;  // a tick falls due but is not processed yet
    g.Reset();
    ASSERT_EQ(Host->List.RemoveGroup(gh, FALSE), S_OK);
    Advance(100);
    EXPECT_EQ(Server->ValueCalls, calls);
}

}  // namespace
