// IOPCGroupStateMgt and IConnectionPointContainer of a group.
#include <algorithm>

#include "GroupGuard.h"
#include "opcgroups/Group.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {

HRESULT TGroupImpl::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                             FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                             OPCHANDLE* phServerGroup) {
    SetIfGiven(ppName, nullptr);
    return Guarded([&]() -> HRESULT {
        CheckNotRemoved();
        if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID ||
            !phClientGroup || !phServerGroup)
            return E_INVALIDARG;
        *ppName = OpcWideCopy(Name);
        *pUpdateRate = UpdateRate;
        *pActive = Active ? TRUE : FALSE;
        *pTimeBias = TimeBias;
        *pPercentDeadband = PercentDeadband;
        *pLCID = LocaleID;
        *phClientGroup = ClientHandle;
        *phServerGroup = ServerHandle();
        return S_OK;
    });
}

HRESULT TGroupImpl::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                             OPCHANDLE* phClientGroup) {
    return Guarded([&]() -> HRESULT {
        CheckNotRemoved();
        // Settings before a failing one stay applied; later ones are not.
        if (pRequestedUpdateRate) {
            SetUpdateRate(*pRequestedUpdateRate);
            SetIfGiven(pRevisedUpdateRate, UpdateRate);
        }
        if (pActive) SetActive(*pActive != FALSE);
        if (pTimeBias) TimeBias = *pTimeBias;
        if (pPercentDeadband) SetPercentDeadband(*pPercentDeadband);
        if (pLCID) LocaleID = *pLCID;
        if (phClientGroup) ClientHandle = *phClientGroup;
        return pRequestedUpdateRate && UpdateRate != *pRequestedUpdateRate ? OPC_S_UNSUPPORTEDRATE
                                                                           : S_OK;
    });
}

HRESULT TGroupImpl::SetName(LPCWSTR szName) {
    return Guarded([&]() -> HRESULT {
        if (Removed) return E_FAIL;
        if (!szName) return E_INVALIDARG;
        const std::string name = TrimmedName(OpcNarrow(szName));
        if (name.empty()) return E_INVALIDARG;
        List().Rename(*this, name);
        return S_OK;
    });
}

HRESULT TGroupImpl::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    SetIfGiven(ppUnk, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!ppUnk) return E_INVALIDARG;
        CheckNotRemoved();
        TGroupParams params;
        params.Name = OpcNarrow(szName);
        params.RequestedUpdateRate = UpdateRate;
        params.Active = false;
        params.ClientHandle = ClientHandle;
        params.TimeBias = TimeBias;
        params.PercentDeadband = PercentDeadband;
        params.LocaleID = LocaleID;
        TGroupImpl& clone = Create(List(), std::move(params));
        const auto discard = [&] {
            // The client must not keep a pointer to the clone it is told failed.
            if (*ppUnk) std::exchange(*ppUnk, nullptr)->Release();
            clone.List().Unregister(clone.Name);
            Destroy(clone);
        };
        if (FAILED(clone.QueryInterface(riid, reinterpret_cast<void**>(ppUnk)))) {
            discard();
            return E_NOINTERFACE;
        }
        try {
            clone.Items_.reserve(Items_.size());
            for (const auto& item : Items_)
                clone.Items_.push_back(TGroupItemImpl::Copy(clone, *item));
        } catch (...) {
            discard();
            throw;
        }
        return S_OK;
    });
}

HRESULT TGroupImpl::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    SetIfGiven(ppEnum, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!ppEnum) return E_INVALIDARG;
        auto* e = new TEnumerateCP(CallbackPoint_.get(), 0);
        e->AddRef();
        *ppEnum = e;
        return S_OK;
    });
}

HRESULT TGroupImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    SetIfGiven(ppCP, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!ppCP) return E_INVALIDARG;
        if (riid != IID_IOPCDataCallback) return CONNECT_E_NOCONNECTION;
        CallbackPoint_->AddRef();
        *ppCP = CallbackPoint_.get();
        return S_OK;
    });
}

}  // namespace corvane::opc
