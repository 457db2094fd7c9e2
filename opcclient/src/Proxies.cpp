// The client half of every crossing method: one proxy manager per server object (its
// COM identity, holding the server's references) and one face per interface the client
// asked for. Results are read as untrusted: a reply that does not decode is
// RPC_E_INVALID_DATA and leaves nothing allocated.
#include <cstring>
#include <set>

#include "Proxies.h"

#include "ListEnumerator.h"
#include "objbase.h"
#include "opcbus/Marshal.h"
#include "opcclient/BusClient.h"
#include "opcda.h"
#include "winbase.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;

namespace {

// A face: the part of a proxy that implements one interface.
struct TFace {
    virtual ~TFace() = default;
    virtual void* Interface() = 0;
};

std::size_t gLiveProxies = 0;

template <class T>
void Zero(T* p) {
    if (p) *p = T{};
}

}  // namespace

class TProxyManager final : public IUnknown {
  public:
    TProxyManager(std::shared_ptr<TPeer> peer, std::uint32_t id) : Peer(std::move(peer)), Id(id) {
        Peer->Proxies[Id] = this;
        ++gLiveProxies;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    void AddRemoteRef() { ++remoteRefs_; }
    void Knows(TIface code) { known_.insert(code); }
    HRESULT Call(TIface code, std::uint16_t method, const TWriter& args,
                 std::vector<std::uint8_t>& out) {
        return CallPeer(*Peer, Id, code, method, args, out);
    }
    // An interface pointer in a reply: a proxy queried for `iid`, or null for id 0.
    HRESULT Object(TReader& r, REFIID iid, void** ppv) {
        const std::uint32_t id = r.U32();
        if (!r.Ok()) return RPC_E_INVALID_DATA;
        if (id == 0) return S_OK;
        return Unmarshal(Peer, id, iid, ppv);
    }

    const std::shared_ptr<TPeer> Peer;
    const std::uint32_t Id;

  private:
    ~TProxyManager() {
        --gLiveProxies;
        ForgetProxy(*Peer, Id);
        if (Peer->Alive && remoteRefs_) {
            TWriter w;
            w.U32(remoteRefs_);
            std::vector<std::uint8_t> ignored;
            CallPeer(*Peer, Id, TIface::Unknown, opcbus::kRelease, w, ignored);
        }
    }
    std::unique_ptr<TFace> MakeFace(TIface code);

    ULONG refs_ = 0;
    std::uint32_t remoteRefs_ = 0;
    std::map<TIface, std::unique_ptr<TFace>> faces_;
    std::set<TIface> known_;
};

namespace {

#define PROXY_IUNKNOWN                                                                     \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {           \
        return m_.QueryInterface(riid, ppv);                                               \
    }                                                                                      \
    ULONG STDMETHODCALLTYPE AddRef() override {                                            \
        return m_.AddRef();                                                                \
    }                                                                                      \
    ULONG STDMETHODCALLTYPE Release() override {                                           \
        return m_.Release();                                                               \
    }                                                                                      \
    void* Interface() override {                                                           \
        return static_cast<Base*>(this);                                                   \
    }                                                                                      \
    HRESULT Send(std::uint16_t method, const TWriter& w, std::vector<std::uint8_t>& out) { \
        return m_.Call(kCode, method, w, out);                                             \
    }                                                                                      \
    HRESULT Send(std::uint16_t method, const TWriter& w) {                                 \
        std::vector<std::uint8_t> out;                                                     \
        return m_.Call(kCode, method, w, out);                                             \
    }                                                                                      \
    TProxyManager& m_;

#define FINISH(r) \
    if (!(r).Done()) return RPC_E_INVALID_DATA

template <class T, class F>
void PutOptional(TWriter& w, const T* value, F put) {
    w.U8(value ? 1 : 0);
    if (value) put(*value);
}

void FreeStrings(LPWSTR* strings, DWORD n) {
    if (!strings) return;
    for (DWORD i = 0; i < n; ++i) CoTaskMemFree(strings[i]);
    CoTaskMemFree(strings);
}

class TServerFace final : public IOPCServer, public TFace {
    using Base = IOPCServer;
    static constexpr TIface kCode = TIface::Server;

  public:
    explicit TServerFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRate,
                                       OPCHANDLE hClientGroup, LONG* pTimeBias,
                                       FLOAT* pPercentDeadband, DWORD dwLCID,
                                       OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                       REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!phServerGroup || !pRevisedUpdateRate || !ppUnk) return E_INVALIDARG;
        TWriter w;
        w.Str(szName ? szName : u"");
        w.I32(bActive);
        w.U32(dwRate);
        w.U32(hClientGroup);
        PutOptional(w, pTimeBias, [&](LONG v) { w.I32(v); });
        PutOptional(w, pPercentDeadband, [&](FLOAT v) { w.F32(v); });
        w.U32(dwLCID);
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *phServerGroup = r.U32();
        *pRevisedUpdateRate = r.U32();
        const HRESULT got = m_.Object(r, riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                             LPWSTR* ppString) override {
        Zero(ppString);
        if (!ppString) return E_INVALIDARG;
        TWriter w;
        w.I32(dwError);
        w.U32(dwLocale);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *ppString = r.TaskStr();
        if (!r.Done()) {
            CoTaskMemFree(std::exchange(*ppString, nullptr));
            return RPC_E_INVALID_DATA;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid,
                                             LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!szName || !ppUnk) return E_INVALIDARG;
        TWriter w;
        w.Str(szName);
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override {
        Zero(ppServerStatus);
        if (!ppServerStatus) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(3, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        OPCSERVERSTATUS* status = opcbus::GetStatusTask(r);
        if (!r.Done()) {
            if (status) CoTaskMemFree(status->szVendorInfo);
            CoTaskMemFree(status);
            return RPC_E_INVALID_DATA;
        }
        *ppServerStatus = status;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        TWriter w;
        w.U32(hServerGroup);
        w.I32(bForce);
        return Send(4, w);
    }
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                    LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        TWriter w;
        w.I32(dwScope);
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(5, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
};

class TCommonFace final : public IOPCCommon, public TFace {
    using Base = IOPCCommon;
    static constexpr TIface kCode = TIface::Common;

  public:
    explicit TCommonFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override {
        TWriter w;
        w.U32(dwLcid);
        return Send(0, w);
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override {
        if (!pdwLcid) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pdwLcid = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override {
        Zero(pdwCount);
        Zero(pdwLcid);
        if (!pdwCount || !pdwLcid) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader probe(out);
        const DWORD n = probe.U32();
        TReader r(out);
        LCID* ids = opcbus::GetDwordsTask(r, n);
        if (!r.Done()) {
            CoTaskMemFree(ids);
            return RPC_E_INVALID_DATA;
        }
        *pdwCount = n;
        *pdwLcid = ids;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override {
        Zero(ppString);
        if (!ppString) return E_INVALIDARG;
        TWriter w;
        w.I32(dwError);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(3, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *ppString = r.TaskStr();
        if (!r.Done()) {
            CoTaskMemFree(std::exchange(*ppString, nullptr));
            return RPC_E_INVALID_DATA;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override {
        TWriter w;
        w.Str(szName);
        return Send(4, w);
    }
};

class TBrowseFace final : public IOPCBrowseServerAddressSpace, public TFace {
    using Base = IOPCBrowseServerAddressSpace;
    static constexpr TIface kCode = TIface::Browse;

  public:
    explicit TBrowseFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        if (!pNameSpaceType) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(r.I32());
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dir, LPCWSTR text) override {
        TWriter w;
        w.I32(dir);
        w.Str(text);
        return Send(1, w);
    }
    HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE vt,
                                               DWORD rights, LPENUMSTRING* ppEnum) override {
        Zero(ppEnum);
        if (!ppEnum) return E_INVALIDARG;
        TWriter w;
        w.I32(type);
        w.Str(filter);
        w.U16(vt);
        w.U32(rights);
        return EnumResult(2, w, ppEnum);
    }
    HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override {
        Zero(szItemID);
        if (!szItemID) return E_INVALIDARG;
        TWriter w;
        w.Str(szItemDataID);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(3, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *szItemID = r.TaskStr();
        if (!r.Done()) {
            CoTaskMemFree(std::exchange(*szItemID, nullptr));
            return RPC_E_INVALID_DATA;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppEnum) override {
        Zero(ppEnum);
        if (!ppEnum) return E_INVALIDARG;
        TWriter w;
        w.Str(szItemID);
        return EnumResult(4, w, ppEnum);
    }

  private:
    HRESULT EnumResult(std::uint16_t method, const TWriter& w, LPENUMSTRING* ppEnum) {
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(method, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, IID_IEnumString, reinterpret_cast<void**>(ppEnum));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
};

class TPropertiesFace final : public IOPCItemProperties, public TFace {
    using Base = IOPCItemProperties;
    static constexpr TIface kCode = TIface::ItemProperties;

  public:
    explicit TPropertiesFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                       DWORD** ppPropertyIDs,
                                                       LPWSTR** ppDescriptions,
                                                       VARTYPE** ppvtDataTypes) override {
        Zero(pdwCount);
        Zero(ppPropertyIDs);
        Zero(ppDescriptions);
        Zero(ppvtDataTypes);
        if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
        TWriter w;
        w.Str(szItemID);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, w, out);
        if (FAILED(hr)) return hr;
        TReader probe(out);
        const DWORD n = probe.U32();
        TReader r(out);
        DWORD* ids = opcbus::GetDwordsTask(r, n);
        LPWSTR* names = opcbus::GetStringsTask(r, n);
        VARTYPE* types = nullptr;
        if (r.Ok() && n) {
            types = static_cast<VARTYPE*>(CoTaskMemAlloc(n * sizeof(VARTYPE)));
            if (!types) r.Fail();
            for (DWORD i = 0; types && i < n; ++i) types[i] = r.U16();
        }
        if (!r.Done()) {
            CoTaskMemFree(ids);
            FreeStrings(names, n);
            CoTaskMemFree(types);
            return RPC_E_INVALID_DATA;
        }
        *pdwCount = n;
        *ppPropertyIDs = ids;
        *ppDescriptions = names;
        *ppvtDataTypes = types;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                                HRESULT** ppErrors) override {
        Zero(ppvData);
        Zero(ppErrors);
        if (!ppvData || !ppErrors || (dwCount && !pdwPropertyIDs)) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, Args(szItemID, dwCount, pdwPropertyIDs), out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        VARIANT* values = opcbus::GetVariantsTask(r, dwCount);
        HRESULT* errors = opcbus::GetHResultsTask(r, dwCount);
        if (!r.Done()) {
            for (DWORD i = 0; values && i < dwCount; ++i) VariantClear(&values[i]);
            CoTaskMemFree(values);
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppvData = values;
        *ppErrors = errors;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                            LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) override {
        Zero(ppszNewItemIDs);
        Zero(ppErrors);
        if (!ppszNewItemIDs || !ppErrors || (dwCount && !pdwPropertyIDs)) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, Args(szItemID, dwCount, pdwPropertyIDs), out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        LPWSTR* names = opcbus::GetStringsTask(r, dwCount);
        HRESULT* errors = opcbus::GetHResultsTask(r, dwCount);
        if (!r.Done()) {
            FreeStrings(names, dwCount);
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppszNewItemIDs = names;
        *ppErrors = errors;
        return hr;
    }

  private:
    static TWriter Args(LPWSTR item, DWORD n, const DWORD* ids) {
        TWriter w;
        w.Str(item);
        w.U32(n);
        opcbus::PutDwords(w, ids, n);
        return w;
    }
};

void HandPoint(const platform::ComPtr<IConnectionPoint>& from, LPCONNECTIONPOINT& to) {
    to = from.Get();
    to->AddRef();
}
// IEnumConnectionPoints over the points the client already holds proxies of.
using TPointEnumerator =
    TListEnumerator<IEnumConnectionPoints, IID_IEnumConnectionPoints,
                    platform::ComPtr<IConnectionPoint>, LPCONNECTIONPOINT, &HandPoint>;

class TContainerFace final : public IConnectionPointContainer, public TFace {
    using Base = IConnectionPointContainer;
    static constexpr TIface kCode = TIface::ConnectionPointContainer;

  public:
    explicit TContainerFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        Zero(ppEnum);
        if (!ppEnum) return E_POINTER;
        // An OPC object has one point: the server's for IOPCShutdown, a group's for
        // IOPCDataCallback. The list is made here from what the server finds.
        std::vector<platform::ComPtr<IConnectionPoint>> points;
        for (const IID* iid : {&IID_IOPCShutdown, &IID_IOPCDataCallback}) {
            platform::ComPtr<IConnectionPoint> point;
            const HRESULT hr = FindConnectionPoint(*iid, point.Put());
            if (SUCCEEDED(hr))
                points.push_back(std::move(point));
            else if (hr != CONNECT_E_NOCONNECTION)
                return hr;
        }
        *ppEnum = TPointEnumerator::Make(std::move(points));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        Zero(ppCP);
        if (!ppCP) return E_POINTER;
        TWriter w;
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, IID_IConnectionPoint, reinterpret_cast<void**>(ppCP));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
};

class TPointFace final : public IConnectionPoint, public TFace {
    using Base = IConnectionPoint;
    static constexpr TIface kCode = TIface::ConnectionPoint;

  public:
    explicit TPointFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pIID = r.Guid();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** pp) override {
        Zero(pp);
        if (!pp) return E_POINTER;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got =
            m_.Object(r, IID_IConnectionPointContainer, reinterpret_cast<void**>(pp));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (pdwCookie) *pdwCookie = 0;
        if (!pUnkSink || !pdwCookie) return E_POINTER;
        TWriter w;
        if (!PutSink(w, *m_.Peer, pUnkSink)) return CONNECT_E_CANNOTCONNECT;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pdwCookie = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
        TWriter w;
        w.U32(dwCookie);
        return Send(3, w);
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        Zero(ppEnum);
        return E_NOTIMPL;
    }
};

class TStateFace final : public IOPCGroupStateMgt, public TFace {
    using Base = IOPCGroupStateMgt;
    static constexpr TIface kCode = TIface::GroupStateMgt;

  public:
    explicit TStateFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                       LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                       OPCHANDLE* phClientGroup,
                                       OPCHANDLE* phServerGroup) override {
        Zero(ppName);
        if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID ||
            !phClientGroup || !phServerGroup)
            return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pUpdateRate = r.U32();
        *pActive = r.I32();
        LPWSTR name = r.TaskStr();
        *pTimeBias = r.I32();
        *pPercentDeadband = r.F32();
        *pLCID = r.U32();
        *phClientGroup = r.U32();
        *phServerGroup = r.U32();
        if (!r.Done()) {
            CoTaskMemFree(name);
            return RPC_E_INVALID_DATA;
        }
        *ppName = name;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                       BOOL* pActive, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                       DWORD* pLCID, OPCHANDLE* phClientGroup) override {
        if (!pRevisedUpdateRate) return E_INVALIDARG;
        TWriter w;
        PutOptional(w, pRequestedUpdateRate, [&](DWORD v) { w.U32(v); });
        PutOptional(w, pActive, [&](BOOL v) { w.I32(v); });
        PutOptional(w, pTimeBias, [&](LONG v) { w.I32(v); });
        PutOptional(w, pPercentDeadband, [&](FLOAT v) { w.F32(v); });
        PutOptional(w, pLCID, [&](DWORD v) { w.U32(v); });
        PutOptional(w, phClientGroup, [&](OPCHANDLE v) { w.U32(v); });
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pRevisedUpdateRate = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override {
        TWriter w;
        w.Str(szName);
        return Send(2, w);
    }
    HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        TWriter w;
        w.Str(szName);
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(3, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }
};

class TItemMgtFace final : public IOPCItemMgt, public TFace {
    using Base = IOPCItemMgt;
    static constexpr TIface kCode = TIface::ItemMgt;

  public:
    explicit TItemMgtFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE AddItems(DWORD n, OPCITEMDEF* defs, OPCITEMRESULT** ppResults,
                                       HRESULT** ppErrors) override {
        return Items(0, n, defs, FALSE, ppResults, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE ValidateItems(DWORD n, OPCITEMDEF* defs, BOOL bBlobUpdate,
                                            OPCITEMRESULT** ppResults,
                                            HRESULT** ppErrors) override {
        return Items(1, n, defs, bBlobUpdate, ppResults, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE RemoveItems(DWORD n, OPCHANDLE* phServer,
                                          HRESULT** ppErrors) override {
        return Handles(
            2, n, phServer, [](TWriter&) {}, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE SetActiveState(DWORD n, OPCHANDLE* phServer, BOOL bActive,
                                             HRESULT** ppErrors) override {
        return Handles(
            3, n, phServer, [&](TWriter& w) { w.I32(bActive); }, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD n, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                               HRESULT** ppErrors) override {
        if (n && !phClient) return E_INVALIDARG;
        return Handles(
            4, n, phServer, [&](TWriter& w) { opcbus::PutDwords(w, phClient, n); }, ppErrors);
    }
    HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD n, OPCHANDLE* phServer, VARTYPE* types,
                                           HRESULT** ppErrors) override {
        if (n && !types) return E_INVALIDARG;
        return Handles(
            5, n, phServer,
            [&](TWriter& w) {
                w.U32(n);
                for (DWORD i = 0; i < n; ++i) w.U16(types[i]);
            },
            ppErrors);
    }
    HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        TWriter w;
        w.Guid(riid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(6, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }

  private:
    HRESULT Items(std::uint16_t method, DWORD n, OPCITEMDEF* defs, BOOL blobUpdate,
                  OPCITEMRESULT** ppResults, HRESULT** ppErrors) {
        Zero(ppResults);
        Zero(ppErrors);
        if (!ppResults || !ppErrors || (n && !defs)) return E_INVALIDARG;
        TWriter w;
        w.U32(n);
        opcbus::PutItemDefs(w, defs, n);
        if (method == 1) w.I32(blobUpdate);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(method, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        OPCITEMRESULT* results = opcbus::GetItemResultsTask(r, n);
        HRESULT* errors = opcbus::GetHResultsTask(r, n);
        if (!r.Done()) {
            for (DWORD i = 0; results && i < n; ++i) CoTaskMemFree(results[i].pBlob);
            CoTaskMemFree(results);
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppResults = results;
        *ppErrors = errors;
        return hr;
    }
    template <class Extra>
    HRESULT Handles(std::uint16_t method, DWORD n, OPCHANDLE* handles, Extra extra,
                    HRESULT** ppErrors) {
        Zero(ppErrors);
        if (!ppErrors || (n && !handles)) return E_INVALIDARG;
        TWriter w;
        w.U32(n);
        opcbus::PutDwords(w, handles, n);
        extra(w);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(method, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        HRESULT* errors = opcbus::GetHResultsTask(r, n);
        if (!r.Done()) {
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppErrors = errors;
        return hr;
    }
};

class TSyncFace final : public IOPCSyncIO, public TFace {
    using Base = IOPCSyncIO;
    static constexpr TIface kCode = TIface::SyncIO;

  public:
    explicit TSyncFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE source, DWORD n, OPCHANDLE* phServer,
                                   OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override {
        Zero(ppItemValues);
        Zero(ppErrors);
        if (!ppItemValues || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        TWriter w;
        w.I32(source);
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        OPCITEMSTATE* states = opcbus::GetItemStatesTask(r, n);
        HRESULT* errors = opcbus::GetHResultsTask(r, n);
        if (!r.Done()) {
            for (DWORD i = 0; states && i < n; ++i) VariantClear(&states[i].vDataValue);
            CoTaskMemFree(states);
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppItemValues = states;
        *ppErrors = errors;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD n, OPCHANDLE* phServer, VARIANT* values,
                                    HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w;
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        if (const HRESULT bad = opcbus::PutVariants(w, values, n); FAILED(bad)) return bad;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        HRESULT* errors = opcbus::GetHResultsTask(r, n);
        if (!r.Done()) {
            CoTaskMemFree(errors);
            return RPC_E_INVALID_DATA;
        }
        *ppErrors = errors;
        return hr;
    }
};

// Reads "id, then errors" replies of the asynchronous calls.
HRESULT IdAndErrors(const std::vector<std::uint8_t>& out, DWORD n, DWORD* id, HRESULT** ppErrors) {
    TReader r(out);
    *id = r.U32();
    // The server may answer S_OK without an error array.
    const std::uint8_t present = r.U8();
    if (present > 1) r.Fail();
    HRESULT* errors = present == 1 ? opcbus::GetHResultsTask(r, n) : nullptr;
    if (!r.Done()) {
        CoTaskMemFree(errors);
        *id = 0;
        return RPC_E_INVALID_DATA;
    }
    *ppErrors = errors;
    return S_OK;
}

class TAsyncFace final : public IOPCAsyncIO, public TFace {
    using Base = IOPCAsyncIO;
    static constexpr TIface kCode = TIface::AsyncIO;

  public:
    explicit TAsyncFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Read(DWORD connection, OPCDATASOURCE source, DWORD n,
                                   OPCHANDLE* phServer, DWORD* pTransactionID,
                                   HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pTransactionID || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        TWriter w;
        w.U32(connection);
        w.I32(source);
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, w, out);
        if (FAILED(hr)) return hr;
        const HRESULT got = IdAndErrors(out, n, pTransactionID, ppErrors);
        return FAILED(got) ? got : hr;
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD connection, DWORD n, OPCHANDLE* phServer, VARIANT* values,
                                    DWORD* pTransactionID, HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pTransactionID || !ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w;
        w.U32(connection);
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        if (const HRESULT bad = opcbus::PutVariants(w, values, n); FAILED(bad)) return bad;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        const HRESULT got = IdAndErrors(out, n, pTransactionID, ppErrors);
        return FAILED(got) ? got : hr;
    }
    HRESULT STDMETHODCALLTYPE Refresh(DWORD connection, OPCDATASOURCE source,
                                      DWORD* pTransactionID) override {
        if (!pTransactionID) return E_INVALIDARG;
        TWriter w;
        w.U32(connection);
        w.I32(source);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pTransactionID = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Cancel(DWORD tid) override {
        TWriter w;
        w.U32(tid);
        return Send(3, w);
    }
};

class TAsync2Face final : public IOPCAsyncIO2, public TFace {
    using Base = IOPCAsyncIO2;
    static constexpr TIface kCode = TIface::AsyncIO2;

  public:
    explicit TAsync2Face(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Read(DWORD n, OPCHANDLE* phServer, DWORD tid, DWORD* pdwCancelID,
                                   HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pdwCancelID || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        TWriter w;
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        w.U32(tid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(0, w, out);
        if (FAILED(hr)) return hr;
        const HRESULT got = IdAndErrors(out, n, pdwCancelID, ppErrors);
        return FAILED(got) ? got : hr;
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD n, OPCHANDLE* phServer, VARIANT* values, DWORD tid,
                                    DWORD* pdwCancelID, HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pdwCancelID || !ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w;
        w.U32(n);
        opcbus::PutDwords(w, phServer, n);
        if (const HRESULT bad = opcbus::PutVariants(w, values, n); FAILED(bad)) return bad;
        w.U32(tid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(1, w, out);
        if (FAILED(hr)) return hr;
        const HRESULT got = IdAndErrors(out, n, pdwCancelID, ppErrors);
        return FAILED(got) ? got : hr;
    }
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE source, DWORD tid,
                                       DWORD* pdwCancelID) override {
        if (!pdwCancelID) return E_INVALIDARG;
        TWriter w;
        w.I32(source);
        w.U32(tid);
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(2, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pdwCancelID = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD id) override {
        TWriter w;
        w.U32(id);
        return Send(3, w);
    }
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL enable) override {
        TWriter w;
        w.I32(enable);
        return Send(4, w);
    }
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) override {
        if (!pbEnable) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(5, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pbEnable = r.I32();
        FINISH(r);
        return hr;
    }
};

class TDataObjectFace final : public IDataObject, public TFace {
    using Base = IDataObject;
    static constexpr TIface kCode = TIface::DataObject;

  public:
    explicit TDataObjectFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** pp) override {
        Zero(pp);
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink,
                                      DWORD* pdwConnection) override {
        if (pdwConnection) *pdwConnection = 0;
        if (!format || !sink || !pdwConnection) return E_INVALIDARG;
        if (format->ptd) return DV_E_FORMATETC;
        // Format numbers are this process's own: the server knows the format by its name.
        char name[256] = {};
        const int length = GetClipboardFormatNameA(format->cfFormat, name, sizeof name);
        if (length <= 0) return DV_E_FORMATETC;
        TWriter w;
        w.Bytes(name, static_cast<std::size_t>(length));
        w.U32(format->dwAspect);
        w.I32(format->lindex);
        w.U32(format->tymed);
        w.U32(advf);
        if (!PutSink(w, *m_.Peer, sink)) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(6, w, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        *pdwConnection = r.U32();
        FINISH(r);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override {
        TWriter w;
        w.U32(dwConnection);
        return Send(7, w);
    }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** pp) override {
        Zero(pp);
        return E_NOTIMPL;
    }
};

// Skip, Reset and Clone of the three enumerators.
template <class E, TIface Code>
class TEnumFace : public E, public TFace {
  protected:
    using Base = E;
    static constexpr TIface kCode = Code;

  public:
    explicit TEnumFace(TProxyManager& m) : m_(m) {}
    PROXY_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Skip(ULONG n) override {
        TWriter w;
        w.U32(n);
        return Send(1, w);
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return Send(2, TWriter{}); }
    HRESULT STDMETHODCALLTYPE Clone(E** pp) override {
        Zero(pp);
        if (!pp) return E_POINTER;
        std::vector<std::uint8_t> out;
        const HRESULT hr = Send(3, TWriter{}, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const HRESULT got = m_.Object(r, *opcbus::IidOf(Code), reinterpret_cast<void**>(pp));
        if (FAILED(got)) return got;
        FINISH(r);
        return hr;
    }

  protected:
    HRESULT NextCall(ULONG n, std::vector<std::uint8_t>& out) {
        TWriter w;
        w.U32(n);
        return Send(0, w, out);
    }
};

class TEnumStringFace final : public TEnumFace<IEnumString, TIface::EnumString> {
  public:
    using TEnumFace::TEnumFace;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = NextCall(celt, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const DWORD n = r.Count(4, celt);
        std::vector<LPOLESTR> got;
        for (DWORD i = 0; i < n && r.Ok(); ++i) got.push_back(r.TaskStr());
        if (!r.Done()) {
            for (LPOLESTR s : got) CoTaskMemFree(s);
            return RPC_E_INVALID_DATA;
        }
        for (DWORD i = 0; i < n; ++i) rgelt[i] = got[i];
        if (pceltFetched) *pceltFetched = n;
        return hr;
    }
};

class TEnumUnknownFace final : public TEnumFace<IEnumUnknown, TIface::EnumUnknown> {
  public:
    using TEnumFace::TEnumFace;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = NextCall(celt, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const DWORD n = r.Count(4, celt);
        std::vector<IUnknown*> got;
        for (DWORD i = 0; i < n && r.Ok(); ++i) {
            IUnknown* object = nullptr;
            if (FAILED(m_.Object(r, IID_IUnknown, reinterpret_cast<void**>(&object)))) r.Fail();
            got.push_back(object);
        }
        if (!r.Done()) {
            for (IUnknown* o : got)
                if (o) o->Release();
            return RPC_E_INVALID_DATA;
        }
        for (DWORD i = 0; i < n; ++i) rgelt[i] = got[i];
        if (pceltFetched) *pceltFetched = n;
        return hr;
    }
};

class TEnumAttributesFace final
    : public TEnumFace<IEnumOPCItemAttributes, TIface::EnumItemAttributes> {
  public:
    using TEnumFace::TEnumFace;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, OPCITEMATTRIBUTES** ppItems,
                                   ULONG* pceltFetched) override {
        Zero(ppItems);
        if (pceltFetched) *pceltFetched = 0;
        if (!ppItems || !pceltFetched) return E_INVALIDARG;
        std::vector<std::uint8_t> out;
        const HRESULT hr = NextCall(celt, out);
        if (FAILED(hr)) return hr;
        TReader r(out);
        const DWORD n = r.Count(40, celt);
        OPCITEMATTRIBUTES* items = nullptr;
        if (n) {
            items = static_cast<OPCITEMATTRIBUTES*>(CoTaskMemAlloc(n * sizeof(OPCITEMATTRIBUTES)));
            if (!items) return E_OUTOFMEMORY;
        }
        DWORD done = 0;
        while (done < n && opcbus::GetItemAttributes(r, items[done])) ++done;
        if (!r.Done() || done != n) {
            for (DWORD i = 0; i < done; ++i) opcbus::FreeItemAttributes(items[i]);
            CoTaskMemFree(items);
            return RPC_E_INVALID_DATA;
        }
        *ppItems = items;
        *pceltFetched = n;
        return hr;
    }
};

#undef PROXY_IUNKNOWN
#undef FINISH

}  // namespace

std::unique_ptr<TFace> TProxyManager::MakeFace(TIface code) {
    switch (code) {
        case TIface::Server:
            return std::make_unique<TServerFace>(*this);
        case TIface::Common:
            return std::make_unique<TCommonFace>(*this);
        case TIface::Browse:
            return std::make_unique<TBrowseFace>(*this);
        case TIface::ItemProperties:
            return std::make_unique<TPropertiesFace>(*this);
        case TIface::ConnectionPointContainer:
            return std::make_unique<TContainerFace>(*this);
        case TIface::ConnectionPoint:
            return std::make_unique<TPointFace>(*this);
        case TIface::GroupStateMgt:
            return std::make_unique<TStateFace>(*this);
        case TIface::ItemMgt:
            return std::make_unique<TItemMgtFace>(*this);
        case TIface::SyncIO:
            return std::make_unique<TSyncFace>(*this);
        case TIface::AsyncIO:
            return std::make_unique<TAsyncFace>(*this);
        case TIface::AsyncIO2:
            return std::make_unique<TAsync2Face>(*this);
        case TIface::DataObject:
            return std::make_unique<TDataObjectFace>(*this);
        case TIface::EnumString:
            return std::make_unique<TEnumStringFace>(*this);
        case TIface::EnumUnknown:
            return std::make_unique<TEnumUnknownFace>(*this);
        case TIface::EnumItemAttributes:
            return std::make_unique<TEnumAttributesFace>(*this);
        default:
            return nullptr;
    }
}

HRESULT TProxyManager::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    const auto code = opcbus::IfaceOf(riid);
    if (!code) return E_NOINTERFACE;
    auto face = faces_.find(*code);
    if (face == faces_.end()) {
        if (!known_.count(*code)) {
            TWriter w;
            w.Guid(riid);
            std::vector<std::uint8_t> out;
            const HRESULT hr = Call(TIface::Unknown, opcbus::kQueryInterface, w, out);
            if (FAILED(hr)) return hr;
            known_.insert(*code);
        }
        std::unique_ptr<TFace> made = MakeFace(*code);
        if (!made) return E_NOINTERFACE;
        face = faces_.emplace(*code, std::move(made)).first;
    }
    *ppv = face->second->Interface();
    AddRef();
    return S_OK;
}

std::size_t LiveProxyCount() {
    return gLiveProxies;
}

HRESULT Unmarshal(const std::shared_ptr<TPeer>& peer, std::uint32_t id, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    TProxyManager* manager = nullptr;
    if (const auto it = peer->Proxies.find(id); it != peer->Proxies.end()) {
        manager = it->second;
    } else {
        manager = new TProxyManager(peer, id);
    }
    manager->AddRef();
    manager->AddRemoteRef();
    if (const auto code = opcbus::IfaceOf(iid)) manager->Knows(*code);
    const HRESULT hr = manager->QueryInterface(iid, ppv);
    manager->Release();
    return hr;
}

}  // namespace corvane::opcclient
