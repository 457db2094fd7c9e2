// Nothing thrown crosses a group's COM boundary: an exception the framework does not
// know (a controller's conversion error for a malformed address, say) becomes the
// failing item's error, or the call's result where there is no per-item error, and
// every output is emptied as on any failure.
#include "subscription_fixture.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

constexpr TItemHandle kNum = 5;

class ComBoundary : public Subscriptions {
  protected:
    // Bool1 and Num in an active group; then Num starts failing.
    std::vector<OPCHANDLE> Prepare(platform::ComPtr<IOPCItemMgt>& g) {
        g = AddGroup("G");
        std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Num"});
        Server->ForeignFailure.insert(kNum);
        return h;
    }
};

TEST_F(ComBoundary, AddingAnItemWhoseReadThrowsFailsThatItemOnly) {
    Server->ForeignFailure.insert(kNum);
    auto g = AddGroup("G");
    const std::u16string a = W("Bool1"), b = W("Num"), c = W("Bool2");
    OPCITEMDEF defs[] = {Def(a, 1), Def(b, 2), Def(c, 3)};
    for (const bool validate : {false, true}) {
        TaskMem<OPCITEMRESULT> results;
        TaskMem<HRESULT> errors;
        const HRESULT hr = validate ? g->ValidateItems(3, defs, FALSE, &results, &errors)
                                    : g->AddItems(3, defs, &results, &errors);
        EXPECT_EQ(hr, S_FALSE) << "validate " << validate;
        ASSERT_NE(errors.p, nullptr);
        EXPECT_EQ(errors[0], S_OK);
        EXPECT_EQ(errors[1], E_FAIL);
        EXPECT_EQ(errors[2], S_OK);
        EXPECT_EQ(results[1].hServer, 0u);
        EXPECT_EQ(results[1].vtCanonicalDataType, VT_EMPTY);
    }
    EXPECT_EQ(Impl(g.Get()).GroupItems().size(), 2u);
    EXPECT_EQ(ServerItemList().Find("Num"), nullptr) << "nothing is left of the failed item";
}

TEST_F(ComBoundary, PerItemCallsReportTheFailingItemAndFinishTheOthers) {
    platform::ComPtr<IOPCItemMgt> g;
    std::vector<OPCHANDLE> h = Prepare(g);
    OPCHANDLE both[] = {h[1], h[0]};
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->SetActiveState(2, both, FALSE, &errors), S_OK) << "deactivating reads nothing";
    errors.Free();
    EXPECT_EQ(g->SetActiveState(2, both, TRUE, &errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
    EXPECT_EQ(errors[1], S_OK);
    errors.Free();
    VARTYPE types[] = {VT_I4, VT_I4};
    EXPECT_EQ(g->SetDatatypes(2, both, types, &errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
    EXPECT_EQ(errors[1], S_OK);
    EXPECT_EQ(Impl(g.Get()).GroupItems()[1]->RequestedType, VT_EMPTY) << "left as it was";
    EXPECT_EQ(Impl(g.Get()).GroupItems()[0]->RequestedType, VT_I4) << "the next item was done";
    errors.Free();

    platform::ComPtr<IOPCSyncIO> io;
    g->QueryInterface(IID_IOPCSyncIO, io.PutVoid());
    OPCHANDLE reads[] = {h[0], h[1], h[0]};
    TaskMem<OPCITEMSTATE> states;
    EXPECT_EQ(io->Read(OPC_DS_DEVICE, 3, reads, &states, &errors), S_FALSE);
    EXPECT_EQ(errors[1], E_FAIL);
    EXPECT_EQ(states[1].vDataValue.vt, VT_EMPTY);
    EXPECT_EQ(states[2].vDataValue.vt, VT_I4) << "the read went on after the failure";
    for (int i = 0; i < 3; ++i) VariantClear(&states[i].vDataValue);
    errors.Free();
    platform::Variant values[2] = {MakeBool(true), MakeI2(1)};
    VARIANT raw[2] = {values[0].Get(), values[1].Get()};
    EXPECT_EQ(io->Write(2, h.data(), raw, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], E_FAIL);
}

TEST_F(ComBoundary, WholeCallsReturnFailureAndLeaveNothingBehind) {
    platform::ComPtr<IOPCItemMgt> g;
    std::vector<OPCHANDLE> h = Prepare(g);
    platform::ComPtr<IOPCGroupStateMgt> state;
    g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
    BOOL off = FALSE, on = TRUE;
    ASSERT_EQ(state->SetState(nullptr, nullptr, &off, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(state->SetState(nullptr, nullptr, &on, nullptr, nullptr, nullptr, nullptr), E_FAIL);
    // Copying an active item primes it, which reads: the clone fails and is gone.
    const std::size_t groups = Host->List.Count();
    const std::u16string name = W("Clone");
    IUnknown* clone = reinterpret_cast<IUnknown*>(static_cast<std::uintptr_t>(kSentinel));
    EXPECT_EQ(state->CloneGroup(name.c_str(), IID_IOPCGroupStateMgt, &clone), E_FAIL);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(Host->List.Count(), groups);
    EXPECT_EQ(Host->List.FindByName("Clone"), nullptr);
}

TEST_F(ComBoundary, DeliveriesReportTheFailingItemAndTheTickGoesToHandleException) {
    platform::ComPtr<IOPCItemMgt> g;
    std::vector<OPCHANDLE> h = Prepare(g);
    TestDataCallback& cb = Callback();
    Connect(g.Get(), cb);
    Pump();
    ASSERT_EQ(cb.Calls.size(), 1u) << "the refresh on connecting";
    EXPECT_EQ(cb.Calls[0].errors, (std::vector<HRESULT>{S_OK, E_FAIL}));
    EXPECT_EQ(cb.Calls[0].masterError, S_FALSE);
    DWORD id = 0;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(Async2(g.Get())->Read(2, h.data(), 4, &id, &errors), S_OK);
    Pump();
    ASSERT_EQ(cb.Calls.size(), 2u);
    EXPECT_EQ(cb.Calls[1].errors, (std::vector<HRESULT>{S_OK, E_FAIL}));
    Tick();  // reports the primed values without reading
    EXPECT_TRUE(Server->Exceptions.empty());
    Tick();
    EXPECT_EQ(Server->Exceptions.size(), 1u);
    Disconnect(g.Get());
}

}  // namespace
