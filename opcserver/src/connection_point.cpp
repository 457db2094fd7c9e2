// The single-sink connection point and its one-point enumerator.
#include "opcserver/ConnectionPoint.h"

namespace corvane::opc {

TConnectionPoint::TConnectionPoint(IUnknown& Owner, TChangeCallback OnChange, REFIID Iid)
    : Owner_(Owner), Iid_(Iid), OnChange_(std::move(OnChange)) {}

TConnectionPoint::~TConnectionPoint() = default;

HRESULT TConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG TConnectionPoint::AddRef() {
    return Owner_.AddRef();
}
ULONG TConnectionPoint::Release() {
    return Owner_.Release();
}

HRESULT TConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = Iid_;
    return S_OK;
}

HRESULT TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    return Owner_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
}

HRESULT TConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    if (Sink_) return CONNECT_E_ADVISELIMIT;
    // A sink without the outgoing interface could never be called back.
    platform::ComPtr<IUnknown> probe;
    if (FAILED(pUnkSink->QueryInterface(Iid_, probe.PutVoid()))) return CONNECT_E_CANNOTCONNECT;
    // A failing callback leaves the point without a sink; nothing escapes a COM method.
    if (OnChange_) {
        try {
            OnChange_(pUnkSink, true);
        } catch (...) {
            return E_FAIL;
        }
    }
    *pdwCookie = 1;
    Sink_ = platform::ComPtr<IUnknown>(pUnkSink);
    return S_OK;
}

HRESULT TConnectionPoint::Unadvise(DWORD) {
    if (!Sink_) return CONNECT_E_NOCONNECTION;
    // Kept alive across the callback, which may release references of its own.
    platform::ComPtr<IUnknown> sink = Sink_;
    Sink_.Reset();
    if (OnChange_) {
        try {
            OnChange_(sink.Get(), false);
        } catch (...) {
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT TConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

TEnumerateCP::TEnumerateCP(IConnectionPoint* Point, ULONG Position)
    : Point_(Point), Position_(Position) {}

HRESULT TEnumerateCP::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumConnectionPoints) {
        *ppv = static_cast<IEnumConnectionPoints*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TEnumerateCP::Next(ULONG cConnections, LPCONNECTIONPOINT* ppCP, ULONG* pcFetched) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (pcFetched) *pcFetched = 0;
    const ULONG left = Position_ == 0 ? 1 : 0;
    if (Position_ == 0 && cConnections > 0) {
        Point_->AddRef();
        *ppCP = Point_.Get();
        if (pcFetched) *pcFetched = 1;
        Position_ = 1;
    }
    return cConnections == left ? S_OK : S_FALSE;
}

HRESULT TEnumerateCP::Skip(ULONG cConnections) {
    if (Position_ == 1 || cConnections == 0) return cConnections == 0 ? S_OK : S_FALSE;
    Position_ = 1;
    return cConnections == 1 ? S_OK : S_FALSE;
}

HRESULT TEnumerateCP::Reset() {
    Position_ = 0;
    return S_OK;
}

HRESULT TEnumerateCP::Clone(IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    platform::ComPtr<TEnumerateCP> clone(new TEnumerateCP(Point_.Get(), Position_));
    *ppEnum = clone.Detach();
    return S_OK;
}

}  // namespace corvane::opc
