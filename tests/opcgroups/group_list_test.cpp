// The server object's group methods: names, revised rates, lookup, removal, enumeration.
#include "group_test_support.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

class GroupList : public GroupsTest {
  protected:
    HRESULT Add(const char* name, DWORD rate, IUnknown** unk, DWORD* revised = nullptr,
                OPCHANDLE* handle = nullptr, REFIID riid = IID_IUnknown) {
        const std::u16string n = W(name);
        return Host->List.AddGroup(n.c_str(), TRUE, rate, 1, nullptr, nullptr, 0, handle, revised,
                                   riid, unk);
    }
    std::string NameOf(IUnknown* unk) { return Impl(unk).Name; }
};

TEST_F(GroupList, BlankNamesAreGeneratedAndAClientNameBlocksItsSpelling) {
    IUnknown *g0 = nullptr, *mine = nullptr, *g1 = nullptr, *g2 = nullptr;
    ASSERT_EQ(Add("", 100, &g0), S_OK);
    EXPECT_EQ(NameOf(g0), "Group0");
    ASSERT_EQ(Add("group1", 100, &mine), S_OK);
    ASSERT_EQ(Add("  \t ", 100, &g1), S_OK);
    EXPECT_EQ(NameOf(g1), "Group2");
    ASSERT_EQ(Add("  Spaced\t", 100, &g2), S_OK);
    EXPECT_EQ(NameOf(g2), "Spaced");
    for (IUnknown* u : {g0, mine, g1, g2}) u->Release();
}

TEST_F(GroupList, DuplicateNamesDifferingInCaseAreRefused) {
    IUnknown* first = nullptr;
    ASSERT_EQ(Add("Line", 100, &first), S_OK);
    IUnknown* second = reinterpret_cast<IUnknown*>(kSentinel);
    OPCHANDLE h = kSentinel;
    DWORD revised = kSentinel;
    EXPECT_EQ(Add("LINE", 100, &second, &revised, &h), OPC_E_DUPLICATENAME);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(revised, 0u);
    EXPECT_EQ(Host->List.Count(), 1u);
    first->Release();
}

struct RateCase {
    DWORD requested;
    DWORD minimum;
    DWORD revised;
    HRESULT result;
};

class Rates : public GroupList, public ::testing::WithParamInterface<RateCase> {};

TEST_P(Rates, AreRaisedToTheItemServersMinimumOnly) {
    Server->MinRate = GetParam().minimum;
    IUnknown* unk = nullptr;
    DWORD revised = kSentinel;
    OPCHANDLE h = 0;
    EXPECT_EQ(Add("G", GetParam().requested, &unk, &revised, &h), GetParam().result);
    EXPECT_EQ(revised, GetParam().revised);
    EXPECT_EQ(Impl(unk).ServerHandle(), h);
    EXPECT_TRUE(Impl(unk).TimerRunning());
    unk->Release();
}

INSTANTIATE_TEST_SUITE_P(Cases, Rates,
                         ::testing::Values(RateCase{0, 20, 20, OPC_S_UNSUPPORTEDRATE},
                                           RateCase{5, 20, 20, OPC_S_UNSUPPORTEDRATE},
                                           RateCase{10, 20, 20, OPC_S_UNSUPPORTEDRATE},
                                           RateCase{20, 20, 20, S_OK},
                                           RateCase{1234567, 20, 1234567, S_OK},
                                           RateCase{50, 100, 100, OPC_S_UNSUPPORTEDRATE}),
                         [](const auto& info) {
                             return "Requested" + std::to_string(info.param.requested) +
                                    "_Minimum" + std::to_string(info.param.minimum);
                         });

TEST_F(GroupList, UnsupportedInterfaceLeavesNoGroup) {
    IUnknown* unk = reinterpret_cast<IUnknown*>(kSentinel);
    OPCHANDLE h = kSentinel;
    EXPECT_EQ(Add("G", 100, &unk, nullptr, &h, IID_IOPCServer), E_NOINTERFACE);
    EXPECT_EQ(unk, nullptr);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(Host->List.Count(), 0u);
    const std::u16string n = W("G");
    unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(Host->List.GetGroupByName(n.c_str(), IID_IUnknown, &unk), E_INVALIDARG);
    EXPECT_EQ(unk, nullptr);
    EXPECT_EQ(Server->Count("GroupAdded"), Server->Count("GroupRemoved"));
}

TEST_F(GroupList, BadDeadbandOrMissingOutPointerLeavesNoGroup) {
    const std::u16string n = W("G");
    IUnknown* unk = nullptr;
    FLOAT deadband = 100.5f;
    EXPECT_EQ(Host->List.AddGroup(n.c_str(), TRUE, 100, 1, nullptr, &deadband, 0, nullptr, nullptr,
                                  IID_IUnknown, &unk),
              E_INVALIDARG);
    EXPECT_EQ(Host->List.Count(), 0u);
    EXPECT_EQ(Host->List.AddGroup(n.c_str(), TRUE, 100, 1, nullptr, nullptr, 0, nullptr, nullptr,
                                  IID_IUnknown, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(Server->Count("GroupAdded"), 0);
}

TEST_F(GroupList, GetGroupByNameIgnoresCaseAndAddsAReference) {
    IUnknown* unk = nullptr;
    ASSERT_EQ(Add("Tank", 100, &unk), S_OK);
    const std::u16string n = W("TANK");
    IUnknown* found = nullptr;
    ASSERT_EQ(Host->List.GetGroupByName(n.c_str(), IID_IOPCSyncIO, &found), S_OK);
    EXPECT_EQ(Impl(unk).RefCount(), 2u);
    found->Release();
    EXPECT_EQ(Impl(unk).RefCount(), 1u);
    found = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(Host->List.GetGroupByName(n.c_str(), IID_IOPCServer, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    unk->Release();
}

TEST_F(GroupList, RemoveGroupOfAnUnreferencedGroupDestroysIt) {
    OPCHANDLE h = 0;
    auto g = AddGroup("G", 100, TRUE, &h);
    g.Reset();
    EXPECT_EQ(Host->List.RemoveGroup(h, FALSE), S_OK);
    EXPECT_EQ(Server->Count("GroupRemoved"), 1);
    EXPECT_EQ(Host->List.RemoveGroup(h, FALSE), E_INVALIDARG);
    EXPECT_EQ(TGroupImpl::FromHandle(h), nullptr);
}

TEST_F(GroupList, RemoveGroupOfUnknownOrForeignHandlesIsInvalid) {
    TestHost other;
    const std::u16string n = W("Foreign");
    IUnknown* unk = nullptr;
    OPCHANDLE foreign = 0;
    ASSERT_EQ(other.List.AddGroup(n.c_str(), TRUE, 100, 1, nullptr, nullptr, 0, &foreign, nullptr,
                                  IID_IUnknown, &unk),
              S_OK);
    for (OPCHANDLE h : {0u, 1u, 0xFFFFFFFFu, kSentinel, foreign})
        EXPECT_EQ(Host->List.RemoveGroup(h, TRUE), E_INVALIDARG) << h;
    EXPECT_EQ(other.List.Count(), 1u);
    unk->Release();
}

TEST_F(GroupList, RemovalInUseFreesTheNameAtOnce) {
    OPCHANDLE h = 0;
    auto g = AddGroup("Busy", 100, TRUE, &h);
    EXPECT_EQ(Host->List.RemoveGroup(h, FALSE), OPC_S_INUSE);
    EXPECT_TRUE(Impl(g.Get()).Removed);
    EXPECT_EQ(Server->Count("GroupRemoved"), 0);
    auto again = AddGroup("Busy");
    EXPECT_EQ(Host->List.Count(), 1u);
    g.Reset();
    EXPECT_EQ(Server->Count("GroupRemoved"), 1);
    EXPECT_EQ(TGroupImpl::FromHandle(h), nullptr);
}

TEST_F(GroupList, EnumeratorsListGroupsInNameOrder) {
    auto b = AddGroup("b");
    auto a = AddGroup("A");
    struct Case {
        OPCENUMSCOPE scope;
        HRESULT result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {OPC_ENUM_PRIVATE_CONNECTIONS, S_OK, {"A", "b"}},
        {OPC_ENUM_ALL, S_OK, {"A", "b"}},
        {OPC_ENUM_PUBLIC, S_FALSE, {}},
        {static_cast<OPCENUMSCOPE>(7), S_FALSE, {}},
    };
    for (const Case& c : cases) {
        IUnknown* unk = nullptr;
        ASSERT_EQ(Host->List.CreateGroupEnumerator(c.scope, IID_IEnumString, &unk), c.result);
        auto* e = static_cast<IEnumString*>(unk);
        LPOLESTR names[4] = {};
        ULONG fetched = 0;
        e->Next(4, names, &fetched);
        ASSERT_EQ(fetched, c.names.size());
        for (ULONG i = 0; i < fetched; ++i) {
            EXPECT_EQ(platform::NarrowFromWide(names[i]), c.names[i]);
            CoTaskMemFree(names[i]);
        }
        e->Release();
    }
    IUnknown* unk = nullptr;
    ASSERT_EQ(Host->List.CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown, &unk), S_OK);
    EXPECT_EQ(Impl(a.Get()).RefCount(), 2u);
    unk->Release();
    EXPECT_EQ(Impl(a.Get()).RefCount(), 1u);
    unk = reinterpret_cast<IUnknown*>(kSentinel);
    EXPECT_EQ(Host->List.CreateGroupEnumerator(OPC_ENUM_ALL, IID_IOPCItemMgt, &unk), E_NOINTERFACE);
    EXPECT_EQ(unk, nullptr);
}

TEST_F(GroupList, TimeBiasDefaultsToTheSystemBiasAndDeadbandToZero) {
    auto g = AddGroup("G");
    TIME_ZONE_INFORMATION tz{};
    GetTimeZoneInformation(&tz);
    EXPECT_EQ(Impl(g.Get()).TimeBias, tz.Bias);
    EXPECT_EQ(Impl(g.Get()).PercentDeadband, 0.0f);
    EXPECT_EQ(Impl(g.Get()).LocaleID, 0x409u);
    EXPECT_EQ(Impl(g.Get()).ClientHandle, 77u);
}

TEST_F(GroupList, DisconnectAllRemovesEveryGroupByForce) {
    auto a = AddGroup("A");
    auto b = AddGroup("B");
    Host->List.DisconnectAll();
    EXPECT_EQ(Host->List.Count(), 0u);
    EXPECT_FALSE(Impl(a.Get()).Alive());
    BOOL active = FALSE;
    EXPECT_EQ(Impl(a.Get()).GetState(nullptr, &active, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr),
              kGroupGone);
}

}  // namespace
