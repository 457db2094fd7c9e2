// IEnumOPCItemAttributes over a group's live item list (not a copy): items added or
// removed after creation show up in the next call.
#pragma once

#include "corvane/platform/ComObject.h"
#include "opcgroups/Group.h"

namespace corvane::opc {

// Holds a reference to its group through the group's item-list interface.
class TItemEnumerator final : public IEnumOPCItemAttributes,
                              public platform::ComRefCount<TItemEnumerator> {
  public:
    TItemEnumerator(IOpcItemList* List, std::size_t Position);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray,
                                   ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) override;

  private:
    platform::ComPtr<IOpcItemList> List_;
    std::size_t Position_;
};

// Frees what FillAttributes allocated inside one entry.
void FreeItemAttributes(OPCITEMATTRIBUTES& Attributes);

}  // namespace corvane::opc
