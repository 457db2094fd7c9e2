// Apartments, the class-object table, disconnection and the server process count.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "corvane/platform/LocalServer.h"
#include "corvane/platform/Registry.h"
#include "corvane/platform/TestHooks.h"
#include "corvane/platform/Text.h"
#include "objbase.h"

namespace corvane::platform {
namespace {

struct Apartment {
    int initCount = 0;
    DWORD mode = COINIT_APARTMENTTHREADED;
};
thread_local Apartment tApartment;

struct ClassEntry {
    CLSID clsid;
    IUnknown* object;  // holds one reference
    DWORD context;
    DWORD flags;
    bool suspended;
    bool used;  // a single-use registration serves one activation only
};

std::mutex gClassMutex;
std::map<DWORD, ClassEntry> gClasses;
DWORD gNextCookie = 1;
std::mutex gDisconnectMutex;
std::function<void(void*)> gDisconnectHandler;
std::atomic<ULONG> gServerProcessRefs{0};

}  // namespace

void SetDisconnectHandler(std::function<void(void* unknown)> handler) {
    std::lock_guard lock(gDisconnectMutex);
    gDisconnectHandler = std::move(handler);
}

bool ApartmentInitialized() {
    return tApartment.initCount > 0;
}

}  // namespace corvane::platform

using namespace corvane::platform;

namespace {
// Function-local: a transport installs itself from a static initialiser of its own.
struct TActivatorSlot {
    std::mutex Mutex;
    corvane::platform::LocalServerActivator Activator;
};
TActivatorSlot& ActivatorSlot() {
    static TActivatorSlot slot;
    return slot;
}

corvane::platform::LocalServerActivator CurrentActivator() {
    std::lock_guard lock(ActivatorSlot().Mutex);
    return ActivatorSlot().Activator;
}
}  // namespace

namespace corvane::platform {
void SetLocalServerActivator(LocalServerActivator activator) {
    std::lock_guard lock(ActivatorSlot().Mutex);
    ActivatorSlot().Activator = std::move(activator);
}
}  // namespace corvane::platform

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    *lpclsid = GUID_NULL;
    const std::string progId = corvane::platform::NarrowFromWide(lpszProgID);
    if (progId.empty() || progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    try {
        const corvane::platform::ClassesRoot registry;
        const auto text = registry.QueryValue(progId + "\\CLSID");
        if (!text) return CO_E_CLASSSTRING;
        const std::u16string wide = corvane::platform::WideFromNarrow(*text);
        return FAILED(CLSIDFromString(wide.c_str(), lpclsid)) ? CO_E_CLASSSTRING : S_OK;
    } catch (const std::exception&) {
        return REGDB_E_READREGDB;
    }
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    const DWORD mode = dwCoInit & COINIT_APARTMENTTHREADED;
    if (tApartment.initCount > 0) {
        if (tApartment.mode != mode) return RPC_E_CHANGED_MODE;
        ++tApartment.initCount;
        return S_FALSE;
    }
    tApartment.mode = mode;
    tApartment.initCount = 1;
    return S_OK;
}

void CoUninitialize() {
    if (tApartment.initCount > 0) --tApartment.initCount;
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
    if (!pUnk || !lpdwRegister) return E_INVALIDARG;
    *lpdwRegister = 0;
    if (!ApartmentInitialized()) return CO_E_NOTINITIALIZED;
    std::lock_guard lock(gClassMutex);
    const DWORD cookie = gNextCookie++;
    pUnk->AddRef();
    gClasses[cookie] =
        ClassEntry{rclsid, pUnk, dwClsContext, flags, (flags & REGCLS_SUSPENDED) != 0, false};
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    IUnknown* object = nullptr;
    {
        std::lock_guard lock(gClassMutex);
        auto it = gClasses.find(dwRegister);
        if (it == gClasses.end()) return CO_E_OBJNOTREG;
        object = it->second.object;
        gClasses.erase(it);
    }
    // Released outside the lock: the class object may revoke or register others.
    object->Release();
    return S_OK;
}

HRESULT CoResumeClassObjects() {
    std::lock_guard lock(gClassMutex);
    for (auto& [cookie, entry] : gClasses) entry.suspended = false;
    return S_OK;
}

HRESULT CoSuspendClassObjects() {
    std::lock_guard lock(gClassMutex);
    for (auto& [cookie, entry] : gClasses) entry.suspended = true;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO*, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!ApartmentInitialized()) return CO_E_NOTINITIALIZED;
    IUnknown* object = nullptr;
    {
        std::lock_guard lock(gClassMutex);
        for (auto& [cookie, entry] : gClasses) {
            if (entry.clsid != rclsid || entry.suspended || entry.used) continue;
            if ((entry.context & dwClsContext) == 0) continue;
            if ((entry.flags & (REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE)) == 0)
                entry.used = true;
            object = entry.object;
            object->AddRef();
            break;
        }
    }
    if (!object) return REGDB_E_CLASSNOTREG;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (hr == REGDB_E_CLASSNOTREG && (dwClsContext & CLSCTX_LOCAL_SERVER)) {
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        if (const auto activator = CurrentActivator()) return activator(rclsid, riid, ppv);
    }
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsCtx,
                           COSERVERINFO* pServerInfo, DWORD dwCount, MULTI_QI* pResults) {
    if (dwCount == 0 || !pResults) return E_INVALIDARG;
    for (DWORD i = 0; i < dwCount; ++i) {
        pResults[i].pItf = nullptr;
        pResults[i].hr = E_NOINTERFACE;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsCtx, pServerInfo, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    IUnknown* object = nullptr;
    if (hr == REGDB_E_CLASSNOTREG && (dwClsCtx & CLSCTX_LOCAL_SERVER) && CurrentActivator()) {
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        hr = CurrentActivator()(rclsid, IID_IUnknown, reinterpret_cast<void**>(&object));
        if (FAILED(hr)) return hr;
    } else {
        if (FAILED(hr)) return hr;
        hr = factory->CreateInstance(pUnkOuter, IID_IUnknown, reinterpret_cast<void**>(&object));
        factory->Release();
        if (FAILED(hr)) return hr;
    }
    DWORD found = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        pResults[i].hr =
            object->QueryInterface(*pResults[i].pIID, reinterpret_cast<void**>(&pResults[i].pItf));
        if (SUCCEEDED(pResults[i].hr)) ++found;
    }
    object->Release();
    if (found == 0) return E_NOINTERFACE;
    return found == dwCount ? S_OK : CO_S_NOTALLINTERFACES;
}

HRESULT CoDisconnectObject(LPUNKNOWN pUnk, DWORD) {
    if (!pUnk) return E_INVALIDARG;
    std::function<void(void*)> handler;
    {
        std::lock_guard lock(gDisconnectMutex);
        handler = gDisconnectHandler;
    }
    if (handler) handler(pUnk);
    return S_OK;
}

ULONG CoAddRefServerProcess() {
    return ++gServerProcessRefs;
}

ULONG CoReleaseServerProcess() {
    ULONG current = gServerProcessRefs.load();
    while (current > 0 && !gServerProcessRefs.compare_exchange_weak(current, current - 1)) {
    }
    return current > 0 ? current - 1 : 0;
}
