// The faces of the enumerators a server hands out: IEnumString, IEnumUnknown and
// IEnumOPCItemAttributes.
#include "EnumFaces.h"

#include "opcda.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;
using namespace proxy;

namespace {

// Skip, Reset and Clone, the same for every enumerator.
template <class E, TIface Code>
class TEnumFace : public TFaceOf<E, Code> {
  public:
    using TFaceOf<E, Code>::TFaceOf;

    HRESULT STDMETHODCALLTYPE Skip(ULONG n) override { return this->Tell(1, Args(n)); }
    HRESULT STDMETHODCALLTYPE Reset() override { return this->Tell(2, TWriter{}); }
    HRESULT STDMETHODCALLTYPE Clone(E** pp) override {
        Zero(pp);
        if (!pp) return E_POINTER;
        return this->AskObject(3, TWriter{}, *opcbus::IidOf(Code), reinterpret_cast<void**>(pp));
    }

  protected:
    template <class Read>
    HRESULT AskNext(ULONG n, Read&& read) {
        return this->Ask(0, Args(n), std::forward<Read>(read));
    }
};

class TEnumStringFace final : public TEnumFace<IEnumString, TIface::EnumString> {
  public:
    using TEnumFace::TEnumFace;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
        return AskNext(celt, [&](TReader& r) {
            const DWORD n = r.Count(4, celt);
            std::vector<LPOLESTR> got;
            for (DWORD i = 0; i < n && r.Ok(); ++i) got.push_back(r.TaskStr());
            if (!r.Done()) {
                for (LPOLESTR s : got) CoTaskMemFree(s);
                return RPC_E_INVALID_DATA;
            }
            for (DWORD i = 0; i < n; ++i) rgelt[i] = got[i];
            if (pceltFetched) *pceltFetched = n;
            return S_OK;
        });
    }
};

class TEnumUnknownFace final : public TEnumFace<IEnumUnknown, TIface::EnumUnknown> {
  public:
    using TEnumFace::TEnumFace;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
        return AskNext(celt, [&](TReader& r) {
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
            return S_OK;
        });
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
        return AskNext(celt, [&](TReader& r) {
            const DWORD n = r.Count(40, celt);
            OPCITEMATTRIBUTES* items = nullptr;
            if (n) {
                items =
                    static_cast<OPCITEMATTRIBUTES*>(CoTaskMemAlloc(n * sizeof(OPCITEMATTRIBUTES)));
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
            return S_OK;
        });
    }
};

}  // namespace

std::unique_ptr<TFace> MakeEnumFace(TIface code, TProxyManager& m) {
    return MakeFaceOf<TEnumStringFace, TEnumUnknownFace, TEnumAttributesFace>(code, m);
}

}  // namespace corvane::opcclient
