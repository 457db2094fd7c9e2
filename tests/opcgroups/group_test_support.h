// Test doubles for the groups layer: an item server with a small item table that counts
// every call, a server-object host, and a fixture with a fake clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/platform/MessageLoop.h"
#include "corvane/platform/TestHooks.h"
#include "corvane/platform/Text.h"
#include "corvane/platform/VariantTime.h"
#include "opcgroups/Group.h"
#include "opcgroups/GroupList.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcErrors.h"
#include "winbase.h"

namespace corvane::test {

using opc::TItemHandle;
constexpr DWORD kSentinel = 0xdeadbeef;

struct FakeItem {
    TItemHandle Handle;
    DWORD Rights = 3;
    platform::Variant Value;
    WORD Quality = OPC_QUALITY_GOOD;
};

inline platform::Variant MakeBool(bool b) {
    platform::Variant v;
    v->vt = VT_BOOL;
    v->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
inline platform::Variant MakeI2(SHORT n) {
    platform::Variant v;
    v->vt = VT_I2;
    v->iVal = n;
    return v;
}
inline platform::Variant MakeR8(double d) {
    platform::Variant v;
    v->vt = VT_R8;
    v->dblVal = d;
    return v;
}
inline platform::Variant MakeText(const char* s) {
    platform::Variant v;
    const std::u16string w = platform::WideFromNarrow(s);
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocString(w.c_str());
    return v;
}

// Analog engineering units with fixed limits; lives on the test's stack.
class FakeEU : public opc::IEUInfo {
  public:
    FakeEU(double low, double high) : low_(low), high_(high) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    OPCEUTYPE STDMETHODCALLTYPE EUType() override { return static_cast<OPCEUTYPE>(0x81); }
    HRESULT STDMETHODCALLTYPE EUInfo(VARIANT* info) override {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 0, 2);
        LONG i = 0;
        SafeArrayPutElement(sa, &i, &low_);
        i = 1;
        SafeArrayPutElement(sa, &i, &high_);
        info->vt = VT_ARRAY | VT_R8;
        info->parray = sa;
        return S_OK;
    }
    ULONG refs = 1;

  private:
    double low_, high_;
};

class FakeItemServer : public opc::TOpcItemServer {
  public:
    // Items "Bool1", "Bool2", "ReadOnly", "WriteOnly", "Num" (VT_I2), "Unknown" (handle -1).
    FakeItemServer() {
        Add("Bool1", 1, 3, MakeBool(false));
        Add("Bool2", 2, 3, MakeBool(true));
        Add("ReadOnly", 3, OPC_READABLE, MakeBool(true));
        Add("WriteOnly", 4, OPC_WRITEABLE, MakeBool(false));
        Add("Num", 5, 3, MakeI2(7));
        Add("Unknown", opc::kNoHandle, 3, MakeBool(false));
    }
    void Add(const std::string& id, TItemHandle h, DWORD rights, platform::Variant value) {
        Items[id] = FakeItem{h, rights, std::move(value)};
    }
    FakeItem* ByHandle(TItemHandle h) {
        for (auto& [id, item] : Items)
            if (item.Handle == h) return &item;
        return nullptr;
    }

    TItemHandle GetItemInfo(const std::string& id, std::string&,
                            opc::TAccessRights& rights) override {
        ++InfoCalls;
        for (auto& [name, item] : Items) {
            if (EqualsNoCase(name, id)) {
                rights = opc::TAccessRights(static_cast<std::uint8_t>(item.Rights));
                return item.Handle;
            }
        }
        throw opc::EOpcError(OPC_E_UNKNOWNITEMID);
    }
    TItemHandle GetExtendedItemInfo(const std::string& id, std::string& path,
                                    opc::TAccessRights& rights, platform::ComPtr<opc::IEUInfo>& eu,
                                    platform::ComPtr<opc::IItemProperties>& props) override {
        const TItemHandle h = TOpcItemServer::GetExtendedItemInfo(id, path, rights, eu, props);
        if (auto it = EU.find(id); it != EU.end()) eu = it->second;
        return h;
    }
    platform::Variant GetItemValue(TItemHandle h, WORD& quality) override {
        ++ValueCalls;
        FakeItem* item = ByHandle(h);
        if (!item || FailRead.count(h)) throw opc::EOpcError(OPC_E_INVALIDHANDLE);
        if (ForeignFailure.count(h)) throw std::runtime_error("'M' is not a valid integer value");
        quality = item->Quality;
        return item->Value;
    }
    void SetItemValue(TItemHandle h, const VARIANT& value) override {
        if (ThrowVariantError) throw opc::EVariantError("conversion");
        if (ForeignFailure.count(h)) throw std::runtime_error("'M' is not a valid integer value");
        Written.push_back({h, platform::Variant(value)});
    }
    void ReleaseHandle(TItemHandle h) override { Released.push_back(h); }
    DWORD MinUpdateRate() override { return MinRate; }
    opc::TServerOptions Options() override { return Opts; }
    bool SubscribeItem(TItemHandle h, opc::TItemChangeNotify notify) override {
        if (!Subscribe) return false;
        Notifiers[h] = std::move(notify);
        return true;
    }
    void UnsubscribeItem(TItemHandle h) override { Unsubscribed.push_back(h); }
    void GetTimestamp(FILETIME& t) override { t = platform::FileTimeFromU64(Clock += 10); }
    void GroupAdded(opc::TGroupImpl* g) override { Log("GroupAdded", g); }
    void GroupRemoved(opc::TGroupImpl* g) override { Log("GroupRemoved", g); }
    void ItemAdded(opc::TGroupItemImpl* i) override { Log("ItemAdded", i); }
    void ItemRemoved(opc::TGroupItemImpl* i) override { Log("ItemRemoved", i); }
    void CallbackFailed(const std::exception& e, opc::TGroupImpl* g,
                        opc::TCallbackKind kind) override {
        const auto* error = dynamic_cast<const opc::EOpcError*>(&e);
        Failures.push_back({kind, error ? error->Code() : E_UNEXPECTED, g});
    }
    void HandleException(const std::exception& e) override { Exceptions.push_back(e.what()); }

    int Count(const std::string& name) const {
        int n = 0;
        for (const auto& c : Calls) n += c.first == name;
        return n;
    }

    static bool EqualsNoCase(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }

    struct Failure {
        opc::TCallbackKind Kind;
        HRESULT Code;
        opc::TGroupImpl* Group;
    };
    std::vector<Failure> Failures;
    std::vector<std::string> Exceptions;
    std::map<std::string, FakeItem> Items;
    int InfoCalls = 0;
    int ValueCalls = 0;
    std::vector<TItemHandle> Released;
    std::set<TItemHandle> FailRead;
    // Handles whose reads and writes fail with an exception the framework does not know,
    // as the controller's conversion error of a malformed address.
    std::set<TItemHandle> ForeignFailure;
    std::map<std::string, platform::ComPtr<opc::IEUInfo>> EU;
    std::vector<TItemHandle> Unsubscribed;
    std::vector<std::pair<TItemHandle, platform::Variant>> Written;
    std::vector<std::pair<std::string, void*>> Calls;
    std::map<TItemHandle, opc::TItemChangeNotify> Notifiers;
    DWORD MinRate = 20;
    opc::TServerOptions Opts;
    bool Subscribe = false;
    bool ThrowVariantError = false;
    std::uint64_t Clock = 1000;

  private:
    void Log(const char* name, void* object) { Calls.emplace_back(name, object); }
};

// The server object's side, as the groups see it.
class TestHost final : public opc::TGroupHost {
  public:
    opc::TGroupList& Groups() override { return List; }
    void SetLastUpdateTime(const FILETIME& t) override { LastUpdateTime = t; }
    LCID HostLocaleID() const override { return 0x800; }
    std::string HostClientName() const override { return "test client"; }

    FILETIME LastUpdateTime{};
    opc::TGroupList List{*this};
};

// A task-memory block the test frees however it leaves.
template <class T>
struct TaskMem {
    T* p = reinterpret_cast<T*>(static_cast<std::uintptr_t>(kSentinel));
    ~TaskMem() { Free(); }
    void Free() {
        if (p && p != Sentinel()) CoTaskMemFree(p);
        p = nullptr;
    }
    static T* Sentinel() { return reinterpret_cast<T*>(static_cast<std::uintptr_t>(kSentinel)); }
    T** operator&() { return &p; }
    T& operator[](std::size_t i) const { return p[i]; }
};

inline std::u16string W(const char* s) {
    return platform::WideFromNarrow(s);
}

inline OPCITEMDEF Def(const std::u16string& id, OPCHANDLE client, BOOL active = TRUE,
                      VARTYPE requested = VT_EMPTY) {
    OPCITEMDEF d{};
    d.szItemID = const_cast<LPWSTR>(id.c_str());
    d.hClient = client;
    d.bActive = active;
    d.vtRequestedDataType = requested;
    return d;
}

class GroupsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetTickSource([this] { return Now; });
        opc::InstallServerItemList();
        Server = std::make_unique<FakeItemServer>();
        Host = std::make_unique<TestHost>();
        TaskMemAtStart = platform::TaskMemOutstanding();
    }
    void TearDown() override {
        platform::SetTaskMemFailure(nullptr);
        Host.reset();
        Server.reset();
        platform::ProcessMessages();
        platform::SetTickSource(nullptr);
        EXPECT_EQ(platform::TaskMemOutstanding(), TaskMemAtStart);
    }

    // AddGroup with the given name and rate; the test owns the returned reference.
    platform::ComPtr<IOPCItemMgt> AddGroup(const char* name, DWORD rate = 100, BOOL active = TRUE,
                                           OPCHANDLE* server = nullptr) {
        const std::u16string n = W(name);
        IUnknown* unk = nullptr;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        const HRESULT hr = Host->List.AddGroup(n.c_str(), active, rate, 77, nullptr, nullptr, 0x409,
                                               &h, &revised, IID_IOPCItemMgt, &unk);
        EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
        if (server) *server = h;
        return platform::ComPtr<IOPCItemMgt>::Adopt(static_cast<IOPCItemMgt*>(unk));
    }
    // Adds items by id; returns their server handles (0 for failed ones).
    std::vector<OPCHANDLE> AddItems(IOPCItemMgt* group, const std::vector<const char*>& ids,
                                    BOOL active = TRUE) {
        std::vector<std::u16string> names;
        for (const char* id : ids) names.push_back(W(id));
        std::vector<OPCITEMDEF> defs;
        for (std::size_t i = 0; i < names.size(); ++i)
            defs.push_back(Def(names[i], static_cast<OPCHANDLE>(100 + i), active));
        TaskMem<OPCITEMRESULT> results;
        TaskMem<HRESULT> errors;
        group->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; i < defs.size(); ++i)
            handles.push_back(results.p ? results[i].hServer : 0);
        return handles;
    }
    static opc::TGroupImpl& Impl(IUnknown* group) {
        platform::ComPtr<IOPCGroupStateMgt> state;
        group->QueryInterface(IID_IOPCGroupStateMgt, state.PutVoid());
        return *static_cast<opc::TGroupImpl*>(state.Get());
    }
    void Advance(std::uint64_t ms) {
        Now += ms;
        platform::ProcessMessages();
    }

    std::uint64_t Now = 50000;
    std::unique_ptr<FakeItemServer> Server;
    std::unique_ptr<TestHost> Host;
    std::size_t TaskMemAtStart = 0;
};

}  // namespace corvane::test
