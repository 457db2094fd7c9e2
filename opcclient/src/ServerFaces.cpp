// The faces of a server object: IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace,
// IOPCItemProperties, and the connection points every object may have.
#include "ServerFaces.h"

#include "ListEnumerator.h"
#include "opcda.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;
using namespace proxy;

namespace {

class TServerFace final : public TFaceOf<IOPCServer, TIface::Server> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRate,
                                       OPCHANDLE hClientGroup, LONG* pTimeBias,
                                       FLOAT* pPercentDeadband, DWORD dwLCID,
                                       OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                       REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!phServerGroup || !pRevisedUpdateRate || !ppUnk) return E_INVALIDARG;
        const TWriter args =
            Args(szName ? szName : u"", bActive, dwRate, hClientGroup, TOptional<LONG>{pTimeBias},
                 TOptional<FLOAT>{pPercentDeadband}, dwLCID, riid);
        return Ask(0, args, [&](TReader& r) {
            *phServerGroup = r.U32();
            *pRevisedUpdateRate = r.U32();
            return m_.LastObject(r, riid, reinterpret_cast<void**>(ppUnk));
        });
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                             LPWSTR* ppString) override {
        Zero(ppString);
        if (!ppString) return E_INVALIDARG;
        return AskString(1, Args(dwError, dwLocale), ppString);
    }
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid,
                                             LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!szName || !ppUnk) return E_INVALIDARG;
        return AskObject(2, Args(szName, riid), riid, reinterpret_cast<void**>(ppUnk));
    }
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override {
        Zero(ppServerStatus);
        if (!ppServerStatus) return E_INVALIDARG;
        return Ask(3, TWriter{}, [&](TReader& r) {
            OPCSERVERSTATUS* status = opcbus::GetStatusTask(r);
            if (!r.Done()) {
                if (status) CoTaskMemFree(status->szVendorInfo);
                CoTaskMemFree(status);
                return RPC_E_INVALID_DATA;
            }
            *ppServerStatus = status;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override {
        return Tell(4, Args(hServerGroup, bForce));
    }
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                    LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        return AskObject(5, Args(dwScope, riid), riid, reinterpret_cast<void**>(ppUnk));
    }
};

class TCommonFace final : public TFaceOf<IOPCCommon, TIface::Common> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override { return Tell(0, Args(dwLcid)); }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override {
        if (!pdwLcid) return E_INVALIDARG;
        return AskValue(1, TWriter{}, pdwLcid, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override {
        Zero(pdwCount);
        Zero(pdwLcid);
        if (!pdwCount || !pdwLcid) return E_INVALIDARG;
        return Ask(2, TWriter{}, [&](TReader& r) {
            TReader probe = r;
            const DWORD n = probe.U32();
            LCID* ids = opcbus::GetDwordsTask(r, n);
            if (!r.Done()) {
                CoTaskMemFree(ids);
                return RPC_E_INVALID_DATA;
            }
            *pdwCount = n;
            *pdwLcid = ids;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override {
        Zero(ppString);
        if (!ppString) return E_INVALIDARG;
        return AskString(3, Args(dwError), ppString);
    }
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override {
        return Tell(4, Args(szName));
    }
};

class TBrowseFace final : public TFaceOf<IOPCBrowseServerAddressSpace, TIface::Browse> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        if (!pNameSpaceType) return E_INVALIDARG;
        return AskValue(0, TWriter{}, pNameSpaceType, &TReader::I32);
    }
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dir, LPCWSTR text) override {
        return Tell(1, Args(dir, text));
    }
    HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE vt,
                                               DWORD rights, LPENUMSTRING* ppEnum) override {
        Zero(ppEnum);
        if (!ppEnum) return E_INVALIDARG;
        return AskObject(2, Args(type, filter, vt, rights), IID_IEnumString,
                         reinterpret_cast<void**>(ppEnum));
    }
    HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override {
        Zero(szItemID);
        if (!szItemID) return E_INVALIDARG;
        return AskString(3, Args(szItemDataID), szItemID);
    }
    HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppEnum) override {
        Zero(ppEnum);
        if (!ppEnum) return E_INVALIDARG;
        return AskObject(4, Args(szItemID), IID_IEnumString, reinterpret_cast<void**>(ppEnum));
    }
};

class TPropertiesFace final : public TFaceOf<IOPCItemProperties, TIface::ItemProperties> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                       DWORD** ppPropertyIDs,
                                                       LPWSTR** ppDescriptions,
                                                       VARTYPE** ppvtDataTypes) override {
        Zero(pdwCount);
        Zero(ppPropertyIDs);
        Zero(ppDescriptions);
        Zero(ppvtDataTypes);
        if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
        return Ask(0, Args(szItemID), [&](TReader& r) {
            TReader probe = r;
            const DWORD n = probe.U32();
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
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                                HRESULT** ppErrors) override {
        Zero(ppvData);
        Zero(ppErrors);
        if (!ppvData || !ppErrors || (dwCount && !pdwPropertyIDs)) return E_INVALIDARG;
        const TWriter args = Args(szItemID, dwCount, TDwords{pdwPropertyIDs, dwCount});
        return Ask(1, args, [&](TReader& r) {
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
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                            LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) override {
        Zero(ppszNewItemIDs);
        Zero(ppErrors);
        if (!ppszNewItemIDs || !ppErrors || (dwCount && !pdwPropertyIDs)) return E_INVALIDARG;
        const TWriter args = Args(szItemID, dwCount, TDwords{pdwPropertyIDs, dwCount});
        return Ask(2, args, [&](TReader& r) {
            LPWSTR* names = opcbus::GetStringsTask(r, dwCount);
            HRESULT* errors = opcbus::GetHResultsTask(r, dwCount);
            if (!r.Done()) {
                FreeStrings(names, dwCount);
                CoTaskMemFree(errors);
                return RPC_E_INVALID_DATA;
            }
            *ppszNewItemIDs = names;
            *ppErrors = errors;
            return S_OK;
        });
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

class TContainerFace final
    : public TFaceOf<IConnectionPointContainer, TIface::ConnectionPointContainer> {
  public:
    using TFaceOf::TFaceOf;

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
        return AskObject(1, Args(riid), IID_IConnectionPoint, reinterpret_cast<void**>(ppCP));
    }
};

class TPointFace final : public TFaceOf<IConnectionPoint, TIface::ConnectionPoint> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        return AskValue(0, TWriter{}, pIID, &TReader::Guid);
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** pp) override {
        Zero(pp);
        if (!pp) return E_POINTER;
        return AskObject(1, TWriter{}, IID_IConnectionPointContainer, reinterpret_cast<void**>(pp));
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (pdwCookie) *pdwCookie = 0;
        if (!pUnkSink || !pdwCookie) return E_POINTER;
        TWriter w;
        if (!PutSink(w, *m_.Peer, pUnkSink)) return CONNECT_E_CANNOTCONNECT;
        return AskValue(2, w, pdwCookie, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override { return Tell(3, Args(dwCookie)); }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        Zero(ppEnum);
        return E_NOTIMPL;
    }
};

}  // namespace

std::unique_ptr<TFace> MakeServerFace(TIface code, TProxyManager& m) {
    return MakeFaceOf<TServerFace, TCommonFace, TBrowseFace, TPropertiesFace, TContainerFace,
                      TPointFace>(code, m);
}

}  // namespace corvane::opcclient
