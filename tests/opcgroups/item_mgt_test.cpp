// IOPCItemMgt: per-item errors and zeroed entries, validation, removal, activation,
// client handles, requested types, handle rules and allocation failures.
#include "group_test_support.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class ItemMgt : public GroupsTest {};

bool IsZero(const OPCITEMRESULT& r) {
    return r.hServer == 0 && r.vtCanonicalDataType == 0 && r.dwAccessRights == 0 &&
           r.dwBlobSize == 0 && r.pBlob == nullptr;
}

TEST_F(ItemMgt, AddItemsReportsPerItemErrorsWithZeroedEntries) {
    auto g = AddGroup("G");
    const std::u16string a = W("Bool1"), empty = W(""), c = W("ReadOnly"), bad = W("Nope"),
                         cy = W("Num");
    OPCITEMDEF defs[] = {Def(a, 1),   Def(empty, 2),           Def(c, 3),
                         Def(bad, 4), Def(cy, 5, TRUE, VT_CY), Def(a, 6, TRUE, VT_ARRAY | VT_R8)};
    defs[1].szItemID = nullptr;
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->AddItems(6, defs, &results, &errors), S_FALSE);
    const HRESULT expected[] = {S_OK, OPC_E_INVALIDITEMID, S_OK, OPC_E_UNKNOWNITEMID, OPC_E_BADTYPE,
                                S_OK};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(errors[i], expected[i]) << i;
        EXPECT_EQ(IsZero(results[i]), FAILED(expected[i])) << i;
    }
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_BOOL);
    EXPECT_EQ(results[0].dwAccessRights, 3u);
    EXPECT_EQ(results[2].dwAccessRights, static_cast<DWORD>(OPC_READABLE));
    EXPECT_NE(results[0].hServer, results[5].hServer);
    EXPECT_EQ(Impl(g.Get()).ItemCount(), 3u);
    EXPECT_EQ(Server->Count("ItemAdded"), 3);
    // The VT_CY item's server item was made for it alone and is gone again.
    EXPECT_EQ(ServerItemList().Find("Num"), nullptr);
    EXPECT_EQ(Server->Released, std::vector<TItemHandle>{5});
}

TEST_F(ItemMgt, ActivatingAnUnreadableItemFailsAndLeavesNoTrace) {
    auto g = AddGroup("G");
    const std::u16string w = W("WriteOnly");
    OPCITEMDEF defs[] = {Def(w, 1, TRUE), Def(w, 2, FALSE)};
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->AddItems(2, defs, &results, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADRIGHTS);
    EXPECT_EQ(errors[1], S_OK);
    EXPECT_EQ(Impl(g.Get()).ItemCount(), 1u);
}

TEST_F(ItemMgt, WholeCallFailuresEmptyBothArrays) {
    auto g = AddGroup("G");
    const std::u16string a = W("Bool1");
    OPCITEMDEF def = Def(a, 1);
    struct Case {
        DWORD count;
        OPCITEMDEF* defs;
    };
    for (const Case& c : {Case{0, &def}, Case{1, nullptr}}) {
        TaskMem<OPCITEMRESULT> results;
        TaskMem<HRESULT> errors;
        EXPECT_EQ(g->AddItems(c.count, c.defs, &results, &errors), E_INVALIDARG);
        EXPECT_EQ(results.p, nullptr);
        EXPECT_EQ(errors.p, nullptr);
        results.p = TaskMem<OPCITEMRESULT>::Sentinel();
        errors.p = TaskMem<HRESULT>::Sentinel();
        EXPECT_EQ(g->ValidateItems(c.count, c.defs, FALSE, &results, &errors), E_INVALIDARG);
        EXPECT_EQ(results.p, nullptr);
        EXPECT_EQ(errors.p, nullptr);
    }
    TaskMem<HRESULT> errors;
    EXPECT_EQ(g->AddItems(1, &def, nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(errors.p, nullptr);
}

TEST_F(ItemMgt, OutOfMemoryLeavesNothingAllocated) {
    auto g = AddGroup("G");
    const std::u16string a = W("Bool1");
    OPCITEMDEF def = Def(a, 1);
    for (std::size_t allowed : {0u, 1u}) {
        TaskMem<OPCITEMRESULT> results;
        TaskMem<HRESULT> errors;
        platform::FailTaskMemAfter(allowed);
        EXPECT_EQ(g->AddItems(1, &def, &results, &errors), E_OUTOFMEMORY);
        platform::SetTaskMemFailure(nullptr);
        EXPECT_EQ(results.p, nullptr);
        EXPECT_EQ(errors.p, nullptr);
        EXPECT_EQ(platform::TaskMemOutstanding(), TaskMemAtStart);
    }
    EXPECT_EQ(Impl(g.Get()).ItemCount(), 0u);
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(Server->InfoCalls, 0);
}

TEST_F(ItemMgt, ValidateItemsAddsNothing) {
    auto g = AddGroup("G");
    const std::u16string a = W("Num"), e = W(""), bad = W("Nope");
    OPCITEMDEF defs[] = {Def(a, 1, TRUE, VT_CY), Def(e, 2), Def(bad, 3)};
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->ValidateItems(3, defs, TRUE, &results, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(results[0].hServer, 0u);
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_I2);
    EXPECT_EQ(results[0].dwAccessRights, 3u);
    EXPECT_EQ(errors[1], OPC_E_INVALIDITEMID);
    EXPECT_EQ(errors[2], OPC_E_UNKNOWNITEMID);
    EXPECT_TRUE(IsZero(results[2]));
    EXPECT_EQ(Impl(g.Get()).ItemCount(), 0u);
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(Server->Released, std::vector<TItemHandle>{5});
}

TEST_F(ItemMgt, RemoveItemsOnlyRemovesOwnItems) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    std::vector<OPCHANDLE> ha = AddItems(a.Get(), {"Bool1", "Bool2"});
    std::vector<OPCHANDLE> hb = AddItems(b.Get(), {"Bool1"});
    OPCHANDLE handles[] = {hb[0], ha[1], ha[1], 0, kSentinel};
    TaskMem<HRESULT> errors;
    ASSERT_EQ(a->RemoveItems(5, handles, &errors), S_FALSE);
    const HRESULT expected[] = {OPC_E_INVALIDHANDLE, S_OK, OPC_E_INVALIDHANDLE, OPC_E_INVALIDHANDLE,
                                OPC_E_INVALIDHANDLE};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(errors[i], expected[i]) << i;
    EXPECT_EQ(Impl(a.Get()).ItemCount(), 1u);
    EXPECT_EQ(Impl(b.Get()).ItemCount(), 1u);
    EXPECT_EQ(Server->Count("ItemRemoved"), 1);
}

TEST_F(ItemMgt, StaleAndForeignHandlesNeverReachAnything) {
    OPCHANDLE groupHandle = 0;
    auto g = AddGroup("G", 100, TRUE, &groupHandle);
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Num"});
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->RemoveItems(1, &h[1], &errors), S_OK);
    errors.Free();
    OPCHANDLE handles[] = {h[1],      groupHandle,
                           0,         0xFFFFFFFF,
                           kSentinel, static_cast<OPCHANDLE>(reinterpret_cast<std::uintptr_t>(&g))};
    ASSERT_EQ(g->SetActiveState(6, handles, FALSE, &errors), S_FALSE);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(errors[i], OPC_E_INVALIDHANDLE) << i;
    errors.Free();
    OPCHANDLE clients[6] = {};
    EXPECT_EQ(g->SetClientHandles(6, handles, clients, &errors), S_FALSE);
    errors.Free();
    VARTYPE types[6] = {};
    EXPECT_EQ(g->SetDatatypes(6, handles, types, &errors), S_FALSE);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(errors[i], OPC_E_INVALIDHANDLE) << i;
    EXPECT_TRUE(Impl(g.Get()).GroupItems()[0]->Active);
}

TEST_F(ItemMgt, HandleRulesWithAndWithoutTheGroupCheck) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    OPCHANDLE foreign = AddItems(b.Get(), {"Bool1"}, FALSE)[0];
    const OPCHANDLE clients[] = {555};
    struct Case {
        bool checkInGroup;
        HRESULT result;
    };
    for (const Case& c : {Case{false, S_OK}, Case{true, S_FALSE}}) {
        Server->Opts = c.checkInGroup ? TServerOptions{TServerOption::soCheckHandlesInGroup}
                                      : TServerOptions{};
        TaskMem<HRESULT> errors;
        EXPECT_EQ(a->SetClientHandles(1, &foreign, const_cast<OPCHANDLE*>(clients), &errors),
                  c.result);
        EXPECT_EQ(errors[0], c.checkInGroup ? OPC_E_INVALIDHANDLE : S_OK);
    }
    EXPECT_EQ(Impl(b.Get()).GroupItems()[0]->ClientHandle, 555u);
}

TEST_F(ItemMgt, SetActiveStatePrimesAndReportsRightsErrors) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "WriteOnly"}, FALSE);
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->SetActiveState(2, h.data(), TRUE, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_BADRIGHTS);
    auto& items = Impl(g.Get()).GroupItems();
    EXPECT_TRUE(items[0]->Changed);
    // The flag is set before priming fails.
    EXPECT_TRUE(items[1]->Active);
}

TEST_F(ItemMgt, SetDatatypesTriesTheCoercionFirst) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Num", "Num", "Bool1", "Bool2"});
    Server->Add("Text", 8, 3, MakeText("abc"));
    std::vector<OPCHANDLE> t = AddItems(g.Get(), {"Text"});
    OPCHANDLE handles[] = {h[0], h[1], h[2], t[0], h[3]};
    VARTYPE types[] = {VT_CY, VT_EMPTY, VT_BSTR, VT_I4, VT_ERROR};
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->SetDatatypes(5, handles, types, &errors), S_FALSE);
    const HRESULT expected[] = {S_OK, S_OK, S_OK, DISP_E_TYPEMISMATCH, DISP_E_TYPEMISMATCH};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(errors[i], expected[i]) << i;
    auto& items = Impl(g.Get()).GroupItems();
    EXPECT_EQ(items[0]->RequestedType, VT_CY);
    EXPECT_EQ(items[2]->RequestedType, VT_BSTR);
    EXPECT_EQ(items[4]->RequestedType, VT_EMPTY);
    errors.Free();
    EXPECT_EQ(g->SetDatatypes(1, handles, nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(errors.p, nullptr);
}

TEST_F(ItemMgt, ForEachItemWholeCallFailures) {
    auto g = AddGroup("G");
    OPCHANDLE h = AddItems(g.Get(), {"Bool1"})[0];
    TaskMem<HRESULT> errors;
    EXPECT_EQ(g->RemoveItems(0, &h, &errors), E_INVALIDARG);
    EXPECT_EQ(errors.p, nullptr);
    errors.p = TaskMem<HRESULT>::Sentinel();
    EXPECT_EQ(g->RemoveItems(1, nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(errors.p, nullptr);
    errors.p = TaskMem<HRESULT>::Sentinel();
    platform::FailTaskMemAfter(0);
    EXPECT_EQ(g->RemoveItems(1, &h, &errors), E_OUTOFMEMORY);
    platform::SetTaskMemFailure(nullptr);
    EXPECT_EQ(errors.p, nullptr);
    EXPECT_EQ(Impl(g.Get()).ItemCount(), 1u);
    EXPECT_EQ(g->RemoveItems(1, &h, nullptr), E_INVALIDARG);
}

}  // namespace
