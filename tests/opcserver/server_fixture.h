// A registered OPC server with a scriptable item server, reached by tests the way a
// client reaches it: through CoCreateInstance and the standard interfaces.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/Registry.h"
#include "corvane/platform/Text.h"
#include "objbase.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/Registration.h"
#include "opcserver/ServerImpl.h"

namespace corvane::test {

inline constexpr CLSID kTestClsid = {
    0x1B2C3D4E, 0x5F60, 0x4718, {0x89, 0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0x01}};

// Items by position (handle = position + 1); records what the framework asks.
class ScriptedServer : public opc::TOpcItemServer {
  public:
    struct Item {
        std::string Id;
        opc::TAccessRights Rights;
        VARTYPE Type;
        bool Value;
    };
    std::vector<Item> Items;
    opc::TServerOptions Opts;
    std::function<void(opc::TItemIdList&)> Load;  // replaces the flat load of Items
    FILETIME Now{0x11112222, 0x01D00000};
    int ValueReads = 0;
    std::vector<opc::TItemHandle> Released;
    std::vector<std::string> Events;

    std::string ClassName() const override { return "Scripted"; }
    opc::TServerOptions Options() override { return Opts; }
    void GetTimestamp(FILETIME& Time) override { Time = Now; }
    opc::TItemHandle GetItemInfo(const std::string& ItemId, std::string&,
                                 opc::TAccessRights& Rights) override {
        for (std::size_t i = 0; i < Items.size(); ++i)
            if (Items[i].Id == ItemId) {
                Rights = Items[i].Rights;
                return static_cast<opc::TItemHandle>(i + 1);
            }
        throw opc::EOpcError(OPC_E_UNKNOWNITEMID);
    }
    void ReleaseHandle(opc::TItemHandle Handle) override { Released.push_back(Handle); }
    void LoadNamespace(opc::TItemIdList& Root) override {
        if (Load) return Load(Root);
        for (const Item& item : Items) opc::AddItemId(Root, item.Id, item.Rights, item.Type);
    }
    platform::Variant GetItemValue(opc::TItemHandle Handle, WORD& Quality) override {
        ++ValueReads;
        if (Handle < 1 || Handle > static_cast<opc::TItemHandle>(Items.size()))
            throw opc::EOpcError(OPC_E_INVALIDHANDLE);
        Quality = 0xC0;
        platform::Variant v;
        v->vt = VT_BOOL;
        v->boolVal =
            Items[static_cast<std::size_t>(Handle - 1)].Value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    void SetItemValue(opc::TItemHandle, const VARIANT&) override {}
    void ClientConnected(opc::TServerImpl*) override { Events.push_back("connected"); }
    void ClientDisconnected(opc::TServerImpl*) override { Events.push_back("disconnected"); }
    void ClientNameChanged(opc::TServerImpl*) override { Events.push_back("name"); }
};

// A temporary registry file for one test.
class TempRegistry {
  public:
    TempRegistry()
        : path_(std::filesystem::temp_directory_path() /
                ("corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) +
                 ".reg")) {
        std::filesystem::remove(path_);
    }
    ~TempRegistry() { std::filesystem::remove(path_); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

// Registers a ScriptedServer and starts the COM server in normal mode.
class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        categories = opc::RegisterCategoriesManager(registryFile.Path());
        auto owned = std::make_unique<ScriptedServer>();
        items = owned.get();
        opc::RegisterOpcServer(kTestClsid, 2, "Test Server", "Tester", std::move(owned));
    }
    void StartCom(opc::TStartMode mode = opc::TStartMode::Normal) {
        ASSERT_TRUE(opc::TComServer::Instance().Initialize(mode, Target()));
    }
    void TearDown() override {
        opc::TComServer::Instance().Shutdown();
        CoRevokeClassObject(categories);
        CoUninitialize();
        CoUninitialize();
    }
    opc::TRegistrationTarget Target() { return {registry, "/opt/corvane/bin/corvane"}; }

    template <class I>
    platform::ComPtr<I> Create(const IID& iid) {
        platform::ComPtr<I> p;
        EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_LOCAL_SERVER, iid, p.PutVoid()),
                  S_OK);
        return p;
    }
    template <class I>
    static platform::ComPtr<I> As(IUnknown* from, const IID& iid) {
        platform::ComPtr<I> p;
        EXPECT_EQ(from->QueryInterface(iid, p.PutVoid()), S_OK);
        return p;
    }
    static std::string Narrow(const WCHAR* text) { return platform::NarrowFromWide(text); }
    static std::u16string Wide(const char* text) { return platform::WideFromNarrow(text); }

    TempRegistry registryFile;
    platform::ClassesRoot registry{registryFile.Path()};
    DWORD categories = 0;
    ScriptedServer* items = nullptr;
};

}  // namespace corvane::test
