// The item server's singleton rules, base behaviour and the browse-tree rebuild.
#include <thread>

#include <gtest/gtest.h>

#include "case_names.h"
#include "corvane/platform/TestHooks.h"
#include "corvane/platform/VariantTime.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcErrors.h"
#include "test_item_server.h"
#include "winbase.h"
#include "winuser.h"

using namespace corvane::opc;
using corvane::test::Simulator;

namespace {

std::string MessageOf(void (*f)()) {
    try {
        f();
    } catch (const EOpcServer& e) {
        return e.what();
    }
    return {};
}

TEST(Singleton, NoItemServerIsReported) {
    EXPECT_EQ(ItemServerOrNull(), nullptr);
    EXPECT_EQ(MessageOf([] { ItemServer(); }), "OPCSERV: No item server");
}

TEST(Singleton, SecondInstanceIsRefusedAndTheFirstKeepsWorking) {
    Simulator first;
    const HWND window = first.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(MessageOf([] { Simulator second; }),
              "OPCSERV: Only one instance of namespace allowed");
    EXPECT_EQ(&ItemServer(), &first);
    EXPECT_EQ(first.Window(), window);
    EXPECT_TRUE(IsWindow(window));
}

TEST(Singleton, WindowFailureLeavesNoItemServer) {
    corvane::platform::SetCreateWindowFailure(true);
    EXPECT_EQ(MessageOf([] { Simulator s; }), "OPCSERV: Could not allocate Opc Window");
    corvane::platform::SetCreateWindowFailure(false);
    EXPECT_EQ(ItemServerOrNull(), nullptr);
    Simulator later;  // and a later one can still be made
    EXPECT_EQ(&ItemServer(), &later);
}

TEST(Singleton, DestructionClearsTheProcessWideReference) {
    HWND window = nullptr;
    {
        Simulator s;
        window = s.Window();
    }
    EXPECT_EQ(ItemServerOrNull(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

class BaseBehaviour : public ::testing::Test {
  protected:
    Simulator server;
};

TEST_F(BaseBehaviour, EveryItemIdIsRefused) {
    std::string path;
    TAccessRights rights(3);
    try {
        server.GetItemInfo("Motor1", path, rights);
        FAIL();
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Code(), OPC_E_INVALIDITEMID);
    }
    corvane::platform::ComPtr<IEUInfo> eu;
    corvane::platform::ComPtr<IItemProperties> props;
    EXPECT_THROW(server.GetExtendedItemInfo("Motor1", path, rights, eu, props), EOpcError);
}

TEST_F(BaseBehaviour, DefaultsOfTheContract) {
    EXPECT_EQ(server.MinUpdateRate(), 20u);
    EXPECT_EQ(server.Options().Bits(), 0);
    EXPECT_EQ(server.PathDelimiter(), '.');
    EXPECT_EQ(server.SecondDelimiter(), '.');
    EXPECT_FALSE(server.SubscribeItem(1, nullptr));
    EXPECT_EQ(server.FactoryClassName(2), "Simulator.2");
    EXPECT_EQ(server.FactoryClassName(3), "Simulator.3");
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto start = corvane::platform::FileTimeToU64(server.StartTime);
    EXPECT_LE(start, corvane::platform::FileTimeToU64(now));
    EXPECT_GT(start + 600000000ULL, corvane::platform::FileTimeToU64(now));  // within a minute
    TItemIdList* position = nullptr;
    server.EnsureNamespace(position);
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position, server.NamespaceRoot.get());
    EXPECT_EQ(position->ChildCount(), 0);
}

class FullOptions : public Simulator {
  public:
    TServerOptions Options() override { return TServerOptions(0xFF); }
};

TEST(HasOption, OrdinalsAboveSevenAreNeverPresent) {
    FullOptions server;
    for (unsigned i = 0; i <= 7; ++i) EXPECT_TRUE(server.HasOption(i)) << i;
    for (unsigned i : {8u, 9u, 31u, 255u}) EXPECT_FALSE(server.HasOption(i)) << i;
    Simulator* plain = &server;
    EXPECT_TRUE(plain->HasOption(static_cast<unsigned>(TServerOption::soHierarchicalSpace)));
}

struct FilterCase {
    const char* filter;
    std::uint8_t accessFilter;
    VARTYPE typeFilter;
    const char* name;
    std::uint8_t itemAccess;
    VARTYPE itemType;
    bool matches;
};

const FilterCase kFilters[] = {
    {"*", 0, VT_EMPTY, "anything", 0, VT_EMPTY, true},
    {"", 0, VT_EMPTY, "anything", 3, VT_BOOL, true},
    {"T?mp", 0, VT_BOOL, "temp", 3, VT_BOOL, true},
    {"T?mp", 0, VT_BOOL, "Tamp", 3, VT_I2, false},
    {"T?mp", 0, VT_BOOL, "Temps", 3, VT_BOOL, false},
    {"*", 2, VT_EMPTY, "ro", 1, VT_BOOL, false},
    {"*", 3, VT_EMPTY, "ro", 1, VT_BOOL, true},
    {"*", 1, VT_EMPTY, "branch", 0, VT_EMPTY, false},
    {"*", 0, VT_I4, "x", 3, VT_I4, true},
};

class BrowseFilter : public BaseBehaviour, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(BrowseFilter, MaskThenAccessThenType) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(server.MatchesBrowseFilter(c.filter, TAccessRights(c.accessFilter), c.typeFilter,
                                         c.name, TAccessRights(c.itemAccess), c.itemType),
              c.matches)
        << c.filter << " " << c.name;
}

// The item's name against the filter's mask, then the filter's access and type if any:
// "ro_Against_Star_Access2", "Tamp_Against_T_Any_mp_BOOL_ItemI2".
std::string FilterCaseName(const FilterCase& c) {
    using corvane::test::VarTypeName;
    std::string name = std::string(c.name) + "_Against_" + corvane::test::MaskName(c.filter);
    if (c.accessFilter) name += "_Access" + std::to_string(c.accessFilter);
    if (c.typeFilter != VT_EMPTY) {
        name += "_" + VarTypeName(c.typeFilter);
        if (c.itemType != c.typeFilter) name += "_Item" + VarTypeName(c.itemType);
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, BrowseFilter, ::testing::ValuesIn(kFilters),
                         [](const auto& info) { return FilterCaseName(info.param); });

TEST_F(BaseBehaviour, MalformedMaskIsAnInvalidFilter) {
    try {
        server.MatchesBrowseFilter("[a-", TAccessRights(), VT_EMPTY, "a", TAccessRights(),
                                   VT_EMPTY);
        FAIL();
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Code(), OPC_E_INVALIDFILTER);
    }
}

// The child branch of that name, made if absent.
TItemIdList* Branch(TItemIdList& parent, const char* name) {
    if (auto* existing = dynamic_cast<TItemIdList*>(parent.Find(name))) return existing;
    return parent.AddBranch(name);
}

// A hierarchical item server whose tree is given by the test.
class TreeServer : public Simulator {
  public:
    TServerOptions Options() override { return {TServerOption::soHierarchicalSpace}; }
    void LoadNamespace(TItemIdList& Root) override {
        ++Loads;
        if (Shape == 0) {
            Branch(*Branch(Root, "Plant"), "Line1")->AddItem("Temp", TAccessRights(3), VT_R8);
        } else if (Shape == 1) {
            Branch(Root, "Plant")->AddItem("Line1", TAccessRights(1), VT_BOOL);
        } else {
            Branch(*Branch(Root, "Plant"), "LINE1");
            throw std::runtime_error("load failed");
        }
    }
    int Shape = 0;
    int Loads = 0;
};

struct Client : TBrowseClient {};

TEST(RebuildNamespace, PositionsReturnToTheSameBranchOrFallBackToTheRoot) {
    TreeServer server;
    Client a, b, c;
    {
        TServersLock lock;
        lock.List() = {&a, &b, &c};
    }
    server.EnsureNamespace(a.BrowsePosition);
    EXPECT_EQ(server.Loads, 1);
    auto* line1 = dynamic_cast<TItemIdList*>(FindNode(*server.NamespaceRoot, "Plant.Line1"));
    ASSERT_NE(line1, nullptr);
    EXPECT_EQ(ItemIdOf(*line1->Find("temp")), "Plant.Line1.Temp");
    a.BrowsePosition = line1;          // two levels down
    b.BrowsePosition = line1->Parent;  // one level down
    c.BrowsePosition = nullptr;        // the root
    server.RebuildNamespace(false);
    ASSERT_NE(a.BrowsePosition, nullptr);
    EXPECT_EQ(ItemIdOf(*a.BrowsePosition), "Plant.Line1");
    EXPECT_NE(a.BrowsePosition, nullptr);
    EXPECT_EQ(c.BrowsePosition, nullptr);
    server.Shape = 1;  // Plant.Line1 becomes a leaf
    server.RebuildNamespace(false);
    EXPECT_EQ(a.BrowsePosition, nullptr);
    ASSERT_NE(b.BrowsePosition, nullptr);
    EXPECT_EQ(ItemIdOf(*b.BrowsePosition), "Plant");
    EXPECT_FALSE(server.MergeNamespace);
    TServersLock lock;
    lock.List().clear();
}

TEST(RebuildNamespace, FailedLoadKeepsThePartialTreeAndNoPositions) {
    TreeServer server;
    Client a;
    {
        TServersLock lock;
        lock.List() = {&a};
    }
    server.EnsureNamespace(a.BrowsePosition);
    a.BrowsePosition = dynamic_cast<TItemIdList*>(FindNode(*server.NamespaceRoot, "Plant"));
    server.Shape = 2;
    EXPECT_THROW(server.RebuildNamespace(false), std::runtime_error);
    EXPECT_EQ(a.BrowsePosition, nullptr);
    EXPECT_NE(FindNode(*server.NamespaceRoot, "plant.line1"), nullptr);
    // The lock was given back.
    std::thread other([] { TServersLock lock; });
    other.join();
    TServersLock lock;
    lock.List().clear();
}

TEST(RebuildNamespace, MergeKeepsExistingNodes) {
    TreeServer server;
    TItemIdList* pos = nullptr;
    server.EnsureNamespace(pos);
    TNamespaceNode* temp = FindNode(*server.NamespaceRoot, "Plant.Line1.Temp");
    server.Shape = 1;
    server.RebuildNamespace(true);  // Plant.Line1 stays a branch: the leaf is refused, not added
    EXPECT_TRUE(server.MergeNamespace);
    EXPECT_EQ(FindNode(*server.NamespaceRoot, "Plant.Line1.Temp"), temp);
}

}  // namespace
