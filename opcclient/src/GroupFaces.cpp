// The faces of a group: IOPCGroupStateMgt, IOPCItemMgt, IOPCSyncIO, IOPCAsyncIO,
// IOPCAsyncIO2 and the DA 1.0 IDataObject.
#include "GroupFaces.h"

#include "opcda.h"
#include "winbase.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;
using namespace proxy;

namespace {

// An error array of `n` entries, handed out only when the reply decodes exactly.
HRESULT ReadErrors(TReader& r, DWORD n, HRESULT** ppErrors) {
    HRESULT* errors = opcbus::GetHResultsTask(r, n);
    if (!r.Done()) {
        CoTaskMemFree(errors);
        return RPC_E_INVALID_DATA;
    }
    *ppErrors = errors;
    return S_OK;
}

// "An id, then the errors" replies of the asynchronous calls; the server may answer S_OK
// without an error array.
HRESULT ReadIdAndErrors(TReader& r, DWORD n, DWORD* id, HRESULT** ppErrors) {
    *id = r.U32();
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

// Handles and values of a write, refused before anything is sent when a value cannot
// cross.
HRESULT WriteArgs(TWriter& w, DWORD n, const OPCHANDLE* handles, VARIANT* values) {
    w.U32(n);
    opcbus::PutDwords(w, handles, n);
    return opcbus::PutVariants(w, values, n);
}

class TStateFace final : public TFaceOf<IOPCGroupStateMgt, TIface::GroupStateMgt> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                       LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                       OPCHANDLE* phClientGroup,
                                       OPCHANDLE* phServerGroup) override {
        Zero(ppName);
        if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID ||
            !phClientGroup || !phServerGroup)
            return E_INVALIDARG;
        return Ask(0, TWriter{}, [&](TReader& r) {
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
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                       BOOL* pActive, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                       DWORD* pLCID, OPCHANDLE* phClientGroup) override {
        if (!pRevisedUpdateRate) return E_INVALIDARG;
        const TWriter args = Args(TOptional<DWORD>{pRequestedUpdateRate}, TOptional<BOOL>{pActive},
                                  TOptional<LONG>{pTimeBias}, TOptional<FLOAT>{pPercentDeadband},
                                  TOptional<DWORD>{pLCID}, TOptional<OPCHANDLE>{phClientGroup});
        return AskValue(1, args, pRevisedUpdateRate, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override { return Tell(2, Args(szName)); }
    HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        return AskObject(3, Args(szName, riid), riid, reinterpret_cast<void**>(ppUnk));
    }
};

class TItemMgtFace final : public TFaceOf<IOPCItemMgt, TIface::ItemMgt> {
  public:
    using TFaceOf::TFaceOf;

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
        return Handles(2, n, phServer, ppErrors, [](TWriter&) {});
    }
    HRESULT STDMETHODCALLTYPE SetActiveState(DWORD n, OPCHANDLE* phServer, BOOL bActive,
                                             HRESULT** ppErrors) override {
        return Handles(3, n, phServer, ppErrors, [&](TWriter& w) { w.I32(bActive); });
    }
    HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD n, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                               HRESULT** ppErrors) override {
        if (n && !phClient) return E_INVALIDARG;
        return Handles(4, n, phServer, ppErrors,
                       [&](TWriter& w) { opcbus::PutDwords(w, phClient, n); });
    }
    HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD n, OPCHANDLE* phServer, VARTYPE* types,
                                           HRESULT** ppErrors) override {
        if (n && !types) return E_INVALIDARG;
        return Handles(5, n, phServer, ppErrors, [&](TWriter& w) {
            w.U32(n);
            for (DWORD i = 0; i < n; ++i) w.U16(types[i]);
        });
    }
    HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override {
        Zero(ppUnk);
        if (!ppUnk) return E_INVALIDARG;
        return AskObject(6, Args(riid), riid, reinterpret_cast<void**>(ppUnk));
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
        return Ask(method, w, [&](TReader& r) {
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
            return S_OK;
        });
    }
    // The calls that take server handles, then something more, and answer errors.
    template <class More>
    HRESULT Handles(std::uint16_t method, DWORD n, OPCHANDLE* handles, HRESULT** ppErrors,
                    More more) {
        Zero(ppErrors);
        if (!ppErrors || (n && !handles)) return E_INVALIDARG;
        TWriter w = Args(n, TDwords{handles, n});
        more(w);
        return Ask(method, w, [&](TReader& r) { return ReadErrors(r, n, ppErrors); });
    }
};

class TSyncFace final : public TFaceOf<IOPCSyncIO, TIface::SyncIO> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE source, DWORD n, OPCHANDLE* phServer,
                                   OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override {
        Zero(ppItemValues);
        Zero(ppErrors);
        if (!ppItemValues || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        return Ask(0, Args(source, n, TDwords{phServer, n}), [&](TReader& r) {
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
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD n, OPCHANDLE* phServer, VARIANT* values,
                                    HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w;
        if (const HRESULT bad = WriteArgs(w, n, phServer, values); FAILED(bad)) return bad;
        return Ask(1, w, [&](TReader& r) { return ReadErrors(r, n, ppErrors); });
    }
};

class TAsyncFace final : public TFaceOf<IOPCAsyncIO, TIface::AsyncIO> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE Read(DWORD connection, OPCDATASOURCE source, DWORD n,
                                   OPCHANDLE* phServer, DWORD* pTransactionID,
                                   HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pTransactionID || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        return Ask(0, Args(connection, source, n, TDwords{phServer, n}),
                   [&](TReader& r) { return ReadIdAndErrors(r, n, pTransactionID, ppErrors); });
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD connection, DWORD n, OPCHANDLE* phServer, VARIANT* values,
                                    DWORD* pTransactionID, HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pTransactionID || !ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w = Args(connection);
        if (const HRESULT bad = WriteArgs(w, n, phServer, values); FAILED(bad)) return bad;
        return Ask(1, w,
                   [&](TReader& r) { return ReadIdAndErrors(r, n, pTransactionID, ppErrors); });
    }
    HRESULT STDMETHODCALLTYPE Refresh(DWORD connection, OPCDATASOURCE source,
                                      DWORD* pTransactionID) override {
        if (!pTransactionID) return E_INVALIDARG;
        return AskValue(2, Args(connection, source), pTransactionID, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE Cancel(DWORD tid) override { return Tell(3, Args(tid)); }
};

class TAsync2Face final : public TFaceOf<IOPCAsyncIO2, TIface::AsyncIO2> {
  public:
    using TFaceOf::TFaceOf;

    HRESULT STDMETHODCALLTYPE Read(DWORD n, OPCHANDLE* phServer, DWORD tid, DWORD* pdwCancelID,
                                   HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pdwCancelID || !ppErrors || (n && !phServer)) return E_INVALIDARG;
        return Ask(0, Args(n, TDwords{phServer, n}, tid),
                   [&](TReader& r) { return ReadIdAndErrors(r, n, pdwCancelID, ppErrors); });
    }
    HRESULT STDMETHODCALLTYPE Write(DWORD n, OPCHANDLE* phServer, VARIANT* values, DWORD tid,
                                    DWORD* pdwCancelID, HRESULT** ppErrors) override {
        Zero(ppErrors);
        if (!pdwCancelID || !ppErrors || (n && (!phServer || !values))) return E_INVALIDARG;
        TWriter w;
        if (const HRESULT bad = WriteArgs(w, n, phServer, values); FAILED(bad)) return bad;
        w.U32(tid);
        return Ask(1, w, [&](TReader& r) { return ReadIdAndErrors(r, n, pdwCancelID, ppErrors); });
    }
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE source, DWORD tid,
                                       DWORD* pdwCancelID) override {
        if (!pdwCancelID) return E_INVALIDARG;
        return AskValue(2, Args(source, tid), pdwCancelID, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD id) override { return Tell(3, Args(id)); }
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL enable) override { return Tell(4, Args(enable)); }
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) override {
        if (!pbEnable) return E_INVALIDARG;
        return AskValue(5, TWriter{}, pbEnable, &TReader::I32);
    }
};

class TDataObjectFace final : public TFaceOf<IDataObject, TIface::DataObject> {
  public:
    using TFaceOf::TFaceOf;

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
        return AskValue(6, w, pdwConnection, &TReader::U32);
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override {
        return Tell(7, Args(dwConnection));
    }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** pp) override {
        Zero(pp);
        return E_NOTIMPL;
    }
};

}  // namespace

std::unique_ptr<TFace> MakeGroupFace(TIface code, TProxyManager& m) {
    return MakeFaceOf<TStateFace, TItemMgtFace, TSyncFace, TAsyncFace, TAsync2Face,
                      TDataObjectFace>(code, m);
}

}  // namespace corvane::opcclient
