// The standard enumerator shape (Next, Skip, Reset, Clone) over a list the client already
// holds: the classes a server browser found, the connection points an object has.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "objidl.h"

namespace corvane::opcclient {

// `Interface` is the enumerator interface with its IID, `Element` what the list keeps and
// `Out` what Next hands out; `Hand` copies one element out (adding a reference where the
// element is an interface). Next returns S_OK when it handed out as many as asked for.
template <class Interface, const IID& Iid, class Element, class Out,
          void (*Hand)(const Element&, Out&)>
class TListEnumerator final
    : public Interface,
      public platform::ComRefCount<TListEnumerator<Interface, Iid, Element, Out, Hand>> {
    using Base = platform::ComRefCount<TListEnumerator>;

  public:
    explicit TListEnumerator(std::vector<Element> list, std::size_t at = 0)
        : list_(std::move(list)), at_(at) {}

    // A new enumerator with one reference, for an out-parameter.
    static Interface* Make(std::vector<Element> list, std::size_t at = 0) {
        auto* e = new TListEnumerator(std::move(list), at);
        e->AddRef();
        return e;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != Iid) return E_NOINTERFACE;
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Base::AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return Base::ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Out* out, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (!out || (celt > 1 && !fetched)) return E_INVALIDARG;
        ULONG n = 0;
        while (n < celt && at_ < list_.size()) Hand(list_[at_++], out[n++]);
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const std::size_t left = list_.size() - at_;
        at_ += std::min<std::size_t>(celt, left);
        return celt <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        at_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** pp) override {
        if (!pp) return E_POINTER;
        *pp = Make(list_, at_);
        return S_OK;
    }

  private:
    std::vector<Element> list_;
    std::size_t at_;
};

}  // namespace corvane::opcclient
