// IOPCAsyncIO2 and IOPCAsyncIO of a group: the checks made while the client waits, and
// the tasks they queue.
#include <algorithm>

#include "GroupGuard.h"
#include "opcgroups/AsyncTask.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {
namespace {

void CheckSource(OPCDATASOURCE Source) {
    if (Source != OPC_DS_CACHE && Source != OPC_DS_DEVICE) throw EOpcError(E_INVALIDARG);
}

}  // namespace

DWORD TGroupImpl::QueueTask(std::unique_ptr<TAsyncTask> Task) {
    return QueueServerTask(std::move(Task));
}

void TGroupImpl::CheckConnection(DWORD Connection) const {
    if (Connection >= kStreamConnectionCount || !StreamSinks[Connection])
        throw EOpcError(CONNECT_E_NOCONNECTION);
}

bool TGroupImpl::ValidateHandles(DWORD Count, const OPCHANDLE* Handles, HRESULT** Errors) const {
    TaskMemPtr<HRESULT> errors(OpcAllocArray<HRESULT>(Count));
    bool failed = false;
    for (DWORD i = 0; i < Count; ++i) {
        try {
            ValidateItemHandle(Handles[i]);
            errors.get()[i] = S_OK;
        } catch (...) {
            errors.get()[i] = CurrentExceptionResult();
            failed = true;
        }
    }
    if (!failed) return true;
    *Errors = errors.release();
    return false;
}

HRESULT TGroupImpl::Accept(std::unique_ptr<TAsyncTask> Task, DWORD Count, DWORD& Id,
                           HRESULT** Errors) {
    TaskMemPtr<HRESULT> errors;
    if (ItemServer().HasOption(static_cast<unsigned>(TServerOption::soAlwaysReturnErrors))) {
        errors.reset(OpcAllocArray<HRESULT>(Count));
        std::fill_n(errors.get(), Count, S_OK);
    }
    Id = QueueTask(std::move(Task));
    *Errors = errors.release();
    return S_OK;
}

HRESULT TGroupImpl::CancelTask(DWORD Id) {
    CheckNotRemoved();
    const auto it = std::find_if(Tasks_.begin(), Tasks_.end(),
                                 [Id](const TAsyncTask* t) { return t->Identity() == Id; });
    if (it == Tasks_.end()) return E_FAIL;
    TAsyncTask* task = *it;
    Tasks_.erase(it);
    task->Cancel();
    return S_OK;
}

std::vector<DWORD> TGroupImpl::ActiveItemIds() const {
    std::vector<DWORD> ids;
    for (const auto& item : Items_)
        if (item->Active) ids.push_back(item->Identity());
    return ids;
}

// IOPCAsyncIO2

HRESULT TGroupImpl::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                         DWORD* pdwCancelID, HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    SetIfGiven(pdwCancelID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pdwCancelID || !ppErrors) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCallbackConnected();
        CheckCountAndArray(dwCount, phServer);
        auto task = std::make_unique<TAsyncReadTask>(*this, dwCount, phServer);
        task->TransactionId = dwTransactionID;
        return Accept(std::move(task), dwCount, *pdwCancelID, ppErrors);
    });
}

HRESULT TGroupImpl::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                          DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    SetIfGiven(pdwCancelID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pdwCancelID || !ppErrors) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCallbackConnected();
        CheckCountAndArray(dwCount, phServer);
        CheckCountAndArray(dwCount, pItemValues);
        auto task = std::make_unique<TAsyncWriteTask>(*this, dwCount, phServer, pItemValues);
        task->TransactionId = dwTransactionID;
        return Accept(std::move(task), dwCount, *pdwCancelID, ppErrors);
    });
}

HRESULT TGroupImpl::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
    SetIfGiven(pdwCancelID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pdwCancelID) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCallbackConnected();
        CheckSource(dwSource);
        if (!Active) return E_FAIL;
        auto task = std::make_unique<TRefreshTask>(*this, dwSource);
        if (task->Empty()) return E_FAIL;
        task->TransactionId = dwTransactionID;
        *pdwCancelID = QueueTask(std::move(task));
        return S_OK;
    });
}

HRESULT TGroupImpl::Cancel2(DWORD dwCancelID) {
    return Guarded([&] { return CancelTask(dwCancelID); });
}

HRESULT TGroupImpl::SetEnable(BOOL bEnable) {
    return Guarded([&]() -> HRESULT {
        CheckNotRemoved();
        CheckCallbackConnected();
        CallbacksEnabled = bEnable != FALSE;
        return S_OK;
    });
}

HRESULT TGroupImpl::GetEnable(BOOL* pbEnable) {
    return Guarded([&]() -> HRESULT {
        if (!pbEnable) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCallbackConnected();
        *pbEnable = CallbacksEnabled ? TRUE : FALSE;
        return S_OK;
    });
}

// IOPCAsyncIO

HRESULT TGroupImpl::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                         OPCHANDLE* phServer, DWORD* pTransactionID, HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    SetIfGiven(pTransactionID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pTransactionID || !ppErrors) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCountAndArray(dwCount, phServer);
        CheckConnection(dwConnection);
        CheckSource(dwSource);
        if (!ValidateHandles(dwCount, phServer, ppErrors)) return S_FALSE;
        return Accept(
            std::make_unique<TAsyncReadTask1>(*this, dwCount, phServer, dwConnection, dwSource),
            dwCount, *pTransactionID, ppErrors);
    });
}

HRESULT TGroupImpl::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer,
                          VARIANT* pItemValues, DWORD* pTransactionID, HRESULT** ppErrors) {
    SetIfGiven(ppErrors, nullptr);
    SetIfGiven(pTransactionID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pTransactionID || !ppErrors) return E_INVALIDARG;
        CheckNotRemoved();
        CheckCountAndArray(dwCount, phServer);
        CheckCountAndArray(dwCount, pItemValues);
        // Any advised connection will do: the completion always goes to the
        // write-complete sink.
        CheckConnection(dwConnection);
        if (!ValidateHandles(dwCount, phServer, ppErrors)) return S_FALSE;
        return Accept(std::make_unique<TAsyncWriteTask1>(*this, dwCount, phServer, pItemValues),
                      dwCount, *pTransactionID, ppErrors);
    });
}

HRESULT TGroupImpl::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
    SetIfGiven(pTransactionID, 0);
    return Guarded([&]() -> HRESULT {
        if (!pTransactionID) return E_INVALIDARG;
        CheckNotRemoved();
        CheckConnection(dwConnection);
        CheckSource(dwSource);
        if (!Active) return E_FAIL;
        auto task = std::make_unique<TRefreshTask1>(*this, dwSource, dwConnection);
        if (task->Empty()) return E_FAIL;
        *pTransactionID = QueueTask(std::move(task));
        return S_OK;
    });
}

HRESULT TGroupImpl::Cancel(DWORD dwTransactionID) {
    return Guarded([&] { return CancelTask(dwTransactionID); });
}

}  // namespace corvane::opc
