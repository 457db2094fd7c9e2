// The item attribute enumerator of a group.
#include <algorithm>
#include <new>

#include "opcgroups/ItemEnumerator.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {

void FreeItemAttributes(OPCITEMATTRIBUTES& Attributes) {
    OpcFreeAndNil(Attributes.szAccessPath);
    OpcFreeAndNil(Attributes.szItemID);
    VariantClear(&Attributes.vEUInfo);
}

TItemEnumerator::TItemEnumerator(IOpcItemList* List, std::size_t Position)
    : List_(List), Position_(Position) {}

HRESULT TItemEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IEnumOPCItemAttributes) return E_NOINTERFACE;
    *ppv = static_cast<IEnumOPCItemAttributes*>(this);
    AddRef();
    return S_OK;
}

HRESULT TItemEnumerator::Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) {
    if (ppItemArray) *ppItemArray = nullptr;
    if (!ppItemArray) return E_INVALIDARG;
    const TGroupItemList& items = List_->Items();
    // Items removed since the last call can leave the position past the end.
    const std::size_t remaining = items.size() > Position_ ? items.size() - Position_ : 0;
    const std::size_t fetched = std::min<std::size_t>(remaining, celt);
    if (pceltFetched) *pceltFetched = static_cast<ULONG>(fetched);
    if (fetched > 0) {
        std::size_t filled = 0;
        OPCITEMATTRIBUTES* out = nullptr;
        try {
            out = OpcAllocArray<OPCITEMATTRIBUTES>(fetched);
            for (; filled < fetched; ++filled)
                items[Position_ + filled]->FillAttributes(out[filled]);
        } catch (...) {
            for (std::size_t i = 0; i < filled; ++i) FreeItemAttributes(out[i]);
            OpcFreeAndNil(out);
            if (pceltFetched) *pceltFetched = 0;
            return CurrentExceptionResult();
        }
        Position_ += fetched;
        *ppItemArray = out;
    }
    return remaining < celt ? S_FALSE : S_OK;
}

HRESULT TItemEnumerator::Skip(ULONG celt) {
    const std::size_t count = List_->Items().size();
    if (Position_ + celt > count) {
        Position_ = count;
        return S_FALSE;
    }
    Position_ += celt;
    return S_OK;
}

HRESULT TItemEnumerator::Reset() {
    Position_ = 0;
    return S_OK;
}

HRESULT TItemEnumerator::Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) {
    if (!ppEnumItemAttributes) return E_INVALIDARG;
    auto* e = new TItemEnumerator(List_.Get(), Position_);
    e->AddRef();
    *ppEnumItemAttributes = e;
    return S_OK;
}

}  // namespace corvane::opc
