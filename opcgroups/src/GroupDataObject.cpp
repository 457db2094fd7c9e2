// IDataObject of a group: DA 1.0 clients advise a sink per stream format; the group
// never renders data on request.
#include "GroupGuard.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"

namespace corvane::opc {

HRESULT TGroupImpl::DAdvise(FORMATETC* pformatetc, DWORD, IAdviseSink* pAdvSink,
                            DWORD* pdwConnection) {
    SetIfGiven(pdwConnection, 0xFFFFFFFF);
    return Guarded([&]() -> HRESULT {
        if (!pformatetc || !pAdvSink || !pdwConnection) return E_INVALIDARG;
        if (pformatetc->lindex != -1) return DV_E_LINDEX;
        if (pformatetc->dwAspect != DVASPECT_CONTENT || pformatetc->ptd ||
            pformatetc->tymed != TYMED_HGLOBAL)
            return DV_E_FORMATETC;
        const std::optional<DWORD> connection = StreamConnectionOf(pformatetc->cfFormat);
        if (!connection) return DV_E_FORMATETC;
        if (StreamSinks[*connection]) return CONNECT_E_ADVISELIMIT;
        StreamSinks[*connection] = platform::ComPtr<IAdviseSink>(pAdvSink);
        *pdwConnection = *connection;
        // The new sink gets the current values once; an inactive group, or one without
        // active items, refuses the refresh and sends nothing.
        DWORD transaction = 0;
        Refresh(*connection, OPC_DS_CACHE, &transaction);
        return S_OK;
    });
}

HRESULT TGroupImpl::DUnadvise(DWORD dwConnection) {
    return Guarded([&]() -> HRESULT {
        if (dwConnection >= kStreamConnectionCount || !StreamSinks[dwConnection])
            return OLE_E_NOCONNECTION;
        // The slot is empty before the sink is released: a sink that advises again from
        // inside its own release finds it free.
        const platform::ComPtr<IAdviseSink> sink = std::move(StreamSinks[dwConnection]);
        return S_OK;
    });
}

HRESULT TGroupImpl::GetData(FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

HRESULT TGroupImpl::GetDataHere(FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

HRESULT TGroupImpl::QueryGetData(FORMATETC*) {
    return E_NOTIMPL;
}

HRESULT TGroupImpl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) {
    return E_NOTIMPL;
}

HRESULT TGroupImpl::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
    return E_NOTIMPL;
}

HRESULT TGroupImpl::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
    SetIfGiven(ppenumFormatEtc, nullptr);
    return E_NOTIMPL;
}

HRESULT TGroupImpl::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    SetIfGiven(ppenumAdvise, nullptr);
    return E_NOTIMPL;
}

}  // namespace corvane::opc
