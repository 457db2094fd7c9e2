// IEnumString and IEnumUnknown over private copies of a list, made at creation, so later
// changes of groups or address space do not show in them.
#pragma once

#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "objidl.h"

namespace corvane::opc {

// Strings are in the system code page and handed out as task-memory wide copies.
class TStringsEnumerator final : public IEnumString,
                                 public platform::ComRefCount<TStringsEnumerator> {
  public:
    explicit TStringsEnumerator(std::vector<std::string> Strings);
    std::size_t Count() const { return Strings_.size(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** ppenum) override;

  private:
    std::vector<std::string> Strings_;
    std::size_t Position_ = 0;
};

// Holds a reference on every entry; hands out entries with a reference added.
class TUnkEnumerator final : public IEnumUnknown, public platform::ComRefCount<TUnkEnumerator> {
  public:
    explicit TUnkEnumerator(const std::vector<IUnknown*>& Items);
    std::size_t Count() const { return Items_.size(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** ppenum) override;

  private:
    std::vector<platform::ComPtr<IUnknown>> Items_;
    std::size_t Position_ = 0;
};

}  // namespace corvane::opc
