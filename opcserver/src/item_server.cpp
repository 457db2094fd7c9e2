// TOpcItemServer: the singleton rules, the base behaviour of every operation, and the
// rebuilding of the browse tree.
#include <cxxabi.h>
#include <atomic>

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "opcserver/ItemServer.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/ServerWindow.h"
#include "winbase.h"

namespace corvane::opc {
namespace {

std::mutex gSingletonMutex;
// Read on every item of every tick: an atomic, so readers take no lock. Writers still
// serialise on the mutex.
std::atomic<TOpcItemServer*> gItemServer = nullptr;
std::mutex gFactoryMutex;
TServerItemListFactory gServerItemListFactory;

// Full path of a branch, root excluded, for finding "the same branch" after a rebuild.
std::string PathOf(const TItemIdList* branch) {
    return branch && branch->Parent ? ItemIdOf(*branch) : std::string();
}

}  // namespace

void SetServerItemListFactory(TServerItemListFactory factory) {
    std::lock_guard lock(gFactoryMutex);
    gServerItemListFactory = std::move(factory);
}

TOpcItemServer::TOpcItemServer() {
    {
        std::lock_guard lock(gSingletonMutex);
        if (gItemServer) throw EOpcServer(kOnlyOneNamespace);
        gItemServer = this;
    }
    Window_ = detail::CreateServerWindow();
    if (!Window_) {
        std::lock_guard lock(gSingletonMutex);
        gItemServer = nullptr;
        throw EOpcServer(kNoOpcWindow);
    }
    try {
        TServerItemListFactory factory;
        {
            std::lock_guard lock(gFactoryMutex);
            factory = gServerItemListFactory;
        }
        if (factory) ServerItems = factory();
    } catch (...) {
        detail::DestroyServerWindow(Window_);
        std::lock_guard lock(gSingletonMutex);
        gItemServer = nullptr;
        throw;
    }
    StampStartTime();
}

TOpcItemServer::~TOpcItemServer() {
    detail::DestroyServerWindow(Window_);
    ServerItems.reset();
    NamespaceRoot.reset();
    std::lock_guard lock(gSingletonMutex);
    if (gItemServer == this) gItemServer = nullptr;
}

TOpcItemServer& ItemServer() {
    TOpcItemServer* server = ItemServerOrNull();
    if (!server) throw EOpcServer(kNoItemServer);
    return *server;
}

TOpcItemServer* ItemServerOrNull() {
    return gItemServer.load(std::memory_order_acquire);
}

TServersLock::TServersLock() : lock_(ItemServer().Servers.Lock), list_(ItemServer().Servers.List) {}

void TOpcItemServer::HandleException(const std::exception&) {}
char TOpcItemServer::PathDelimiter() {
    return '.';
}
char TOpcItemServer::SecondDelimiter() {
    return '.';
}

std::string TOpcItemServer::GetErrorString(HRESULT Code, LCID LocaleID) {
    if (const char* text = OpcErrorText(Code)) return text;
    char buffer[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(Code), LANGIDFROMLCID(LocaleID),
                                   buffer, sizeof buffer, nullptr);
    if (n == 0) throw EOpcError(E_INVALIDARG);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

TServerOptions TOpcItemServer::Options() {
    return {};
}
DWORD TOpcItemServer::MinUpdateRate() {
    return 20;
}
bool TOpcItemServer::SubscribeItem(TItemHandle, TItemChangeNotify) {
    return false;
}
void TOpcItemServer::UnsubscribeItem(TItemHandle) {}

bool TOpcItemServer::MatchesBrowseFilter(const std::string& Filter, TAccessRights AccessFilter,
                                         VARTYPE TypeFilter, const std::string& Name,
                                         TAccessRights ItemAccess, VARTYPE ItemType) {
    if (!Filter.empty()) {
        try {
            if (!MatchesMask(Name, Filter)) return false;
        } catch (const EMaskError&) {
            throw EOpcError(OPC_E_INVALIDFILTER);
        }
    }
    if (!AccessFilter.Empty() && !ItemAccess.Intersects(AccessFilter)) return false;
    if (TypeFilter != VT_EMPTY && TypeFilter != ItemType) return false;
    return true;
}

std::string TOpcItemServer::ClassName() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // The class name without namespaces or template arguments.
    name = name.substr(0, name.find('<'));
    const auto colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string TOpcItemServer::FactoryClassName(int Version) {
    return ClassName() + "." + std::to_string(Version);
}

TItemHandle TOpcItemServer::GetItemInfo(const std::string&, std::string&, TAccessRights&) {
    throw EOpcError(OPC_E_INVALIDITEMID);
}

TItemHandle TOpcItemServer::GetExtendedItemInfo(const std::string& ItemId, std::string& AccessPath,
                                                TAccessRights& AccessRights,
                                                platform::ComPtr<IEUInfo>&,
                                                platform::ComPtr<IItemProperties>&) {
    return GetItemInfo(ItemId, AccessPath, AccessRights);
}

void TOpcItemServer::ReleaseHandle(TItemHandle) {}
void TOpcItemServer::LoadNamespace(TItemIdList&) {}
void TOpcItemServer::ClientConnected(TServerImpl*) {}
void TOpcItemServer::ClientDisconnected(TServerImpl*) {}
void TOpcItemServer::ClientNameChanged(TServerImpl*) {}
void TOpcItemServer::GroupAdded(TGroupImpl*) {}
void TOpcItemServer::GroupRemoved(TGroupImpl*) {}
void TOpcItemServer::ItemAdded(TGroupItemImpl*) {}
void TOpcItemServer::ItemRemoved(TGroupItemImpl*) {}
void TOpcItemServer::ItemValueChanged(TGroupItemImpl*) {}
void TOpcItemServer::CallbackFailed(const std::exception&, TGroupImpl*, TCallbackKind) {}
void TOpcItemServer::ReservedNotification(void*, void*, void*) {}
void TOpcItemServer::GetTimestamp(FILETIME& Time) {
    GetSystemTimeAsFileTime(&Time);
}

void TOpcItemServer::StampStartTime() {
    GetTimestamp(StartTime);
}

bool TOpcItemServer::HasOption(unsigned Option) {
    if (Option > 7) return false;
    return (Options().Bits() >> Option) & 1u;
}

void TOpcItemServer::EnsureNamespace(TItemIdList*& Position) {
    if (!NamespaceRoot) {
        RebuildNamespace(false);
        Position = NamespaceRoot.get();
    } else if (!Position) {
        Position = NamespaceRoot.get();
    }
}

void TOpcItemServer::RebuildNamespace(bool Merge) {
    std::lock_guard lock(Servers.Lock);
    std::vector<std::pair<TBrowseClient*, std::string>> positions;
    for (TBrowseClient* client : Servers.List) {
        positions.emplace_back(client, PathOf(client->BrowsePosition));
        client->BrowsePosition = nullptr;
    }
    if (!NamespaceRoot)
        NamespaceRoot = std::make_unique<TItemIdList>(nullptr, std::string());
    else if (!Merge)
        NamespaceRoot->Clear();
    MergeNamespace = Merge;
    LoadNamespace(*NamespaceRoot);
    for (auto& [client, path] : positions) {
        if (path.empty()) continue;
        client->BrowsePosition = dynamic_cast<TItemIdList*>(FindNode(*NamespaceRoot, path));
    }
}

}  // namespace corvane::opc
