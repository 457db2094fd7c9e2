// IOPCGroupStateMgt and IConnectionPointContainer of a group.
#include "group_test_support.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class GroupState : public GroupsTest {
  protected:
    platform::ComPtr<IOPCGroupStateMgt> State(IUnknown* g) {
        platform::ComPtr<IOPCGroupStateMgt> s;
        EXPECT_EQ(g->QueryInterface(IID_IOPCGroupStateMgt, s.PutVoid()), S_OK);
        return s;
    }
};

TEST_F(GroupState, GetStateReportsEverySetting) {
    OPCHANDLE h = 0;
    auto g = AddGroup("  Pumps ", 250, TRUE, &h);
    auto s = State(g.Get());
    DWORD rate = kSentinel, lcid = kSentinel;
    BOOL active = FALSE;
    TaskMem<WCHAR> name;
    LONG bias = 0;
    FLOAT deadband = -1;
    OPCHANDLE client = 0, server = 0;
    ASSERT_EQ(s->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &server), S_OK);
    EXPECT_EQ(rate, 250u);
    EXPECT_EQ(active, TRUE);
    EXPECT_EQ(platform::NarrowFromWide(name.p), "Pumps");
    EXPECT_EQ(deadband, 0.0f);
    EXPECT_EQ(lcid, 0x409u);
    EXPECT_EQ(client, 77u);
    EXPECT_EQ(server, h);
}

TEST_F(GroupState, GetStateOutOfMemoryHandsOutNothing) {
    auto s = State(AddGroup("G").Get());
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    TaskMem<WCHAR> name;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE client = 0, server = 0;
    platform::FailTaskMemAfter(0);
    EXPECT_EQ(s->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &server),
              E_OUTOFMEMORY);
    EXPECT_EQ(name.p, nullptr);
    name.p = TaskMem<WCHAR>::Sentinel();
    EXPECT_EQ(s->GetState(&rate, nullptr, &name, &bias, &deadband, &lcid, &client, &server),
              E_INVALIDARG);
    EXPECT_EQ(name.p, nullptr);
}

TEST_F(GroupState, SetStateAppliesFieldsUpToTheFailingOne) {
    auto s = State(AddGroup("G", 100, FALSE).Get());
    DWORD rate = 500, revised = kSentinel, lcid = 0x407;
    BOOL active = TRUE;
    LONG bias = 60;
    FLOAT deadband = 100.5f;
    OPCHANDLE client = 9;
    EXPECT_EQ(s->SetState(&rate, &revised, &active, &bias, &deadband, &lcid, &client),
              E_INVALIDARG);
    auto& g = Impl(s.Get());
    EXPECT_EQ(revised, 500u);
    EXPECT_EQ(g.UpdateRate, 500u);
    EXPECT_TRUE(g.Active);
    EXPECT_EQ(g.TimeBias, 60);
    EXPECT_EQ(g.PercentDeadband, 0.0f);
    EXPECT_EQ(g.LocaleID, 0x409u);
    EXPECT_EQ(g.ClientHandle, 77u);
}

TEST_F(GroupState, SetStateWithNullPointersChangesNothing) {
    auto s = State(AddGroup("G").Get());
    EXPECT_EQ(s->SetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    DWORD rate = 1;
    DWORD revised = kSentinel;
    EXPECT_EQ(s->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr),
              OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 20u);
    FLOAT nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(s->SetState(nullptr, nullptr, nullptr, nullptr, &nan, nullptr, nullptr),
              E_INVALIDARG);
    FLOAT ok = 100.0f;
    EXPECT_EQ(s->SetState(nullptr, nullptr, nullptr, nullptr, &ok, nullptr, nullptr), S_OK);
    EXPECT_EQ(Impl(s.Get()).PercentDeadband, 100.0f);
}

TEST_F(GroupState, SameRateDoesNotRestartTheTimer) {
    auto g = AddGroup("G", 100);
    AddItems(g.Get(), {"Bool1"});
    auto s = State(g.Get());
    Advance(60);
    const int before = Server->ValueCalls;
    DWORD rate = 100;
    ASSERT_EQ(s->SetState(&rate, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    Advance(40);                            // a restarted timer would wait another 100 ms
    EXPECT_EQ(Server->ValueCalls, before);  // the first tick reports the primed value
    Advance(100);
    EXPECT_EQ(Server->ValueCalls, before + 1);
    rate = 300;
    ASSERT_EQ(s->SetState(&rate, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    Advance(200);
    EXPECT_EQ(Server->ValueCalls, before + 1);
    Advance(100);
    EXPECT_EQ(Server->ValueCalls, before + 2);
}

TEST_F(GroupState, ActivationPrimesEveryItem) {
    auto g = AddGroup("G", 100, FALSE);
    AddItems(g.Get(), {"Bool1", "Num"}, FALSE);
    auto& impl = Impl(g.Get());
    for (const auto& item : impl.GroupItems()) EXPECT_FALSE(item->Changed);
    BOOL active = TRUE;
    const int before = Server->ValueCalls;
    ASSERT_EQ(
        State(g.Get())->SetState(nullptr, nullptr, &active, nullptr, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(Server->ValueCalls, before + 2);
    for (const auto& item : impl.GroupItems()) EXPECT_TRUE(item->Changed);
}

TEST_F(GroupState, SetNameRules) {
    auto g = AddGroup("Old");
    auto other = AddGroup("Other");
    auto s = State(g.Get());
    const std::u16string own = W("old"), taken = W("OTHER"), blank = W("  "), fresh = W(" New ");
    EXPECT_EQ(s->SetName(own.c_str()), OPC_E_DUPLICATENAME);
    EXPECT_EQ(s->SetName(taken.c_str()), OPC_E_DUPLICATENAME);
    EXPECT_EQ(s->SetName(blank.c_str()), E_INVALIDARG);
    EXPECT_EQ(s->SetName(nullptr), E_INVALIDARG);
    ASSERT_EQ(s->SetName(fresh.c_str()), S_OK);
    EXPECT_EQ(Host->List.FindByName("New"), &Impl(g.Get()));
    EXPECT_EQ(Host->List.FindByName("Old"), nullptr);
    auto reuse = AddGroup("Old");
    EXPECT_EQ(Host->List.Count(), 3u);
}

TEST_F(GroupState, RemovedGroupRefusesStateCallsButStillReads) {
    OPCHANDLE h = 0;
    auto g = AddGroup("G", 100, TRUE, &h);
    const OPCHANDLE item = AddItems(g.Get(), {"Bool2"})[0];
    auto s = State(g.Get());
    ASSERT_EQ(Host->List.RemoveGroup(h, FALSE), OPC_S_INUSE);
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    TaskMem<WCHAR> name;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE client = 0, server = 0;
    EXPECT_EQ(s->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &server),
              E_FAIL);
    EXPECT_EQ(name.p, nullptr);
    const std::u16string n = W("X");
    EXPECT_EQ(s->SetName(n.c_str()), E_FAIL);
    IUnknown* clone = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(s->CloneGroup(n.c_str(), IID_IUnknown, &clone), E_FAIL);
    EXPECT_EQ(clone, nullptr);
    platform::ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(g->QueryInterface(IID_IOPCSyncIO, io.PutVoid()), S_OK);
    OPCHANDLE handle = item;
    TaskMem<OPCITEMSTATE> states;
    TaskMem<HRESULT> errors;
    EXPECT_EQ(io->Read(OPC_DS_DEVICE, 1, &handle, &states, &errors), S_OK);
    EXPECT_EQ(states[0].vDataValue.boolVal, VARIANT_TRUE);
    VariantClear(&states[0].vDataValue);
    io.Reset();
    s.Reset();
    EXPECT_EQ(Server->Count("GroupRemoved"), 0);
    g.Reset();
    EXPECT_EQ(Server->Count("GroupRemoved"), 1);
    EXPECT_EQ(Server->Count("ItemRemoved"), 1);
}

TEST_F(GroupState, CloneCopiesItemsButStartsInactiveAndUnannounced) {
    auto g = AddGroup("Src", 200, TRUE);
    AddItems(g.Get(), {"Bool1"}, TRUE);
    AddItems(g.Get(), {"Num"}, FALSE);
    FLOAT deadband = 12.5f;
    auto s = State(g.Get());
    ASSERT_EQ(s->SetState(nullptr, nullptr, nullptr, nullptr, &deadband, nullptr, nullptr), S_OK);
    const int addedBefore = Server->Count("ItemAdded");
    const std::u16string n = W("");
    IUnknown* unk = nullptr;
    ASSERT_EQ(s->CloneGroup(n.c_str(), IID_IOPCItemMgt, &unk), S_OK);
    auto& clone = Impl(unk);
    EXPECT_EQ(clone.Name, "Group0");
    EXPECT_FALSE(clone.Active);
    EXPECT_EQ(clone.UpdateRate, 200u);
    EXPECT_EQ(clone.PercentDeadband, 12.5f);
    EXPECT_EQ(clone.ClientHandle, 77u);
    ASSERT_EQ(clone.ItemCount(), 2u);
    EXPECT_TRUE(clone.GroupItems()[0]->Active);
    EXPECT_TRUE(clone.GroupItems()[0]->Changed);
    EXPECT_FALSE(clone.GroupItems()[1]->Active);
    EXPECT_EQ(clone.GroupItems()[0]->ClientHandle, 100u);
    EXPECT_EQ(&clone.GroupItems()[0]->ServerItem(), &Impl(g.Get()).GroupItems()[0]->ServerItem());
    EXPECT_EQ(Server->Count("ItemAdded"), addedBefore);
    EXPECT_EQ(Server->Count("GroupAdded"), 2);
    EXPECT_EQ(clone.RefCount(), 1u);
    EXPECT_EQ(Impl(g.Get()).RefCount(), 2u);  // g and s
    unk->Release();
}

TEST_F(GroupState, CloneFailuresLeaveNoClone) {
    auto g = AddGroup("Src");
    AddItems(g.Get(), {"Bool1"});
    auto s = State(g.Get());
    const std::u16string taken = W("src"), fresh = W("Copy");
    IUnknown* unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(s->CloneGroup(taken.c_str(), IID_IUnknown, &unk), OPC_E_DUPLICATENAME);
    EXPECT_EQ(unk, nullptr);
    unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(s->CloneGroup(fresh.c_str(), IID_IOPCServer, &unk), E_NOINTERFACE);
    EXPECT_EQ(unk, nullptr);
    // An active item that lost its read access cannot be primed in the copy.
    Server->FailRead.insert(1);
    unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(s->CloneGroup(fresh.c_str(), IID_IUnknown, &unk), OPC_E_INVALIDHANDLE);
    EXPECT_EQ(unk, nullptr);
    EXPECT_EQ(Host->List.Count(), 1u);
    EXPECT_EQ(TGroupImpl::OrphanCount(), 0u);
    EXPECT_EQ(ServerItemList().Find("Bool1")->GroupItemCount(), 1u);
}

TEST_F(GroupState, ReferenceCountsFollowAddRefAndRelease) {
    auto g = AddGroup("G");
    auto& impl = Impl(g.Get());
    EXPECT_EQ(impl.RefCount(), 1u);
    EXPECT_EQ(g->AddRef(), 2u);
    EXPECT_EQ(g->Release(), 1u);
    platform::ComPtr<IUnknown> a, b;
    ASSERT_EQ(g->QueryInterface(IID_IUnknown, a.PutVoid()), S_OK);
    ASSERT_EQ(g->QueryInterface(IID_IOPCGroupStateMgt, b.PutVoid()), S_OK);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(impl.RefCount(), 3u);
    void* none = reinterpret_cast<void*>(kSentinel);
    EXPECT_EQ(g->QueryInterface(IID_IOPCServer, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    a.Reset();
    b.Reset();
    g.Reset();
    // An unremoved group stays with its list at count 0, also after an extra Release.
    EXPECT_EQ(impl.RefCount(), 0u);
    EXPECT_EQ(impl.Release(), 0u);
    EXPECT_EQ(impl.RefCount(), 0u);
    EXPECT_EQ(Host->List.FindByName("G"), &impl);
}

TEST_F(GroupState, ConnectionPoints) {
    auto g = AddGroup("G");
    platform::ComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(g->QueryInterface(IID_IConnectionPointContainer, cpc.PutVoid()), S_OK);
    IConnectionPoint* cp = reinterpret_cast<IConnectionPoint*>(kSentinel);
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, &cp), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(cp, nullptr);
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, &cp), S_OK);
    IID iid{};
    cp->GetConnectionInterface(&iid);
    EXPECT_EQ(iid, IID_IOPCDataCallback);
    IEnumConnectionPoints* e = nullptr;
    ASSERT_EQ(cpc->EnumConnectionPoints(&e), S_OK);
    IConnectionPoint* got = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(1, &got, &fetched), S_OK);
    EXPECT_EQ(got, cp);
    EXPECT_EQ(fetched, 1u);
    got->Release();
    got = reinterpret_cast<IConnectionPoint*>(kSentinel);
    EXPECT_EQ(e->Next(1, &got, &fetched), S_FALSE);
    EXPECT_EQ(got, nullptr);
    e->Release();
    cp->Release();
    EXPECT_EQ(Impl(g.Get()).RefCount(), 2u);  // g and cpc
}

}  // namespace
