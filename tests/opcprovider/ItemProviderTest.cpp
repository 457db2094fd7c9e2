// The simulator's item server: lookups, reads and writes of controller bits, the log
// lines, the browse space, and the server identity written at start-up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "Messages.h"
#include "OPCpro.h"
#include "PLC_Instruction.h"
#include "ServerIdentity.h"
#include "corvane/platform/Text.h"
#include "objbase.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/Registration.h"

namespace corvane::opcprovider {
namespace {

using opc::TAccessRights;

class Provider : public ::testing::Test {
  protected:
    Provider() {
        plc.ResetMemory();
        simulator.AttachPlc(&plc);
    }
    void Import(const std::vector<std::string>& lines) { symbols.Import(lines); }
    opc::TItemHandle Find(const std::string& id, TAccessRights& rights) {
        std::string path = "untouched";
        const opc::TItemHandle h = simulator.GetItemInfo(id, path, rights);
        EXPECT_EQ(path, "untouched");
        return h;
    }
    static HRESULT CodeOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const opc::EOpcError& e) {
            return e.Code();
        }
        return S_OK;
    }

    plc::TPLC plc;
    TSymbolTable symbols;
    std::vector<std::string> log;
    Simulator simulator{symbols, [this](const std::string& line) { log.push_back(line); }};
};

TEST_F(Provider, BeforeAnyImportEveryIdIsUnknown) {
    TAccessRights rights(7);
    EXPECT_EQ(Find("Start", rights), -1);
    EXPECT_EQ(rights, TAccessRights(7));
    opc::TItemIdList* position = nullptr;
    simulator.EnsureNamespace(position);
    EXPECT_EQ(simulator.NamespaceRoot->ChildCount(), 0);
}

struct LookupCase {
    const char* id;
    opc::TItemHandle handle;
    std::uint8_t rights;
};

TEST_F(Provider, LookupIgnoresTheCaseOfAToZAndTheLastMatchWins) {
    Import(
        {"Start I0.0 R/W", "Lamp Q0.0 R", "motor M0.0 R", "MOTOR M0.1 R/W", "Ventil\xC4 M0.2 R"});
    const LookupCase cases[] = {{"start", 1, 3},      {"START", 1, 3},       {"Lamp", 2, 1},
                                {"Motor", 4, 3},      {"Lamp ", -1, 9},      {"Ventil\xC4", 5, 1},
                                {"VENTIL\xC4", 5, 1}, {"ventil\xE4", -1, 9}, {"", -1, 9}};
    for (const LookupCase& c : cases) {
        TAccessRights rights(9);
        EXPECT_EQ(Find(c.id, rights), c.handle) << c.id;
        EXPECT_EQ(rights, TAccessRights(c.rights)) << c.id;
    }
}

TEST_F(Provider, ReadsTheBitAndLeavesTheQuality) {
    Import({"Flag M10.3 R/W", "Other X0.0 R/W", "Broken unknow R/W"});
    WORD quality = 0x1C;
    platform::Variant v = simulator.GetItemValue(1, quality);
    EXPECT_EQ(v.Type(), VT_BOOL);
    EXPECT_EQ(v->boolVal, VARIANT_FALSE);
    plc.WriteBit("M10.3", true);
    EXPECT_EQ(simulator.GetItemValue(1, quality)->boolVal, VARIANT_TRUE);
    EXPECT_EQ(quality, 0x1C);
    EXPECT_EQ(simulator.GetItemValue(2, quality).Type(), VT_EMPTY);
    EXPECT_THROW(simulator.GetItemValue(3, quality), std::exception);
    for (opc::TItemHandle h : {0, -1, 4, 1000})
        EXPECT_EQ(CodeOf([&] { simulator.GetItemValue(h, quality); }), OPC_E_INVALIDHANDLE) << h;
}

// Counts the boxes the controller would put up.
struct CountingMessages final : plc::TMessageService {
    void ShowMessage(std::string_view) override { ++shown; }
    int shown = 0;
};

TEST_F(Provider, AMalformedAddressIsReportedAtItsFirstReadOnly) {
    Import({"Broken unknow R/W", "Flag M10.3 R/W"});
    CountingMessages messages;
    plc::TMessageService* previous = plc::SetMessageService(&messages);
    WORD quality = 0xC0;
    EXPECT_THROW(simulator.GetItemValue(1, quality), std::exception);
    EXPECT_EQ(messages.shown, 1);
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_EQ(CodeOf([&] { simulator.GetItemValue(1, quality); }), E_FAIL);
    EXPECT_EQ(messages.shown, 1) << "polling shows the box once, not at every tick";
    EXPECT_EQ(simulator.GetItemValue(2, quality).Type(), VT_BOOL);
    plc::SetMessageService(previous);
}

TEST_F(Provider, WritesTheBitAndLogsIt) {
    Import({"Flag M10.3 R/W", "Other X0.0 R/W", "Broken unknow R/W"});
    platform::Variant on;
    on->vt = VT_BOOL;
    on->boolVal = VARIANT_TRUE;
    simulator.SetItemValue(1, on.Get());
    EXPECT_EQ(plc.ReadBit("M10.3"), true);
    EXPECT_EQ(log, (std::vector<std::string>{"Client Set Value Item Flag"}));
    simulator.SetItemValue(2, platform::Variant().Get());  // an empty value of an empty item
    EXPECT_EQ(log.size(), 2u);
    EXPECT_THROW(simulator.SetItemValue(3, on.Get()), std::exception);
    EXPECT_EQ(CodeOf([&] { simulator.SetItemValue(4, on.Get()); }), OPC_E_INVALIDHANDLE);
    EXPECT_EQ(log.size(), 2u);  // failed writes log nothing
}

TEST_F(Provider, WithoutAControllerReadsFail) {
    Import({"Flag M10.3 R/W"});
    simulator.AttachPlc(nullptr);
    WORD quality = 0xC0;
    EXPECT_EQ(CodeOf([&] { simulator.GetItemValue(1, quality); }), E_FAIL);
}

TEST_F(Provider, ShorterImportRebindsByPosition) {
    Import({"A M0.0 R/W", "B M0.1 R/W", "C M0.2 R/W"});
    Import({"X M1.0 R/W"});
    WORD quality = 0xC0;
    plc.WriteBit("M1.0", true);
    EXPECT_EQ(simulator.GetItemValue(1, quality)->boolVal, VARIANT_TRUE);
    EXPECT_EQ(CodeOf([&] { simulator.GetItemValue(3, quality); }), OPC_E_INVALIDHANDLE);
}

TEST_F(Provider, BrowseSpaceIsFlatReadWriteBooleans) {
    Import({"Start I0.0 R", "Plant.Lamp Q0.0 R"});
    opc::TItemIdList* position = nullptr;
    simulator.EnsureNamespace(position);
    const opc::TItemIdList& root = *simulator.NamespaceRoot;
    ASSERT_EQ(root.ChildCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto* leaf = dynamic_cast<const opc::TNamespaceItem*>(root.Child(i));
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->AccessRights, TAccessRights(3));
        EXPECT_EQ(leaf->DataType, DWORD{VT_BOOL});
    }
    EXPECT_EQ(root.Child(0)->Name, "Plant.Lamp");
    // Built once: a later import does not show.
    Import({"Other M0.0 R/W"});
    simulator.EnsureNamespace(position);
    EXPECT_EQ(simulator.NamespaceRoot->ChildCount(), 2);
}

TEST_F(Provider, DuplicatesInCaseFailTheBrowseBuild) {
    Import({"Motor M0.0 R/W", "MOTOR M0.1 R/W"});
    opc::TItemIdList* position = nullptr;
    try {
        simulator.EnsureNamespace(position);
        FAIL();
    } catch (const opc::EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Item Id MOTOR");
    }
}

TEST_F(Provider, ItsOptionsAreTheDefaults) {
    EXPECT_EQ(simulator.Options().Bits(), 0);
    EXPECT_EQ(simulator.MinUpdateRate(), 20u);
    EXPECT_FALSE(simulator.SubscribeItem(1, {}));
    EXPECT_EQ(simulator.FactoryClassName(2), "Simulator.2");
}

// --- identity ---

const char* const kClsidText = "{7E3C5A21-94B6-4F0D-A8C2-3D5E61F0B7A4}";

std::vector<std::pair<std::string, std::string>> ExpectedIdentity() {
    const std::string c = kClsidText;
    return {{"Corvane.Simulator", "Data Access Server Corvane"},
            {"Corvane.Simulator\\CLSID", c},
            {"Corvane.Simulator\\OPC", ""},
            {"Corvane.Simulator\\OPC\\Vendor", kVendorText},
            {"CLSID\\" + c, "OPC Data Access Corvane"},
            {"CLSID\\" + c + "\\ProgID", "Corvane.Simulator"},
            {"AppID\\" + c, "Corvane.Simulator"}};
}

TEST(ServerIdentity, SevenValuesInOrder) {
    std::vector<std::pair<std::string, std::string>> written;
    WriteServerIdentity(
        [&](std::string_view k, std::string_view v) { written.emplace_back(k, v); });
    EXPECT_EQ(written, ExpectedIdentity());
}

class RegistryFile : public ::testing::Test {
  protected:
    ~RegistryFile() override { std::filesystem::remove(path); }
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("corvane-identity-" + std::to_string(::getpid()) + ".reg");
    platform::ClassesRoot registry{path};
};

TEST_F(RegistryFile, EveryStartRewritesTheSameValues) {
    for (int start = 0; start < 2; ++start) {
        WriteServerIdentity(RegistryWriter(registry));
        for (const auto& [key, value] : ExpectedIdentity())
            EXPECT_EQ(registry.QueryValue(key), value) << key;
    }
}

TEST(ServerIdentity, RefusedWriteStopsStartUpAtTheFirstValue) {
    platform::ClassesRoot readOnly("/proc/corvane-no-such-dir/registry.reg");
    TSymbolTable symbols;
    try {
        InitializeItemProvider(RegistryWriter(readOnly), symbols);
        FAIL();
    } catch (const platform::ERegistryWriteError& e) {
        EXPECT_STREQ(e.what(), "Error creating system registry entry");
    }
    EXPECT_EQ(opc::ItemServerOrNull(), nullptr);
    int calls = 0;
    EXPECT_THROW(WriteServerIdentity([&](std::string_view, std::string_view) {
                     ++calls;
                     throw platform::ERegistryWriteError();
                 }),
                 platform::ERegistryWriteError);
    EXPECT_EQ(calls, 1);
}

// The program's start-up step 1 and the COM server, with a client in this process.
class Started : public RegistryFile {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        categories = opc::RegisterCategoriesManager(path);
        symbols.Import({"Start I0.0 R/W", "Lamp Q0.0 R", "Motor M10.3 R/W"});
        simulator = &InitializeItemProvider(RegistryWriter(registry), symbols);
        plc.ResetMemory();
        simulator->AttachPlc(&plc);
        simulator->SetLogSink([this](const std::string& line) { log.push_back(line); });
        ASSERT_TRUE(opc::TComServer::Instance().Initialize(opc::TStartMode::Normal,
                                                           {registry, "/usr/bin/corvane"}));
        ASSERT_EQ(CoCreateInstance(CLSID_CorvaneSimulator, nullptr, CLSCTX_LOCAL_SERVER,
                                   IID_IOPCServer, server.PutVoid()),
                  S_OK);
    }
    void TearDown() override {
        server.Reset();
        opc::TComServer::Instance().Shutdown();
        EXPECT_EQ(opc::ItemServerOrNull(), nullptr);
        CoRevokeClassObject(categories);
        CoUninitialize();
        CoUninitialize();
    }
    platform::ComPtr<IOPCItemMgt> AddGroup(const char* name) {
        const std::u16string n = platform::WideFromNarrow(name);
        platform::ComPtr<IOPCItemMgt> group;
        OPCHANDLE handle = 0;
        DWORD rate = 0;
        EXPECT_EQ(SUCCEEDED(server->AddGroup(reinterpret_cast<LPCWSTR>(n.c_str()), TRUE, 1000, 1,
                                             nullptr, nullptr, 0, &handle, &rate, IID_IOPCItemMgt,
                                             reinterpret_cast<LPUNKNOWN*>(group.Put()))),
                  true);
        return group;
    }
    // Adds one item; its server handle, or 0 with the item's error in *error.
    OPCHANDLE AddItem(IOPCItemMgt& group, const char* id, HRESULT* error) {
        std::u16string i = platform::WideFromNarrow(id), path;
        OPCITEMDEF def{};
        def.szAccessPath = reinterpret_cast<LPWSTR>(path.data());
        def.szItemID = reinterpret_cast<LPWSTR>(i.data());
        def.bActive = TRUE;
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        group.AddItems(1, &def, &results, &errors);
        *error = errors ? errors[0] : E_FAIL;
        const OPCHANDLE handle = results && SUCCEEDED(*error) ? results[0].hServer : 0;
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        return handle;
    }
    HRESULT Write(IOPCItemMgt& group, OPCHANDLE item, bool value) {
        platform::ComPtr<IOPCSyncIO> io;
        group.QueryInterface(IID_IOPCSyncIO, io.PutVoid());
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        HRESULT* errors = nullptr;
        io->Write(1, &item, &v, &errors);
        const HRESULT result = errors ? errors[0] : E_FAIL;
        CoTaskMemFree(errors);
        return result;
    }

    DWORD categories = 0;
    TSymbolTable symbols;
    Simulator* simulator = nullptr;
    plc::TPLC plc;
    std::vector<std::string> log;
    platform::ComPtr<IOPCServer> server;
};

TEST_F(Started, TheSimulatorIsTheServersItemServer) {
    EXPECT_EQ(&opc::ItemServer(), simulator);
    EXPECT_EQ(simulator->VendorInfo, "Vostrel Simulator Opc Server");
    EXPECT_EQ(registry.QueryValue("corvane.Simulator.2\\Clsid"), kClsidText);
    EXPECT_EQ(log, (std::vector<std::string>{"A Client Connected!"}));
    server.Reset();
    EXPECT_EQ(log, (std::vector<std::string>{"A Client Connected!", "A Client Disconnected!"}));
}

TEST_F(Started, GroupAndItemEventsAreLogged) {
    auto group = AddGroup("G1");
    ASSERT_TRUE(group);
    HRESULT error = S_OK;
    OPCHANDLE motor = AddItem(*group.Get(), "motor", &error);
    ASSERT_EQ(error, S_OK);
    HRESULT* errors = nullptr;
    ASSERT_EQ(group->RemoveItems(1, &motor, &errors), S_OK);
    CoTaskMemFree(errors);
    EXPECT_EQ(log, (std::vector<std::string>{"A Client Connected!", "A Client Add Group:G1",
                                             "Client add item motor", "Client remove item motor"}));
}

TEST_F(Started, ClientWritesReachTheControllerWithinTheRights) {
    auto group = AddGroup("G1");
    HRESULT error = S_OK;
    const OPCHANDLE motor = AddItem(*group.Get(), "Motor", &error);
    const OPCHANDLE lamp = AddItem(*group.Get(), "Lamp", &error);
    log.clear();
    EXPECT_EQ(Write(*group.Get(), motor, true), S_OK);
    EXPECT_EQ(plc.ReadBit("M10.3"), true);
    EXPECT_EQ(Write(*group.Get(), lamp, true), OPC_E_BADRIGHTS);
    EXPECT_EQ(plc.ReadBit("Q0.0"), false);
    EXPECT_EQ(log, (std::vector<std::string>{"Client Set Value Item Motor"}));
}

TEST_F(Started, UnknownIdIsAnInvalidHandle) {
    auto group = AddGroup("G1");
    HRESULT error = S_OK;
    EXPECT_EQ(AddItem(*group.Get(), "Nothing", &error), 0u);
    EXPECT_EQ(error, OPC_E_INVALIDHANDLE);
}

TEST_F(Started, PropertiesReadTheController) {
    platform::ComPtr<IOPCItemProperties> client;
    ASSERT_EQ(server->QueryInterface(IID_IOPCItemProperties, client.PutVoid()), S_OK);
    plc.WriteBit("I0.0", true);
    std::u16string id = platform::WideFromNarrow("start");
    DWORD wanted[] = {2, 5};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(
        client->GetItemProperties(reinterpret_cast<LPWSTR>(id.data()), 2, wanted, &values, &errors),
        S_OK);
    EXPECT_EQ(values[0].vt, VT_BOOL);
    EXPECT_EQ(values[0].boolVal, VARIANT_TRUE);
    EXPECT_EQ(values[1].lVal, 3);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
}

}  // namespace
}  // namespace corvane::opcprovider
