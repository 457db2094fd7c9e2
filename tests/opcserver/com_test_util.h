// COM test doubles: a counted sink and an owner whose reference count can be watched.
#pragma once

#include "corvane/platform/ComObject.h"
#include "opcda.h"

namespace corvane::test {

constexpr ULONG kSentinel = 0xdeadbeef;

// A sink offering IUnknown and one callback interface id; never deletes itself.
class CountedSink : public IOPCShutdown {
  public:
    explicit CountedSink(const IID& offered = IID_IOPCShutdown) : offered_(offered) {}
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == offered_) {
            *ppv = static_cast<IOPCShutdown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR) override { return S_OK; }

  private:
    IID offered_;
};

// An owner that is also a connection-point container; its count is watched, not acted on.
class CountedOwner : public IConnectionPointContainer {
  public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint**) override {
        return E_NOTIMPL;
    }
};

}  // namespace corvane::test
