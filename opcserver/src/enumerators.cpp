// IEnumString and IEnumUnknown over private lists.
#include <new>

#include "opcserver/Enumerators.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {
namespace {

// Next/Skip positions shared by both enumerators.
std::size_t Take(std::size_t& position, std::size_t count, ULONG celt) {
    const std::size_t left = count - position;
    return celt < left ? celt : left;
}

HRESULT SkipIn(std::size_t& position, std::size_t count, ULONG celt) {
    if (position + celt <= count) {
        position += celt;
        return S_OK;
    }
    position = count;
    return S_FALSE;
}

}  // namespace

TStringsEnumerator::TStringsEnumerator(std::vector<std::string> Strings)
    : Strings_(std::move(Strings)) {}

HRESULT TStringsEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumString) {
        *ppv = static_cast<IEnumString*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TStringsEnumerator::Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) {
    if (pceltFetched) *pceltFetched = 0;
    if (!rgelt) return E_POINTER;
    const std::size_t n = Take(Position_, Strings_.size(), celt);
    for (std::size_t i = 0; i < n; ++i) {
        try {
            rgelt[i] = OpcWideCopy(Strings_[Position_ + i]);
        } catch (const EOpcError& e) {
            // Nothing is handed out by a call that fails half-way.
            for (std::size_t k = 0; k < i; ++k) OpcFreeAndNil(rgelt[k]);
            return OpcResultOf(e);
        }
    }
    Position_ += n;
    if (pceltFetched) *pceltFetched = static_cast<ULONG>(n);
    return n == celt ? S_OK : S_FALSE;
}

HRESULT TStringsEnumerator::Skip(ULONG celt) {
    return SkipIn(Position_, Strings_.size(), celt);
}

HRESULT TStringsEnumerator::Reset() {
    Position_ = 0;
    return S_OK;
}

HRESULT TStringsEnumerator::Clone(IEnumString** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    try {
        platform::ComPtr<TStringsEnumerator> clone(new TStringsEnumerator(Strings_));
        *ppenum = clone.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_UNEXPECTED;
    }
}

TUnkEnumerator::TUnkEnumerator(const std::vector<IUnknown*>& Items) {
    Items_.reserve(Items.size());
    for (IUnknown* item : Items) Items_.emplace_back(item);
}

HRESULT TUnkEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumUnknown) {
        *ppv = static_cast<IEnumUnknown*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TUnkEnumerator::Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) {
    if (pceltFetched) *pceltFetched = 0;
    if (!rgelt) return E_POINTER;
    const std::size_t n = Take(Position_, Items_.size(), celt);
    for (std::size_t i = 0; i < n; ++i) {
        IUnknown* item = Items_[Position_ + i].Get();
        if (item) item->AddRef();
        rgelt[i] = item;
    }
    Position_ += n;
    if (pceltFetched) *pceltFetched = static_cast<ULONG>(n);
    return n == celt ? S_OK : S_FALSE;
}

HRESULT TUnkEnumerator::Skip(ULONG celt) {
    return SkipIn(Position_, Items_.size(), celt);
}

HRESULT TUnkEnumerator::Reset() {
    Position_ = 0;
    return S_OK;
}

HRESULT TUnkEnumerator::Clone(IEnumUnknown** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    try {
        std::vector<IUnknown*> raw;
        for (const auto& item : Items_) raw.push_back(item.Get());
        platform::ComPtr<TUnkEnumerator> clone(new TUnkEnumerator(raw));
        *ppenum = clone.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_UNEXPECTED;
    }
}

}  // namespace corvane::opc
