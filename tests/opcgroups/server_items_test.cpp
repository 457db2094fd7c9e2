// Shared server items: one per item id across groups, handle release, temporary
// references, device writes with coercion, pushed changes.
#include <thread>

#include "group_test_support.h"
#include "opcgroups/ItemEnumerator.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class ServerItems : public GroupsTest {};

TEST_F(ServerItems, IdsDifferingInCaseShareOneItemThatKeepsTheFirstSpelling) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    AddItems(a.Get(), {"bool1"});
    AddItems(b.Get(), {"BOOL1"});
    TServerItem* item = ServerItemList().Find("Bool1");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->ItemId, "bool1");
    EXPECT_EQ(item->GroupItemCount(), 2u);
    EXPECT_EQ(ServerItemList().Count(), 1u);
    EXPECT_EQ(Server->InfoCalls, 1);
}

TEST_F(ServerItems, HandleIsReleasedWhenTheLastGroupItemGoes) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    OPCHANDLE ha = AddItems(a.Get(), {"Bool1"})[0];
    OPCHANDLE hb = AddItems(b.Get(), {"Bool1"})[0];
    TaskMem<HRESULT> errors;
    ASSERT_EQ(a->RemoveItems(1, &ha, &errors), S_OK);
    EXPECT_TRUE(Server->Released.empty());
    ASSERT_NE(ServerItemList().Find("Bool1"), nullptr);
    errors.Free();
    ASSERT_EQ(b->RemoveItems(1, &hb, &errors), S_OK);
    EXPECT_EQ(Server->Released, std::vector<TItemHandle>{1});
    EXPECT_EQ(ServerItemList().Find("Bool1"), nullptr);
}

TEST_F(ServerItems, TemporaryReferenceAsksOnceAndReleases) {
    TServerItemRef& ref = ServerItemList().FindItemRef("Num");
    EXPECT_EQ(ref.CanonicalType, VT_I2);
    EXPECT_TRUE(ref.Analog);
    EXPECT_EQ(ref.AccessRights, 3u);
    ref.ReleaseRef();
    EXPECT_EQ(Server->InfoCalls, 1);
    EXPECT_EQ(Server->ValueCalls, 1);
    EXPECT_EQ(Server->Released, std::vector<TItemHandle>{5});
    EXPECT_EQ(ServerItemList().Count(), 0u);
}

TEST_F(ServerItems, FindItemRefOfAHeldIdReturnsTheSharedItem) {
    auto a = AddGroup("A");
    AddItems(a.Get(), {"Num"});
    TServerItemRef& ref = ServerItemList().FindItemRef("NUM");
    EXPECT_EQ(&ref, ServerItemList().Find("Num"));
    ref.ReleaseRef();
    EXPECT_EQ(ServerItemList().Find("Num")->GroupItemCount(), 1u);
    EXPECT_TRUE(Server->Released.empty());
}

TEST_F(ServerItems, NoHandleIsNeverReleased) {
    TServerItemRef& ref = ServerItemList().FindItemRef("Unknown");
    EXPECT_EQ(ref.Handle, kNoHandle);
    ref.ReleaseRef();
    EXPECT_EQ(Server->ValueCalls, 1);
    EXPECT_TRUE(Server->Released.empty());
}

TEST_F(ServerItems, UnknownIdLeavesNothingBehind) {
    EXPECT_THROW(
        {
            try {
                ServerItemList().FindItemRef("Nope");
            } catch (const EOpcError& e) {
                EXPECT_EQ(e.Code(), OPC_E_UNKNOWNITEMID);
                throw;
            }
        },
        EOpcError);
    EXPECT_EQ(ServerItemList().Count(), 0u);
}

TEST_F(ServerItems, FailedValueReadReleasesTheHandleItGot) {
    Server->FailRead.insert(2);
    auto a = AddGroup("A");
    const std::u16string id = W("Bool2");
    OPCITEMDEF def = Def(id, 1);
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    EXPECT_EQ(a->AddItems(1, &def, &results, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(Server->Released, std::vector<TItemHandle>{2});
    EXPECT_EQ(ServerItemList().Count(), 0u);
    EXPECT_EQ(Server->Count("ItemAdded"), 0);
}

struct WriteCase {
    const char* name;
    const char* item;
    VARTYPE vt;
    HRESULT expected;
    VARTYPE passedAs;  // VT_EMPTY: nothing reaches SetItemValue
};

const WriteCase kWrites[] = {
    {"SameType", "Bool1", VT_BOOL, S_OK, VT_BOOL},
    {"I2ToBool", "Bool1", VT_I2, S_OK, VT_BOOL},
    {"TextToBoolMismatch", "Bool1", VT_BSTR, DISP_E_TYPEMISMATCH, VT_EMPTY},
    {"ReadOnly", "ReadOnly", VT_BOOL, OPC_E_BADRIGHTS, VT_EMPTY},
    {"WriteOnly", "WriteOnly", VT_BOOL, S_OK, VT_BOOL},
};

class Writes : public ServerItems, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Writes, CoerceToTheCanonicalType) {
    const WriteCase& c = GetParam();
    auto a = AddGroup("A");
    AddItems(a.Get(), {c.item}, FALSE);
    TServerItem& item = *ServerItemList().Find(c.item);
    platform::Variant value = c.vt == VT_BOOL ? MakeBool(true)
                              : c.vt == VT_I2 ? MakeI2(1)
                                              : MakeText("abc");
    HRESULT hr = S_OK;
    try {
        item.WriteDevice(value.Get());
    } catch (const EOpcError& e) {
        hr = e.Code();
    }
    EXPECT_EQ(hr, c.expected);
    if (c.passedAs == VT_EMPTY) {
        EXPECT_TRUE(Server->Written.empty());
    } else {
        ASSERT_EQ(Server->Written.size(), 1u);
        EXPECT_EQ(Server->Written[0].second.Type(), c.passedAs);
        EXPECT_EQ(Server->Written[0].second->boolVal, VARIANT_TRUE);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Writes, ::testing::ValuesIn(kWrites),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerItems, ConversionExceptionFromTheItemServerIsBadType) {
    auto a = AddGroup("A");
    AddItems(a.Get(), {"Bool1"});
    Server->ThrowVariantError = true;
    try {
        ServerItemList().Find("Bool1")->WriteDevice(MakeBool(true).Get());
        FAIL();
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Code(), OPC_E_BADTYPE);
    }
}

TEST_F(ServerItems, ReadDeviceOfAnUnreadableItemIsBadRights) {
    auto a = AddGroup("A");
    AddItems(a.Get(), {"WriteOnly"}, FALSE);
    WORD q = 0;
    EXPECT_THROW(ServerItemList().Find("WriteOnly")->ReadDevice(q), EOpcError);
}

TEST_F(ServerItems, PushedChangesReachEveryGroupItemOnce) {
    Server->Subscribe = true;
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    AddItems(a.Get(), {"Num"});
    AddItems(b.Get(), {"Num"});
    TServerItem& item = *ServerItemList().Find("Num");
    ASSERT_TRUE(item.Subscribed);
    auto& ga = Impl(a.Get());
    auto& gb = Impl(b.Get());
    for (auto* g : {&ga, &gb}) g->GroupItems()[0]->Changed = false;
    Server->Notifiers.at(5)(MakeI2(9).Get(), OPC_QUALITY_GOOD);
    for (auto* g : {&ga, &gb}) {
        EXPECT_TRUE(g->GroupItems()[0]->Changed);
        EXPECT_EQ(g->GroupItems()[0]->LastValue()->iVal, 9);
        g->GroupItems()[0]->Changed = false;
    }
    // The same value again is no change.
    Server->Notifiers.at(5)(MakeI2(9).Get(), OPC_QUALITY_GOOD);
    EXPECT_FALSE(ga.GroupItems()[0]->Changed);
    // A quality change alone is.
    Server->Notifiers.at(5)(MakeI2(9).Get(), OPC_QUALITY_UNCERTAIN);
    EXPECT_TRUE(ga.GroupItems()[0]->Changed);
    a.Reset();
    b.Reset();
    Host.reset();
    EXPECT_EQ(Server->Unsubscribed, std::vector<TItemHandle>{5});
}

TEST_F(ServerItems, PushesFromAnotherThreadAndCacheReadsShareTheLock) {
    Server->Subscribe = true;
    Server->Add("Text", 8, 3, MakeText("start"));
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Text"});
    auto& item = *Impl(g.Get()).GroupItems()[0];
    const opc::TItemChangeNotify notify = Server->Notifiers.at(8);
    std::thread pusher([&] {
        for (int i = 0; i < 2000; ++i)
            notify(MakeText(i % 2 ? "odd value" : "even").Get(), OPC_QUALITY_GOOD);
    });
    for (int i = 0; i < 2000; ++i) {
        platform::Variant v;
        WORD q = 0;
        FILETIME t{};
        item.ReadCache(v.Get(), q, t);
        ASSERT_EQ(v.Type(), VT_BSTR);
    }
    pusher.join();
}

TEST_F(ServerItems, AnalogItemsChangeOnlyBeyondTheDeadband) {
    static FakeEU eu(0.0, 200.0);  // outlives the groups, which the fixture ends
    Server->EU["Level"] = &eu;
    Server->Add("Level", 11, 3, MakeR8(100.0));
    Server->Subscribe = true;
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Level"});
    FLOAT deadband = 10.0f;
    platform::ComPtr<IOPCGroupStateMgt> state;
    g->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
    ASSERT_EQ(state->SetState(nullptr, nullptr, nullptr, nullptr, &deadband, nullptr, nullptr),
              S_OK);
    auto& item = *Impl(g.Get()).GroupItems()[0];
    item.Changed = false;
    const FILETIME before = item.CachedTime;
    Server->Notifiers.at(11)(MakeR8(120.0).Get(), OPC_QUALITY_GOOD);
    EXPECT_FALSE(item.Changed);
    EXPECT_EQ(item.CachedValue->dblVal, 100.0);
    EXPECT_NE(item.CachedTime.dwLowDateTime, before.dwLowDateTime);
    Server->Notifiers.at(11)(MakeR8(120.5).Get(), OPC_QUALITY_GOOD);
    EXPECT_TRUE(item.Changed);
    EXPECT_EQ(item.CachedValue->dblVal, 120.5);
    // Attributes carry the EU type's low 7 bits and a copy of the limits.
    OPCITEMATTRIBUTES attrs;
    item.FillAttributes(attrs);
    EXPECT_EQ(attrs.dwEUType, OPC_ANALOG);
    EXPECT_EQ(attrs.vEUInfo.vt, VT_ARRAY | VT_R8);
    FreeItemAttributes(attrs);
}

}  // namespace
