// The single-sink connection point through which clients hand over their callback
// interface, and the enumerator over exactly one such point.
#pragma once

#include <functional>

#include "corvane/platform/ComObject.h"
#include "ocidl.h"

namespace corvane::opc {

// Owned by the object that offers it (server object or group); its reference count is
// the owner's. Holds at most one sink, with a reference.
class TConnectionPoint final : public IConnectionPoint {
  public:
    using TChangeCallback = std::function<void(IUnknown* Sink, bool Connecting)>;

    TConnectionPoint(IUnknown& Owner, TChangeCallback OnChange, REFIID Iid);
    // Drops the sink without calling the change callback.
    ~TConnectionPoint();
    TConnectionPoint(const TConnectionPoint&) = delete;
    TConnectionPoint& operator=(const TConnectionPoint&) = delete;

    IUnknown* Sink() const { return Sink_.Get(); }
    // Drops the sink without calling the change callback (the owner disconnecting).
    void ClearSink() { Sink_.Reset(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  private:
    IUnknown& Owner_;
    const IID Iid_;
    platform::ComPtr<IUnknown> Sink_;
    TChangeCallback OnChange_;
};

// IEnumConnectionPoints over one point, position 0 or 1.
class TEnumerateCP final : public IEnumConnectionPoints,
                           public platform::ComRefCount<TEnumerateCP> {
  public:
    explicit TEnumerateCP(IConnectionPoint* Point, ULONG Position = 0);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, LPCONNECTIONPOINT* ppCP,
                                   ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) override;

  private:
    platform::ComPtr<IConnectionPoint> Point_;
    ULONG Position_;
};

}  // namespace corvane::opc
