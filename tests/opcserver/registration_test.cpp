// Registration rows, component categories, the switches, clipboard formats and the
// shutdown rules of the COM server.
#include "case_names.h"
#include "corvane/platform/TestHooks.h"
#include "server_fixture.h"
#include "winbase.h"

using namespace corvane;
using namespace corvane::opc;

namespace {

const std::string kClsid = "{1B2C3D4E-5F60-4718-899A-ABBCCDDEEF01}";
const std::string kCat20 = "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}";
const std::string kCat10 = "{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}";

struct Row {
    std::string key;
    std::string value;
};

std::vector<Row> FactoryRows() {
    return {{"CLSID\\" + kClsid, "Test Server"},
            {"CLSID\\" + kClsid + "\\LocalServer32", "/opt/corvane/bin/corvane"},
            {"corvane.Scripted.2", "Test Server"},
            {"corvane.Scripted.2\\Clsid", kClsid},
            {"CLSID\\" + kClsid + "\\ProgID", "corvane.Scripted.2"},
            {"corvane.Scripted.2\\Opc", ""},
            {"corvane.Scripted.2\\Opc\\Vendor", "Tester"}};
}

class Registration : public test::ServerTest {
  protected:
    bool Run(TStartMode mode) { return TComServer::Instance().Initialize(mode, Target()); }
    std::string Value(const std::string& key) {
        return registry.QueryValue(key).value_or("(none)");
    }
};

TEST_F(Registration, RegServerWritesEveryRowAndExits) {
    EXPECT_FALSE(Run(TStartMode::RegServer));
    for (const Row& row : FactoryRows()) EXPECT_EQ(Value(row.key), row.value) << row.key;
    EXPECT_FALSE(registry.QueryValue("CLSID\\" + kClsid + "\\LocalServer32", "ThreadingModel"));
    EXPECT_TRUE(registry.KeyExists("CLSID\\" + kClsid + "\\Implemented Categories\\" + kCat20));
    EXPECT_TRUE(registry.KeyExists("CLSID\\" + kClsid + "\\Implemented Categories\\" + kCat10));
    const std::string locale = [] {
        char t[16];
        std::snprintf(t, sizeof t, "%x", static_cast<unsigned>(GetUserDefaultLCID()));
        return std::string(t);
    }();
    EXPECT_EQ(registry.QueryValue("Component Categories\\" + kCat20, locale),
              "OPC Data Access Servers Version 2.0");
    EXPECT_EQ(registry.QueryValue("Component Categories\\" + kCat10, locale),
              "OPC Data Access Servers Version 1.0");
    // Nothing was published.
    platform::ComPtr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(test::kTestClsid, nullptr, CLSCTX_ALL, IID_IUnknown, p.PutVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST_F(Registration, ReRegisteringKeepsAHandChangedVendor) {
    Run(TStartMode::RegServer);
    registry.SetValue("corvane.Scripted.2\\Opc\\Vendor", "", "Changed by hand");
    registry.SetValue("CLSID\\" + kClsid, "", "Changed too");
    Run(TStartMode::RegServer);
    EXPECT_EQ(Value("corvane.Scripted.2\\Opc\\Vendor"), "Changed by hand");
    EXPECT_EQ(Value("CLSID\\" + kClsid), "Test Server");
}

TEST_F(Registration, UnregServerRemovesEveryRowButKeepsTheCategories) {
    Run(TStartMode::RegServer);
    EXPECT_FALSE(Run(TStartMode::UnregServer));
    for (const Row& row : FactoryRows()) EXPECT_FALSE(registry.KeyExists(row.key)) << row.key;
    EXPECT_TRUE(registry.KeyExists("Component Categories\\" + kCat20));
    EXPECT_TRUE(registry.KeyExists("Component Categories\\" + kCat10));
    // Unregistering what is not there is no failure.
    EXPECT_FALSE(Run(TStartMode::UnregServer));
}

TEST_F(Registration, NormalStartRegistersAndPublishes) {
    EXPECT_TRUE(Run(TStartMode::Normal));
    EXPECT_EQ(Value("corvane.Scripted.2\\Clsid"), kClsid);
    platform::ComPtr<IOPCServer> server;
    EXPECT_EQ(CoCreateInstance(test::kTestClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                               server.PutVoid()),
              S_OK);
}

TEST_F(Registration, PathWithABlankIsRecordedInFull) {
    TRegistrationTarget target{registry, "/home/op/My Programs/corvane"};
    TComServer::Instance().Factories()[0]->UpdateRegistry(true, target);
    EXPECT_EQ(Value("CLSID\\" + kClsid + "\\LocalServer32"), "/home/op/My Programs/corvane");
}

TEST_F(Registration, RefusedWritesEndOnlyARegServerRun) {
    platform::ClassesRoot readOnly("/proc/corvane-no-such-dir/registry.reg");
    TRegistrationTarget target{readOnly, "/opt/corvane/bin/corvane"};
    EXPECT_THROW(TComServer::Instance().Initialize(TStartMode::RegServer, target),
                 platform::ERegistryWriteError);
    EXPECT_FALSE(TComServer::Instance().Initialize(TStartMode::UnregServer, target));
    EXPECT_TRUE(TComServer::Instance().Initialize(TStartMode::Normal, target));
}

TEST(RegistrationCategories, MissingManagerIsRaised) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    test::TempRegistry file;
    platform::ClassesRoot registry(file.Path());
    platform::ComPtr<TOpcServerFactory> factory(
        new TOpcServerFactory(test::kTestClsid, "Scripted.2", "Test Server", "Tester"));
    try {
        factory->UpdateRegistry(true, {registry, "/opt/corvane/bin/corvane"});
        FAIL();
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.Code(), REGDB_E_CLASSNOTREG);
    }
    // Unregistering does not look at the manager's failure.
    EXPECT_NO_THROW(factory->UpdateRegistry(false, {registry, "/opt/corvane/bin/corvane"}));
    CoUninitialize();
}

TEST(RegisterOpcServer, VersionChangesOnlyTheProgIdSuffix) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    test::TempRegistry file;
    const DWORD cookie = RegisterCategoriesManager(file.Path());
    platform::ClassesRoot registry(file.Path());
    RegisterOpcServer(test::kTestClsid, 3, "Test Server", "Tester",
                      std::make_unique<test::ScriptedServer>());
    EXPECT_EQ(ItemServer().VendorInfo, "Tester Test Server");
    TComServer::Instance().Initialize(TStartMode::RegServer, {registry, "/x/Sim.exe"});
    EXPECT_EQ(registry.QueryValue("Sim.Scripted.3\\Clsid"), kClsid);
    EXPECT_EQ(registry.QueryValue("CLSID\\" + kClsid + "\\ProgID"), "Sim.Scripted.3");
    TComServer::Instance().Shutdown();
    CoRevokeClassObject(cookie);
    CoUninitialize();
    CoUninitialize();
}

TEST(RegisterOpcServer, ClipFormatsInOrder) {
    RegisterOpcServer(test::kTestClsid, 2, "Test Server", "Tester",
                      std::make_unique<test::ScriptedServer>());
    char name[64];
    ASSERT_GT(GetClipboardFormatNameA(ClipFormats().Data, name, sizeof name), 0);
    EXPECT_STREQ(name, "OPCSTMFORMATDATA");
    GetClipboardFormatNameA(ClipFormats().DataTime, name, sizeof name);
    EXPECT_STREQ(name, "OPCSTMFORMATDATATIME");
    GetClipboardFormatNameA(ClipFormats().WriteComplete, name, sizeof name);
    EXPECT_STREQ(name, "OPCSTMFORMATWRITECOMPLETE");
    EXPECT_EQ(TComServer::Instance().Factories().size(), 1u);
    EXPECT_EQ(TComServer::Instance().Factories()[0]->ClassName(), "Scripted.2");
    TComServer::Instance().Shutdown();
    EXPECT_EQ(ItemServerOrNull(), nullptr);  // the framework destroyed it
}

TEST(RegisterOpcServer, RefusedClipFormatStopsTheRest) {
    std::vector<std::string> asked;
    platform::SetClipboardFormatFailure([&](const char* name) {
        asked.push_back(name);
        return std::string(name) == "OPCSTMFORMATDATATIME";
    });
    try {
        RegisterOpcServer(test::kTestClsid, 2, "Test Server", "Tester",
                          std::make_unique<test::ScriptedServer>());
        ADD_FAILURE();
    } catch (const EOpcServer& e) {
        EXPECT_STREQ(e.what(), "Could not register OPCSTMFORMATDATATIME clip format");
    }
    platform::SetClipboardFormatFailure(nullptr);
    EXPECT_EQ(asked, (std::vector<std::string>{"OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME"}));
    EXPECT_TRUE(TComServer::Instance().Factories().empty());
    TComServer::Instance().Shutdown();
}

struct SwitchCase {
    std::vector<std::string> arguments;
    TStartMode mode;
};

const SwitchCase kSwitches[] = {
    {{}, TStartMode::Normal},
    {{"/regserver"}, TStartMode::RegServer},
    {{"-RegServer"}, TStartMode::RegServer},
    {{"-UnRegServer"}, TStartMode::UnregServer},
    {{"/UNREGSERVER"}, TStartMode::UnregServer},
    {{"-Automation"}, TStartMode::ByCom},
    {{"/embedding"}, TStartMode::ByCom},
    {{"regserver"}, TStartMode::Normal},
    {{"--regserver"}, TStartMode::Normal},
    {{"/reg"}, TStartMode::Normal},
    {{"program.awl", "-embedding"}, TStartMode::ByCom},
    {{"/home/op/regserver"}, TStartMode::Normal},
};

class Switches : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(Switches, SwitchWordAfterDashOrSlashInAnyCase) {
    EXPECT_EQ(StartModeOf(GetParam().arguments), GetParam().mode);
}

// The arguments with their symbols spelt, "program_Dot_awl_Dash_embedding".
std::string SwitchCaseName(const SwitchCase& c) {
    std::string name;
    for (const std::string& argument : c.arguments) {
        if (!name.empty()) name += '_';
        name += test::CaseName(argument, {{'/', "Slash"}, {'-', "Dash"}, {'.', "Dot"}});
    }
    return name.empty() ? "NoArguments" : name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Switches, ::testing::ValuesIn(kSwitches),
                         [](const auto& info) { return SwitchCaseName(info.param); });

TEST_F(Registration, StartedByComQuitsWhenTheLastObjectGoes) {
    int quits = 0;
    TComServer::Instance().SetQuitHandler([&] { ++quits; });
    ASSERT_TRUE(Run(TStartMode::ByCom));
    EXPECT_TRUE(TComServer::Instance().StartedByCom());
    {
        auto a = Create<IOPCServer>(IID_IOPCServer);
        auto b = Create<IOPCServer>(IID_IOPCServer);
        a.Reset();
        EXPECT_EQ(quits, 0);
    }
    EXPECT_EQ(quits, 1);
    TComServer::Instance().SetQuitHandler(nullptr);
}

TEST_F(Registration, NormalStartDoesNotQuitWithTheLastObject) {
    int quits = 0;
    TComServer::Instance().SetQuitHandler([&] { ++quits; });
    ASSERT_TRUE(Run(TStartMode::Normal));
    Create<IOPCServer>(IID_IOPCServer);
    EXPECT_EQ(quits, 0);
    TComServer::Instance().SetQuitHandler(nullptr);
}

TEST_F(Registration, ClosingWithLiveObjectsAsksFirst) {
    ASSERT_TRUE(Run(TStartMode::Normal));
    std::vector<std::pair<std::string, std::string>> asked;
    bool answer = false;
    auto ask = [&](const std::string& title, const std::string& text) {
        asked.emplace_back(title, text);
        return answer;
    };
    EXPECT_TRUE(TComServer::Instance().CanClose(ask));
    EXPECT_TRUE(asked.empty());
    auto server = Create<IOPCServer>(IID_IOPCServer);
    EXPECT_FALSE(TComServer::Instance().CanClose(ask));
    answer = true;
    EXPECT_TRUE(TComServer::Instance().CanClose(ask));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].first, "COM Server Warning");
    EXPECT_EQ(asked[0].second,
              "There are still active COM objects in this application.  One or more clients may "
              "have references to these objects, so manually closing this application may cause "
              "those client application(s) to fail.\n\nAre you sure you want to close this "
              "application?");
}

}  // namespace
