// IOPCSyncIO of a group: reads from the cache or the device, writes to the device.
#include "GroupGuard.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {

void TGroupImpl::ReadOne(OPCDATASOURCE Source, bool GroupActive, const FILETIME& Stamp,
                         TGroupItemImpl& Item, OPCITEMSTATE& State) {
    if (!(Item.ServerItem().AccessRights & OPC_READABLE)) throw EOpcError(OPC_E_BADRIGHTS);
    State.hClient = Item.ClientHandle;
    if (Source == OPC_DS_CACHE) {
        Item.ReadCache(State.vDataValue, State.wQuality, State.ftTimeStamp);
        if (!Item.Active || !GroupActive) State.wQuality = OPC_QUALITY_OUT_OF_SERVICE;
    } else {
        Item.ReadThrough(State.vDataValue, State.wQuality, State.ftTimeStamp, &Stamp);
    }
    State.wReserved = 0;
}

HRESULT TGroupImpl::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                         OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) {
    SetIfGiven(ppItemValues, nullptr);
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!ppItemValues || !ppErrors) return E_INVALIDARG;
        CheckCountAndArray(dwCount, phServer);
        if (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) return E_INVALIDARG;
        TaskMemPtr<OPCITEMSTATE> states(OpcAllocArray<OPCITEMSTATE>(dwCount));
        const bool groupActive = Active;
        // One device read is one moment: every item gets the same time stamp, and the
        // clock is read once rather than a thousand times.
        FILETIME stamp{};
        if (dwSource == OPC_DS_DEVICE) ItemServer().GetTimestamp(stamp);
        const HRESULT hr =
            ForEachItem(dwCount, phServer, ppErrors, [&](std::size_t i, TGroupItemImpl& item) {
                ReadOne(dwSource, groupActive, stamp, item, states.get()[i]);
            });
        if (FAILED(hr)) return hr;
        FILETIME now{};
        ItemServer().GetTimestamp(now);
        Server->SetLastUpdateTime(now);
        *ppItemValues = states.release();
        return hr;
    });
}

HRESULT TGroupImpl::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                          HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    return Guarded([&]() -> HRESULT {
        if (!pItemValues) return E_INVALIDARG;
        return ForEachItem(dwCount, phServer, ppErrors,
                           [pItemValues](std::size_t i, TGroupItemImpl& item) {
                               item.ServerItem().WriteDevice(pItemValues[i]);
                           });
    });
}

}  // namespace corvane::opc
