// The item attribute enumerator over a group's live items.
#include "group_test_support.h"
#include "opcgroups/ItemEnumerator.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class ItemEnum : public GroupsTest {
  protected:
    platform::ComPtr<IEnumOPCItemAttributes> Enum(IOPCItemMgt* g) {
        IUnknown* unk = nullptr;
        EXPECT_EQ(g->CreateEnumerator(IID_IEnumOPCItemAttributes, &unk), S_OK);
        return platform::ComPtr<IEnumOPCItemAttributes>::Adopt(
            static_cast<IEnumOPCItemAttributes*>(unk));
    }
    // Fetches up to n entries and returns their item ids.
    std::vector<std::string> Next(IEnumOPCItemAttributes* e, ULONG n, HRESULT expected) {
        TaskMem<OPCITEMATTRIBUTES> attrs;
        ULONG fetched = kSentinel;
        EXPECT_EQ(e->Next(n, &attrs, &fetched), expected);
        std::vector<std::string> ids;
        for (ULONG i = 0; i < fetched; ++i) {
            ids.push_back(platform::NarrowFromWide(attrs[i].szItemID));
            FreeItemAttributes(attrs[i]);
        }
        if (fetched == 0) {
            EXPECT_EQ(attrs.p, nullptr);
        }
        return ids;
    }
};

using Ids = std::vector<std::string>;

TEST_F(ItemEnum, NextPastTheEndGivesWhatIsLeft) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Bool2", "Num", "ReadOnly"});
    auto e = Enum(g.Get());
    EXPECT_EQ(Next(e.Get(), 10, S_FALSE), (Ids{"Bool1", "Bool2", "Num", "ReadOnly"}));
    EXPECT_EQ(Next(e.Get(), 1, S_FALSE), Ids{});
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(Next(e.Get(), 4, S_OK), (Ids{"Bool1", "Bool2", "Num", "ReadOnly"}));
}

TEST_F(ItemEnum, AttributesAreFilledFromTheItem) {
    auto g = AddGroup("G");
    const std::u16string id = W("num");
    OPCITEMDEF def = Def(id, 31, FALSE, VT_R8);
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->AddItems(1, &def, &results, &errors), S_OK);
    auto e = Enum(g.Get());
    TaskMem<OPCITEMATTRIBUTES> attrs;
    ULONG fetched = 0;
    ASSERT_EQ(e->Next(1, &attrs, &fetched), S_OK);
    const OPCITEMATTRIBUTES& a = attrs[0];
    EXPECT_EQ(platform::NarrowFromWide(a.szAccessPath), "");
    EXPECT_EQ(platform::NarrowFromWide(a.szItemID), "num");
    EXPECT_EQ(a.bActive, FALSE);
    EXPECT_EQ(a.hClient, 31u);
    EXPECT_EQ(a.hServer, results[0].hServer);
    EXPECT_EQ(a.dwAccessRights, 3u);
    EXPECT_EQ(a.vtRequestedDataType, VT_R8);
    EXPECT_EQ(a.vtCanonicalDataType, VT_I2);
    EXPECT_EQ(a.dwEUType, OPC_NOENUM);
    EXPECT_EQ(a.vEUInfo.vt, VT_EMPTY);
    FreeItemAttributes(attrs[0]);
}

TEST_F(ItemEnum, CloneContinuesFromTheSamePosition) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Bool2", "Num"});
    auto e = Enum(g.Get());
    EXPECT_EQ(Next(e.Get(), 1, S_OK), Ids{"Bool1"});
    IEnumOPCItemAttributes* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(Next(clone, 1, S_OK), Ids{"Bool2"});
    EXPECT_EQ(Next(e.Get(), 1, S_OK), Ids{"Bool2"});
    EXPECT_EQ(Impl(g.Get()).RefCount(), 3u);  // g and two enumerators
    clone->Release();
    EXPECT_EQ(Impl(g.Get()).RefCount(), 2u);
}

TEST_F(ItemEnum, SkipStopsAtTheEnd) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Bool2", "Num"});
    auto e = Enum(g.Get());
    EXPECT_EQ(e->Skip(2), S_OK);
    EXPECT_EQ(Next(e.Get(), 2, S_FALSE), Ids{"Num"});
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    EXPECT_EQ(Next(e.Get(), 1, S_FALSE), Ids{});
    EXPECT_EQ(e->Skip(0xFFFFFFFF), S_FALSE);
}

TEST_F(ItemEnum, SeesTheLiveList) {
    auto g = AddGroup("G");
    std::vector<OPCHANDLE> h = AddItems(g.Get(), {"Bool1", "Bool2", "Num"});
    auto e = Enum(g.Get());
    EXPECT_EQ(e->Skip(3), S_OK);
    AddItems(g.Get(), {"ReadOnly"});
    EXPECT_EQ(Next(e.Get(), 1, S_OK), Ids{"ReadOnly"});
    TaskMem<HRESULT> errors;
    ASSERT_EQ(g->RemoveItems(3, h.data(), &errors), S_OK);
    EXPECT_EQ(Next(e.Get(), 1, S_FALSE), Ids{});  // position past the shrunken end
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(Next(e.Get(), 5, S_FALSE), Ids{"ReadOnly"});
}

TEST_F(ItemEnum, EmptyGroupAndWrongInterface) {
    auto g = AddGroup("G");
    auto e = Enum(g.Get());
    EXPECT_EQ(Next(e.Get(), 1, S_FALSE), Ids{});
    IUnknown* unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(g->CreateEnumerator(IID_IEnumString, &unk), E_INVALIDARG);
    EXPECT_EQ(unk, nullptr);
}

TEST_F(ItemEnum, OutOfMemoryInNextLeavesNothingAndKeepsThePosition) {
    auto g = AddGroup("G");
    AddItems(g.Get(), {"Bool1", "Bool2"});
    auto e = Enum(g.Get());
    for (std::size_t allowed : {0u, 1u, 2u, 3u, 4u}) {
        TaskMem<OPCITEMATTRIBUTES> attrs;
        ULONG fetched = kSentinel;
        platform::FailTaskMemAfter(allowed);
        EXPECT_EQ(e->Next(2, &attrs, &fetched), E_OUTOFMEMORY) << allowed;
        platform::SetTaskMemFailure(nullptr);
        EXPECT_EQ(attrs.p, nullptr);
        EXPECT_EQ(fetched, 0u);
        EXPECT_EQ(platform::TaskMemOutstanding(), TaskMemAtStart);
    }
    EXPECT_EQ(Next(e.Get(), 2, S_OK), (Ids{"Bool1", "Bool2"}));
}

}  // namespace
