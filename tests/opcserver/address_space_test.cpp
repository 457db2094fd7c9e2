// Building the browse tree with AddItemId and NewBranch, and the browse lists.
#include <gtest/gtest.h>

#include "opcserver/ItemServer.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcErrors.h"
#include "test_item_server.h"

using namespace corvane::opc;

namespace {

// An item server whose space kind and merge flag the test sets; it loads nothing.
class SpaceServer : public corvane::test::Simulator {
  public:
    explicit SpaceServer(bool hierarchical) : Hierarchical(hierarchical) {
        NamespaceRoot = std::make_unique<TItemIdList>(nullptr, std::string());
    }
    TServerOptions Options() override {
        return Hierarchical ? TServerOptions{TServerOption::soHierarchicalSpace} : TServerOptions{};
    }
    TItemIdList& Root() { return *NamespaceRoot; }
    bool Hierarchical;
};

template <class E>
std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(AddItemId, HierarchicalIdMakesBranchesAndALeaf) {
    SpaceServer s(true);
    TNamespaceNode* temp = AddItemId(s.Root(), "Plant.Line1.Temp", TAccessRights(3), VT_R8);
    auto* line1 = dynamic_cast<TItemIdList*>(FindNode(s.Root(), "Plant.Line1"));
    ASSERT_NE(line1, nullptr);
    ASSERT_NE(dynamic_cast<TItemIdList*>(FindNode(s.Root(), "Plant")), nullptr);
    EXPECT_EQ(temp->Parent, line1);
    auto* leaf = dynamic_cast<TNamespaceItem*>(temp);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->AccessRights, TAccessRights(3));
    EXPECT_EQ(leaf->DataType, DWORD{VT_R8});
    EXPECT_EQ(ItemIdOf(*temp), "Plant.Line1.Temp");
}

TEST(AddItemId, ExistingNameIsADuplicateUnlessMerging) {
    SpaceServer s(true);
    AddItemId(s.Root(), "Plant.Line1.Temp", TAccessRights(3), VT_R8);
    EXPECT_EQ(
        MessageOf<EListError>([&] { AddItemId(s.Root(), "Plant.Line1", TAccessRights(3), VT_R8); }),
        "Duplicate Item Id Line1");
    s.MergeNamespace = true;
    TNamespaceNode* line1 = FindNode(s.Root(), "Plant.Line1");
    EXPECT_EQ(AddItemId(s.Root(), "Plant.Line1", TAccessRights(3), VT_R8), line1);
    EXPECT_NE(dynamic_cast<TItemIdList*>(line1), nullptr);  // returned unchanged, still a branch
}

TEST(AddItemId, LeafInThePathIsAnInvalidBranch) {
    SpaceServer s(true);
    AddItemId(s.Root(), "Plant.Line1.Temp", TAccessRights(3), VT_R8);
    EXPECT_EQ(MessageOf<EOpcServer>(
                  [&] { AddItemId(s.Root(), "Plant.Line1.Temp.X", TAccessRights(3), VT_R8); }),
              "Temp is an invalid branch name");
}

TEST(AddItemId, DoubledDelimiterMakesABranchWithAnEmptyName) {
    SpaceServer s(true);
    TNamespaceNode* leaf = AddItemId(s.Root(), "A..B", TAccessRights(3), VT_BOOL);
    ASSERT_NE(leaf->Parent, nullptr);
    EXPECT_EQ(leaf->Parent->Name, "");
    EXPECT_EQ(FindNode(s.Root(), "A..B"), leaf);
    EXPECT_EQ(ItemIdOf(*leaf), "B");  // the walk up stops at the empty name
}

TEST(AddItemId, FlatSpaceKeepsTheWholeIdAsOneLeaf) {
    SpaceServer s(false);
    TNamespaceNode* leaf = AddItemId(s.Root(), "A.B", TAccessRights(3), VT_BOOL);
    EXPECT_EQ(leaf->Parent, &s.Root());
    EXPECT_EQ(leaf->Name, "A.B");
    EXPECT_EQ(FindNode(s.Root(), "a.b"), leaf);
    EXPECT_EQ(ItemIdOf(*leaf), "A.B");
}

TEST(AddItemId, NamesDifferingOnlyInCaseAreDuplicates) {
    for (bool hierarchical : {false, true}) {
        SpaceServer s(hierarchical);
        AddItemId(s.Root(), "ABC", TAccessRights(3), VT_BOOL);
        EXPECT_EQ(
            MessageOf<EListError>([&] { AddItemId(s.Root(), "abc", TAccessRights(3), VT_BOOL); }),
            "Duplicate Item Id abc");
    }
}

TEST(NewBranch, RefusedInAFlatSpace) {
    SpaceServer s(false);
    EXPECT_EQ(MessageOf<EOpcServer>([&] { NewBranch(s.Root(), "Plant"); }),
              "Cannot call NewBranch in flat address space");
}

TEST(NewBranch, ReturnsTheExistingBranch) {
    SpaceServer s(true);
    TItemIdList* plant = NewBranch(s.Root(), "Plant");
    EXPECT_EQ(NewBranch(s.Root(), "PLANT"), plant);
    EXPECT_EQ(s.Root().ChildCount(), 1);
    Clear(s.Root());
    EXPECT_EQ(s.Root().ChildCount(), 0);
}

TEST(FindNode, LookupsIgnoreCaseAndMissesYieldNone) {
    SpaceServer s(true);
    TNamespaceNode* temp = AddItemId(s.Root(), "Plant.Line1.Temp", TAccessRights(3), VT_R8);
    struct Case {
        const char* path;
        bool found;
    };
    const Case cases[] = {{"plant.line1.temp", true},
                          {"PLANT.LINE1.TEMP", true},
                          {"Plant.Line1.Temp.X", false},
                          {"Plant.Line2", false},
                          {".Plant", false},
                          {"Plant.", false},
                          {"", false}};
    for (const Case& c : cases) EXPECT_EQ(FindNode(s.Root(), c.path) == temp, c.found) << c.path;
}

// A tree with leaves of several types and rights, for the browse lists.
class BrowseList : public ::testing::Test {
  protected:
    void Fill() {
        AddItemId(s.Root(), "Temp", TAccessRights(1), VT_BOOL);
        AddItemId(s.Root(), "tamp", TAccessRights(3), VT_BOOL);
        AddItemId(s.Root(), "Tempo", TAccessRights(3), VT_BOOL);
        AddItemId(s.Root(), "Tmp", TAccessRights(2), VT_R8);
        AddItemId(s.Root(), "Tomp", TAccessRights(2), VT_R8);
        if (s.Hierarchical) {
            AddItemId(s.Root(), "Plant.Line1.Motor", TAccessRights(3), VT_BOOL);
            AddItemId(s.Root(), "Plant.Pump", TAccessRights(1), VT_I2);
            AddItemId(s.Root(), "Tank.Level", TAccessRights(1), VT_R4);
        }
    }
    std::vector<std::string> List(OPCBROWSETYPE type, const char* filter = "",
                                  VARTYPE vt = VT_EMPTY, DWORD access = 0,
                                  const char* position = nullptr) {
        const TItemIdList* at = &s.Root();
        if (position) at = dynamic_cast<const TItemIdList*>(FindNode(s.Root(), position));
        return BuildBrowseList(*at, type, filter, vt, TAccessRights::FromDword(access));
    }
    SpaceServer s{true};
    using V = std::vector<std::string>;
};

TEST_F(BrowseList, HierarchicalListsInNameOrder) {
    Fill();
    EXPECT_EQ(List(OPC_BRANCH), (V{"Plant", "Tank"}));
    EXPECT_EQ(List(OPC_LEAF), (V{"tamp", "Temp", "Tempo", "Tmp", "Tomp"}));
    EXPECT_EQ(List(OPC_FLAT, "", VT_EMPTY, 0, "Plant"), (V{"Plant.Line1.Motor", "Plant.Pump"}));
    EXPECT_EQ(List(OPC_FLAT, "*.*"), (V{"Plant.Line1.Motor", "Plant.Pump", "Tank.Level"}));
    EXPECT_EQ(List(OPC_BRANCH, "T*"), (V{"Tank"}));
}

TEST_F(BrowseList, LeafFilterByMaskAndType) {
    Fill();
    EXPECT_EQ(List(OPC_LEAF, "T?mp", VT_BOOL), (V{"tamp", "Temp"}));
    EXPECT_EQ(List(OPC_LEAF, "T?mp"), (V{"tamp", "Temp", "Tomp"}));
    EXPECT_EQ(List(OPC_LEAF, "", VT_R8), (V{"Tmp", "Tomp"}));
}

TEST_F(BrowseList, AccessFilterNeedsOneRightInCommon) {
    Fill();
    EXPECT_EQ(List(OPC_LEAF, "", VT_EMPTY, OPC_WRITEABLE), (V{"tamp", "Tempo", "Tmp", "Tomp"}));
    EXPECT_EQ(List(OPC_LEAF, "", VT_EMPTY, OPC_READABLE), (V{"tamp", "Temp", "Tempo"}));
    // A branch is tested with no rights and no type, so only its name filters it.
    EXPECT_EQ(List(OPC_BRANCH, "", VT_BOOL, OPC_READABLE), (V{"Plant", "Tank"}));
}

TEST_F(BrowseList, FlatSpaceListsTheSameForLeafAndFlat) {
    s.Hierarchical = false;
    Fill();
    AddItemId(s.Root(), "A.B", TAccessRights(3), VT_BOOL);
    EXPECT_EQ(List(OPC_LEAF), List(OPC_FLAT));
    EXPECT_EQ(List(OPC_LEAF, "a.*"), (V{"A.B"}));
    EXPECT_TRUE(List(OPC_BRANCH).empty());
}

TEST_F(BrowseList, MalformedMaskIsAnInvalidFilter) {
    Fill();
    for (const char* mask : {"[a-", "[]", "[-z]"}) {
        try {
            List(OPC_LEAF, mask);
            ADD_FAILURE() << mask;
        } catch (const EOpcError& e) {
            EXPECT_EQ(e.Code(), OPC_E_INVALIDFILTER) << mask;
        }
    }
}

TEST_F(BrowseList, EmptyBranchListsNothing) {
    EXPECT_TRUE(List(OPC_BRANCH).empty());
    EXPECT_TRUE(List(OPC_LEAF).empty());
    EXPECT_TRUE(List(OPC_FLAT).empty());
}

}  // namespace
