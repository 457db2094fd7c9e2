// IOPCItemMgt of a group, the per-handle skeleton and the two handle rules.
#include <algorithm>

#include "GroupGuard.h"
#include "opcgroups/Group.h"
#include "opcgroups/ItemEnumerator.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {

TGroupItemImpl* TGroupImpl::FindOwnItem(OPCHANDLE Handle) const {
    const auto it = std::find_if(Items_.begin(), Items_.end(),
                                 [Handle](const auto& item) { return item->Identity() == Handle; });
    return it == Items_.end() ? nullptr : it->get();
}

TGroupItemImpl& TGroupImpl::ValidateItemHandle(OPCHANDLE Handle) const {
    // Clients mostly name their items in the order they added them, and read the same
    // list again and again: the item after the last one found is tried first (the first
    // item after the last), which spares the table lookup (and its lock) for each handle
    // of a large read. An own item passes both handle rules.
    if (HandleHint_ >= Items_.size()) HandleHint_ = 0;
    if (HandleHint_ < Items_.size() && Items_[HandleHint_]->Identity() == Handle)
        return *Items_[HandleHint_++];
    HandleHint_ = 0;
    TGroupItemImpl* item =
        ItemServer().HasOption(static_cast<unsigned>(TServerOption::soCheckHandlesInGroup))
            ? FindOwnItem(Handle)
            : OpcObjects().Find<TGroupItemImpl>(Handle);
    if (!item) throw EOpcError(OPC_E_INVALIDHANDLE);
    return *item;
}

HRESULT TGroupImpl::ForEachItem(DWORD Count, const OPCHANDLE* Handles, HRESULT** Errors,
                                const TItemAction& Action) {
    SetIfGiven(Errors, nullptr);
    try {
        if (!Errors) throw EOpcError(E_INVALIDARG);
        CheckCountAndArray(Count, Handles);
        TaskMemPtr<HRESULT> errors(OpcAllocArray<HRESULT>(Count));
        bool failed = false;
        for (DWORD i = 0; i < Count; ++i) {
            try {
                Action(i, ValidateItemHandle(Handles[i]));
                errors.get()[i] = S_OK;
            } catch (...) {
                errors.get()[i] = CurrentExceptionResult();
                failed = true;
            }
        }
        *Errors = errors.release();
        return failed ? S_FALSE : S_OK;
    } catch (...) {
        return CurrentExceptionResult();
    }
}

HRESULT TGroupImpl::CreateItems(DWORD Count, const OPCITEMDEF* Defs, OPCITEMRESULT** Results,
                                HRESULT** Errors, bool Validate) {
    SetIfGiven(Results, nullptr);
    SetIfGiven(Errors, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!Results || !Errors) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCountAndArray(Count, Defs);
        TaskMemPtr<OPCITEMRESULT> results(OpcAllocArray<OPCITEMRESULT>(Count));
        TaskMemPtr<HRESULT> errors(OpcAllocArray<HRESULT>(Count));
        if (!Validate) Items_.reserve(Items_.size() + Count);
        bool failed = false;
        for (DWORD i = 0; i < Count; ++i) {
            OPCITEMRESULT& result = results.get()[i];
            try {
                if (Validate) {
                    const std::string id = OpcNarrow(Defs[i].szItemID);
                    if (id.empty()) throw EOpcError(OPC_E_INVALIDITEMID);
                    TServerItemRef& ref = ServerItemList().FindItemRef(id);
                    result.vtCanonicalDataType = ref.CanonicalType;
                    result.dwAccessRights = ref.AccessRights;
                    ref.ReleaseRef();
                } else {
                    Items_.push_back(TGroupItemImpl::Create(*this, Defs[i], result));
                }
                errors.get()[i] = S_OK;
            } catch (...) {
                result = OPCITEMRESULT{};
                errors.get()[i] = CurrentExceptionResult();
                failed = true;
            }
        }
        *Results = results.release();
        *Errors = errors.release();
        return failed ? S_FALSE : S_OK;
    });
}

HRESULT TGroupImpl::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                             HRESULT** ppErrors) {
    return CreateItems(dwCount, pItemArray, ppAddResults, ppErrors, false);
}

HRESULT TGroupImpl::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL,
                                  OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) {
    return CreateItems(dwCount, pItemArray, ppValidationResults, ppErrors, true);
}

HRESULT TGroupImpl::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        return ForEachItem(dwCount, phServer, ppErrors, [this](std::size_t, TGroupItemImpl& item) {
            const auto it = std::find_if(Items_.begin(), Items_.end(),
                                         [&item](const auto& own) { return own.get() == &item; });
            if (it == Items_.end()) throw EOpcError(OPC_E_INVALIDHANDLE);
            EraseItem(it);
        });
    });
}

HRESULT TGroupImpl::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                   HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        return ForEachItem(
            dwCount, phServer, ppErrors,
            [bActive](std::size_t, TGroupItemImpl& item) { item.SetActive(bActive != FALSE); });
    });
}

HRESULT TGroupImpl::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                     HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!phClient) return E_INVALIDARG;
        return ForEachItem(
            dwCount, phServer, ppErrors,
            [phClient](std::size_t i, TGroupItemImpl& item) { item.ClientHandle = phClient[i]; });
    });
}

HRESULT TGroupImpl::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                 HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!pRequestedDatatypes) return E_INVALIDARG;
        return ForEachItem(dwCount, phServer, ppErrors,
                           [pRequestedDatatypes](std::size_t i, TGroupItemImpl& item) {
                               const VARTYPE vt = pRequestedDatatypes[i];
                               if (vt != VT_EMPTY) {
                                   WORD quality = 0;
                                   platform::Variant value =
                                       ItemServer().GetItemValue(item.ServerItem().Handle, quality);
                                   platform::Variant converted;
                                   const HRESULT hr =
                                       VariantChangeType(&converted.Get(), &value.Get(), 0, vt);
                                   if (FAILED(hr)) throw EOpcError(hr);
                               }
                               item.RequestedType = vt;
                           });
    });
}

HRESULT TGroupImpl::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
    SetIfGiven(ppUnk, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!ppUnk) return E_INVALIDARG;
        CheckNotRemoved();
        if (riid != IID_IEnumOPCItemAttributes) return E_INVALIDARG;
        auto* e = new TItemEnumerator(static_cast<IOpcItemList*>(this), 0);
        e->AddRef();
        *ppUnk = e;
        return S_OK;
    });
}

}  // namespace corvane::opc
