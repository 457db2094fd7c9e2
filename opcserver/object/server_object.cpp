// The server object's life, its interface table, connection point and status.
#include <mutex>

#include "ComGuard.h"
#include "opcgroups/GroupList.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/ServerImpl.h"
#include "opcserver/ServerWindow.h"

namespace corvane::opc {
namespace {

std::atomic<int> gObjectCount{0};
std::mutex gLastObjectMutex;
std::function<void()> gLastObjectGone;
std::mutex gVersionMutex;
TFileVersion gFileVersion;

using TQueryFn = void* (*)(TServerImpl*);

struct TInterfaceEntry {
    const IID* Iid;
    TQueryFn Cast;
};

// The interfaces QueryInterface offers, in the order the lookup tries them.
const TInterfaceEntry kInterfaces[] = {
    {&IID_IUnknown, [](TServerImpl* s) -> void* { return static_cast<IOPCServer*>(s); }},
    {&IID_ISupportErrorInfo,
     [](TServerImpl* s) -> void* { return static_cast<ISupportErrorInfo*>(s); }},
    {&IID_IOPCItemProperties,
     [](TServerImpl* s) -> void* { return static_cast<IOPCItemProperties*>(s); }},
    {&IID_IConnectionPointContainer,
     [](TServerImpl* s) -> void* { return static_cast<IConnectionPointContainer*>(s); }},
    {&IID_IOPCBrowseServerAddressSpace,
     [](TServerImpl* s) -> void* { return static_cast<IOPCBrowseServerAddressSpace*>(s); }},
    {&IID_IOPCCommon, [](TServerImpl* s) -> void* { return static_cast<IOPCCommon*>(s); }},
    {&IID_IOPCServer, [](TServerImpl* s) -> void* { return static_cast<IOPCServer*>(s); }},
};

}  // namespace

void TComObjectCounter::ObjectCreated() {
    ++gObjectCount;
}

void TComObjectCounter::ObjectDestroyed() {
    if (--gObjectCount != 0) return;
    std::function<void()> handler;
    {
        std::lock_guard lock(gLastObjectMutex);
        handler = gLastObjectGone;
    }
    if (handler) handler();
}

int TComObjectCounter::Count() {
    return gObjectCount;
}

void TComObjectCounter::SetLastObjectGone(std::function<void()> handler) {
    std::lock_guard lock(gLastObjectMutex);
    gLastObjectGone = std::move(handler);
}

void SetServerFileVersion(TFileVersion Version) {
    std::lock_guard lock(gVersionMutex);
    gFileVersion = Version;
}

TClientInfo::TClientInfo() {
    TComObjectCounter::ObjectCreated();
}

TClientInfo::~TClientInfo() {
    TComObjectCounter::ObjectDestroyed();
}

ULONG TClientInfo::ReleaseImpl() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT TClientInfo::InterfaceSupportsErrorInfo(REFIID) {
    return S_FALSE;  // no error objects are ever set
}

TServerImpl::TServerImpl() {
    TOpcItemServer& server = ItemServer();  // raises "OPCSERV: No item server"
    ShutdownPoint = std::make_unique<TConnectionPoint>(
        *Unknown(),
        [this](IUnknown* sink, bool connecting) { ShutdownSinkChanged(sink, connecting); },
        IID_IOPCShutdown);
    GroupList_ = std::make_unique<TGroupList>(*this);
    LocaleID = LOCALE_SYSTEM_DEFAULT;
    {
        std::lock_guard lock(server.Servers.Lock);
        server.Servers.List.push_back(this);
    }
    ServerState = OPC_STATUS_RUNNING;
    NotifyItemServer(TNotification::ClientConnected, this);
}

TServerImpl::~TServerImpl() {
    if (TOpcItemServer* server = ItemServerOrNull()) {
        std::lock_guard lock(server->Servers.Lock);
        std::erase(server->Servers.List, static_cast<TBrowseClient*>(this));
    }
    if (ServerState == OPC_STATUS_RUNNING)
        NotifyItemServer(TNotification::ClientDisconnected, this);
    GroupList_.reset();
    ShutdownPoint.reset();
}

HRESULT TServerImpl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IOPCBrowseServerAddressSpace) {
        TOpcItemServer* server = ItemServerOrNull();
        if (server && server->HasOption(static_cast<unsigned>(TServerOption::soNoBrowseInterface)))
            return E_NOINTERFACE;
    }
    for (const TInterfaceEntry& entry : kInterfaces) {
        if (*entry.Iid != riid) continue;
        *ppv = entry.Cast(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT TServerImpl::GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) {
    if (!ppString) return E_INVALIDARG;
    *ppString = nullptr;
    return detail::ComGuard([&] {
        *ppString = OpcWideCopy(ItemServer().GetErrorString(dwError, dwLocale));
        return S_OK;
    });
}

HRESULT TServerImpl::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
    if (!ppServerStatus) return E_INVALIDARG;
    *ppServerStatus = nullptr;
    TaskMemPtr<OPCSERVERSTATUS> status;
    const HRESULT hr = detail::ComGuard([&] {
        TOpcItemServer& server = ItemServer();
        status.reset(OpcAllocArray<OPCSERVERSTATUS>(1));
        status->ftStartTime = server.StartTime;
        server.GetTimestamp(status->ftCurrentTime);
        status->ftLastUpdateTime = LastUpdateTime;
        status->dwServerState = ServerState;
        status->dwGroupCount = static_cast<DWORD>(GroupCount());
        status->dwBandWidth = 0xFFFFFFFF;
        {
            std::lock_guard lock(gVersionMutex);
            status->wMajorVersion = gFileVersion.Major;
            status->wMinorVersion = gFileVersion.Minor;
            status->wBuildNumber = gFileVersion.Build;
        }
        status->szVendorInfo = OpcWideCopy(server.VendorInfo);
        return S_OK;
    });
    if (SUCCEEDED(hr)) *ppServerStatus = status.release();
    return hr;
}

HRESULT TServerImpl::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_INVALIDARG;
    *ppEnum = nullptr;
    return detail::ComGuard([&] {
        platform::ComPtr<TEnumerateCP> e(new TEnumerateCP(ShutdownPoint.get()));
        *ppEnum = e.Detach();
        return S_OK;
    });
}

HRESULT TServerImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_INVALIDARG;
    *ppCP = nullptr;
    if (riid != IID_IOPCShutdown) return CONNECT_E_NOCONNECTION;
    ShutdownPoint->AddRef();
    *ppCP = ShutdownPoint.get();
    return S_OK;
}

void TServerImpl::ShutdownSinkChanged(IUnknown* Sink, bool Connecting) {
    ShutdownSink.Reset();
    if (Connecting && Sink) Sink->QueryInterface(IID_IOPCShutdown, ShutdownSink.PutVoid());
}

void TServerImpl::DisconnectClient() {
    const platform::ComPtr<IUnknown> self(Unknown());  // alive until the end of this call
    ShutdownPoint->ClearSink();
    ShutdownSink.Reset();
    DisconnectGroups();
    CoDisconnectObject(Unknown(), 0);
}

}  // namespace corvane::opc
