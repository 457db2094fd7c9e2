// Browsing and item properties through the server object's interfaces.
#include "com_test_util.h"
#include "corvane/platform/TestHooks.h"
#include "server_fixture.h"

using namespace corvane;
using namespace corvane::opc;
using corvane::test::kSentinel;

namespace {

class Browse : public test::ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        StartCom();
        items->Items = {{"Start", TAccessRights(3), VT_BOOL, true},
                        {"Lamp", TAccessRights(1), VT_BOOL, false},
                        {"Plant.Line1.Temp", TAccessRights(1), VT_R8, false},
                        {"Plant.Pump", TAccessRights(3), VT_BOOL, true}};
    }
    void Hierarchical() { items->Opts = TServerOptions{TServerOption::soHierarchicalSpace}; }
    platform::ComPtr<IOPCBrowseServerAddressSpace> Open() {
        return Create<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    }
    std::vector<std::string> List(IOPCBrowseServerAddressSpace& b, OPCBROWSETYPE type,
                                  const char* filter = "", VARTYPE vt = VT_EMPTY, DWORD access = 0,
                                  HRESULT* result = nullptr) {
        const std::u16string f = Wide(filter);
        platform::ComPtr<IEnumString> e;
        const HRESULT hr =
            b.BrowseOPCItemIDs(type, reinterpret_cast<LPCWSTR>(f.c_str()), vt, access, e.Put());
        if (result) *result = hr;
        std::vector<std::string> names;
        if (!e) return names;
        LPOLESTR name = nullptr;
        while (e->Next(1, &name, nullptr) == S_OK) {
            names.push_back(Narrow(name));
            CoTaskMemFree(name);
        }
        return names;
    }
    HRESULT Move(IOPCBrowseServerAddressSpace& b, OPCBROWSEDIRECTION d, const char* to) {
        const std::u16string t = to ? Wide(to) : std::u16string();
        return b.ChangeBrowsePosition(d, to ? reinterpret_cast<LPCWSTR>(t.c_str()) : nullptr);
    }
    std::string ItemId(IOPCBrowseServerAddressSpace& b, const char* data, HRESULT expected) {
        std::u16string d = data ? Wide(data) : std::u16string();
        LPWSTR id = reinterpret_cast<LPWSTR>(std::uintptr_t{kSentinel});
        EXPECT_EQ(b.GetItemID(data ? reinterpret_cast<LPWSTR>(d.data()) : nullptr, &id), expected)
            << (data ? data : "(null)");
        if (!id) return "(none)";
        std::string text = Narrow(id);
        CoTaskMemFree(id);
        return text;
    }
    using V = std::vector<std::string>;
};

TEST_F(Browse, FlatSpace) {
    auto b = Open();
    OPCNAMESPACETYPE type{};
    ASSERT_EQ(b->QueryOrganization(&type), S_OK);
    EXPECT_EQ(type, OPC_NS_FLAT);
    EXPECT_EQ(List(*b.Get(), OPC_LEAF), (V{"Lamp", "Plant.Line1.Temp", "Plant.Pump", "Start"}));
    EXPECT_EQ(List(*b.Get(), OPC_FLAT), List(*b.Get(), OPC_LEAF));
    HRESULT hr = S_OK;
    EXPECT_TRUE(List(*b.Get(), OPC_BRANCH, "", VT_EMPTY, 0, &hr).empty());
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(List(*b.Get(), OPC_LEAF, "*", VT_BOOL, OPC_WRITEABLE), (V{"Plant.Pump", "Start"}));
}

TEST_F(Browse, FlatSpaceRefusesEveryMove) {
    auto b = Open();
    for (int d : {1, 2, 3, 0, 7})
        EXPECT_EQ(Move(*b.Get(), static_cast<OPCBROWSEDIRECTION>(d), "Plant"), E_FAIL) << d;
}

TEST_F(Browse, FlatGetItemId) {
    auto b = Open();
    EXPECT_EQ(ItemId(*b.Get(), "Plant.Pump", S_OK), "Plant.Pump");
    EXPECT_EQ(ItemId(*b.Get(), "start", S_OK), "start");  // a copy of what was asked
    EXPECT_EQ(ItemId(*b.Get(), "Plant", E_INVALIDARG), "(none)");
    EXPECT_EQ(ItemId(*b.Get(), "", S_OK), "");
    EXPECT_EQ(ItemId(*b.Get(), nullptr, S_OK), "(none)");
}

TEST_F(Browse, HierarchicalNavigation) {
    Hierarchical();
    auto b = Open();
    OPCNAMESPACETYPE type{};
    b->QueryOrganization(&type);
    EXPECT_EQ(type, OPC_NS_HIERARCHIAL);
    struct Step {
        OPCBROWSEDIRECTION direction;
        const char* text;
        HRESULT result;
        V leaves;
    };
    const Step steps[] = {
        {OPC_BROWSE_UP, nullptr, E_FAIL, {"Lamp", "Start"}},
        {OPC_BROWSE_DOWN, "", E_INVALIDARG, {"Lamp", "Start"}},
        {OPC_BROWSE_DOWN, nullptr, E_INVALIDARG, {"Lamp", "Start"}},
        {OPC_BROWSE_DOWN, "Lamp", E_INVALIDARG, {"Lamp", "Start"}},
        {OPC_BROWSE_DOWN, "plant", S_OK, {"Pump"}},
        {OPC_BROWSE_DOWN, "Line1", S_OK, {"Temp"}},
        {OPC_BROWSE_UP, nullptr, S_OK, {"Pump"}},
        {OPC_BROWSE_TO, "Plant.Line1", S_OK, {"Temp"}},
        {OPC_BROWSE_TO, "Plant.Line1.Temp", E_INVALIDARG, {"Temp"}},
        {OPC_BROWSE_TO, "", S_OK, {"Lamp", "Start"}},
        {OPC_BROWSE_DOWN, "Plant.Line1", S_OK, {"Temp"}},
        {OPC_BROWSE_TO, nullptr, S_OK, {"Lamp", "Start"}},
        {static_cast<OPCBROWSEDIRECTION>(4), "Plant", E_INVALIDARG, {"Lamp", "Start"}},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(Move(*b.Get(), s.direction, s.text), s.result)
            << s.direction << " " << (s.text ? s.text : "(null)");
        EXPECT_EQ(List(*b.Get(), OPC_LEAF), s.leaves);
    }
}

TEST_F(Browse, HierarchicalListsAndItemIds) {
    Hierarchical();
    auto b = Open();
    EXPECT_EQ(List(*b.Get(), OPC_BRANCH), (V{"Plant"}));
    EXPECT_EQ(List(*b.Get(), OPC_FLAT), (V{"Lamp", "Plant.Line1.Temp", "Plant.Pump", "Start"}));
    ASSERT_EQ(Move(*b.Get(), OPC_BROWSE_DOWN, "Plant"), S_OK);
    EXPECT_EQ(List(*b.Get(), OPC_FLAT), (V{"Plant.Line1.Temp", "Plant.Pump"}));
    EXPECT_EQ(ItemId(*b.Get(), "Pump", S_OK), "Plant.Pump");    // below the position
    EXPECT_EQ(ItemId(*b.Get(), "line1", S_OK), "Plant.Line1");  // a branch too
    EXPECT_EQ(ItemId(*b.Get(), "Start", S_OK), "Start");        // then from the root
    EXPECT_EQ(ItemId(*b.Get(), "Nothing", E_INVALIDARG), "(none)");
}

TEST_F(Browse, PositionsAreKeptPerClient) {
    Hierarchical();
    auto a = Open();
    auto c = Open();
    ASSERT_EQ(Move(*a.Get(), OPC_BROWSE_DOWN, "Plant"), S_OK);
    EXPECT_EQ(List(*a.Get(), OPC_LEAF), (V{"Pump"}));
    EXPECT_EQ(List(*c.Get(), OPC_LEAF), (V{"Lamp", "Start"}));
}

TEST_F(Browse, PositionSurvivesARebuild) {
    Hierarchical();
    auto b = Open();
    ASSERT_EQ(Move(*b.Get(), OPC_BROWSE_TO, "Plant.Line1"), S_OK);
    items->RebuildNamespace(false);
    EXPECT_EQ(List(*b.Get(), OPC_LEAF), (V{"Temp"}));
    items->Items.pop_back();
    items->Items[2].Id = "Plant.Line1";  // the branch becomes a leaf
    items->RebuildNamespace(false);
    EXPECT_EQ(List(*b.Get(), OPC_LEAF), (V{"Lamp", "Start"}));
}

TEST_F(Browse, SpaceIsBuiltOnceOnFirstUse) {
    auto b = Open();
    EXPECT_EQ(List(*b.Get(), OPC_LEAF).size(), 4u);
    items->Items.push_back({"Later", TAccessRights(3), VT_BOOL, false});
    EXPECT_EQ(List(*b.Get(), OPC_LEAF).size(), 4u);
}

struct BadBrowse {
    DWORD type;
    DWORD access;
    const char* filter;
    HRESULT result;
};

const BadBrowse kBadBrowse[] = {
    {0, 0, "", E_INVALIDARG},
    {4, 0, "", E_INVALIDARG},
    {OPC_LEAF, 4, "", E_INVALIDARG},
    {OPC_LEAF, 0, "[a-", OPC_E_INVALIDFILTER},
    {OPC_FLAT, 0, "[]", OPC_E_INVALIDFILTER},
};

TEST_F(Browse, BadArgumentsLeaveNoEnumerator) {
    auto b = Open();
    for (const BadBrowse& c : kBadBrowse) {
        const std::u16string f = Wide(c.filter);
        IEnumString* e = reinterpret_cast<IEnumString*>(std::uintptr_t{kSentinel});
        EXPECT_EQ(b->BrowseOPCItemIDs(static_cast<OPCBROWSETYPE>(c.type),
                                      reinterpret_cast<LPCWSTR>(f.c_str()), VT_EMPTY, c.access, &e),
                  c.result)
            << c.type << " " << c.filter;
        EXPECT_EQ(e, nullptr);
    }
    IEnumString* e = reinterpret_cast<IEnumString*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(b->BrowseAccessPaths(nullptr, &e), E_NOTIMPL);
    EXPECT_EQ(e, nullptr);
}

TEST_F(Browse, AddressSpaceFailureIsEFail) {
    Hierarchical();
    items->Load = [](TItemIdList& root) {
        AddItemId(root, "A.B", TAccessRights(3), VT_BOOL);
        AddItemId(root, "a.b", TAccessRights(3), VT_BOOL);  // duplicate
    };
    auto b = Open();
    IEnumString* e = reinterpret_cast<IEnumString*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(b->BrowseOPCItemIDs(OPC_FLAT, nullptr, VT_EMPTY, 0, &e), E_FAIL);
    EXPECT_EQ(e, nullptr);
    // The partial tree stays; later calls see it.
    EXPECT_EQ(List(*b.Get(), OPC_FLAT), (V{"A.B"}));
}

TEST_F(Browse, EnumeratorIsACopy) {
    auto b = Open();
    platform::ComPtr<IEnumString> e;
    ASSERT_EQ(b->BrowseOPCItemIDs(OPC_LEAF, nullptr, VT_EMPTY, 0, e.Put()), S_OK);
    items->RebuildNamespace(false);
    LPOLESTR names[8] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(8, names, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 4u);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(names[i]);
}

class Properties : public Browse {
  protected:
    platform::ComPtr<IOPCItemProperties> OpenProps() {
        return Create<IOPCItemProperties>(IID_IOPCItemProperties);
    }
    std::u16string id = Wide("Lamp");
    LPWSTR Id() { return reinterpret_cast<LPWSTR>(id.data()); }
};

TEST_F(Properties, QueryAvailableProperties) {
    auto p = OpenProps();
    DWORD count = kSentinel;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    ASSERT_EQ(p->QueryAvailableProperties(Id(), &count, &ids, &descriptions, &types), S_OK);
    ASSERT_EQ(count, 6u);
    const char* expected[] = {
        "Item Canonical Data Type", "Item Value",         "Item Quality",
        "Item Timestamp",           "Item Access Rights", "Item Server Scan Rate"};
    const VARTYPE expectedTypes[] = {VT_I2, VT_BOOL, VT_I2, VT_DATE, VT_I4, VT_R4};
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(ids[i], i + 1);
        EXPECT_EQ(Narrow(descriptions[i]), expected[i]);
        EXPECT_EQ(types[i], expectedTypes[i]);
        CoTaskMemFree(descriptions[i]);
    }
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    EXPECT_EQ(items->Released, (std::vector<TItemHandle>{2}));
}

TEST_F(Properties, UnknownItemGivesTheItemServersCode) {
    auto p = OpenProps();
    id = Wide("Nothing");
    DWORD count = kSentinel;
    DWORD* ids = reinterpret_cast<DWORD*>(std::uintptr_t{kSentinel});
    LPWSTR* descriptions = reinterpret_cast<LPWSTR*>(std::uintptr_t{kSentinel});
    VARTYPE* types = reinterpret_cast<VARTYPE*>(std::uintptr_t{kSentinel});
    EXPECT_EQ(p->QueryAvailableProperties(Id(), &count, &ids, &descriptions, &types),
              OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ids, nullptr);
    EXPECT_EQ(descriptions, nullptr);
    EXPECT_EQ(types, nullptr);
}

TEST_F(Properties, OutOfMemoryFreesEveryArray) {
    auto p = OpenProps();
    const std::size_t before = platform::TaskMemOutstanding();
    for (std::size_t succeed = 0; succeed < 8; ++succeed) {
        DWORD count = kSentinel;
        DWORD* ids = nullptr;
        LPWSTR* descriptions = nullptr;
        VARTYPE* types = nullptr;
        platform::FailTaskMemAfter(succeed);
        EXPECT_EQ(p->QueryAvailableProperties(Id(), &count, &ids, &descriptions, &types),
                  E_OUTOFMEMORY);
        platform::SetTaskMemFailure(nullptr);
        EXPECT_EQ(ids, nullptr);
        EXPECT_EQ(platform::TaskMemOutstanding(), before) << succeed;
    }
}

TEST_F(Properties, GetItemPropertiesSharesOneReading) {
    auto p = OpenProps();
    id = Wide("Start");
    DWORD wanted[] = {4, 2, 3, 1, 5, 6, 99};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(p->GetItemProperties(Id(), 7, wanted, &values, &errors), S_OK);
    EXPECT_EQ(items->ValueReads, 2);  // one for the item reference, one for the reading
    EXPECT_EQ(values[0].vt, VT_DATE);
    EXPECT_EQ(values[1].vt, VT_BOOL);
    EXPECT_EQ(values[1].boolVal, VARIANT_TRUE);
    EXPECT_EQ(values[2].vt, VT_I2);
    EXPECT_EQ(values[2].iVal, 0xC0);
    EXPECT_EQ(values[3].vt, VT_I2);
    EXPECT_EQ(values[3].iVal, VT_BOOL);
    EXPECT_EQ(values[4].vt, VT_I4);
    EXPECT_EQ(values[4].lVal, 3);
    EXPECT_EQ(values[5].vt, VT_R4);
    EXPECT_EQ(values[5].fltVal, 20.0f);
    EXPECT_EQ(values[6].vt, VT_EMPTY);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(errors[i], S_OK);
    EXPECT_EQ(errors[6], OPC_E_INVALID_PID);
    for (int i = 0; i < 7; ++i) VariantClear(&values[i]);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
    EXPECT_EQ(items->Released, (std::vector<TItemHandle>{1}));
}

TEST_F(Properties, GetItemPropertiesWithoutReading) {
    auto p = OpenProps();
    DWORD wanted[] = {1, 5};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(p->GetItemProperties(Id(), 2, wanted, &values, &errors), S_OK);
    EXPECT_EQ(items->ValueReads, 1);
    EXPECT_EQ(values[1].lVal, 1);  // Lamp is readable only
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
}

TEST_F(Properties, BadArgumentsEmptyTheOutputs) {
    auto p = OpenProps();
    DWORD wanted[] = {1};
    struct Case {
        DWORD count;
        DWORD* ids;
        const char* item;
        HRESULT result;
    };
    const Case cases[] = {{0, wanted, "Lamp", E_INVALIDARG},
                          {1, nullptr, "Lamp", E_INVALIDARG},
                          {1, wanted, "Nothing", OPC_E_UNKNOWNITEMID}};
    for (const Case& c : cases) {
        id = Wide(c.item);
        VARIANT* values = reinterpret_cast<VARIANT*>(std::uintptr_t{kSentinel});
        HRESULT* errors = reinterpret_cast<HRESULT*>(std::uintptr_t{kSentinel});
        EXPECT_EQ(p->GetItemProperties(Id(), c.count, c.ids, &values, &errors), c.result);
        EXPECT_EQ(values, nullptr);
        EXPECT_EQ(errors, nullptr);
        LPWSTR* newIds = reinterpret_cast<LPWSTR*>(std::uintptr_t{kSentinel});
        errors = reinterpret_cast<HRESULT*>(std::uintptr_t{kSentinel});
        EXPECT_EQ(p->LookupItemIDs(Id(), c.count, c.ids, &newIds, &errors), c.result);
        EXPECT_EQ(newIds, nullptr);
        EXPECT_EQ(errors, nullptr);
    }
}

TEST_F(Properties, LookupItemIDsHasNoNewIds) {
    auto p = OpenProps();
    DWORD wanted[] = {1, 2, 5000};
    LPWSTR* newIds = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(p->LookupItemIDs(Id(), 3, wanted, &newIds, &errors), S_FALSE);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(newIds[i], nullptr);
        EXPECT_EQ(errors[i], OPC_E_INVALID_PID);
    }
    CoTaskMemFree(newIds);
    CoTaskMemFree(errors);
}

}  // namespace
