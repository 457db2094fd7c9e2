// What each queued task does when the server window runs it.
#include "opcgroups/AsyncTask.h"
#include "opcserver/ComBoundary.h"

#include <algorithm>

#include "Delivery.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"

namespace corvane::opc {

TAsyncTask::TAsyncTask(TGroupImpl& Group) : Group(Group) {
    Group.Tasks_.push_back(this);
    Listed_ = true;
}

TAsyncTask::~TAsyncTask() {
    // A task that never got queued (its request failed) leaves its group's list.
    if (Listed_) std::erase(Group.Tasks_, this);
}

void TAsyncTask::Cancel() {
    Cancelled = true;
    Listed_ = false;
}

void TAsyncTask::RunQueued() {
    if (Cancelled) return;
    std::erase(Group.Tasks_, this);
    Listed_ = false;
    // A client may remove or release the group from inside its callback.
    TGroupImpl::TDeliveryScope scope(Group);
    Execute();
}

TAsyncIOTask::TAsyncIOTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles)
    : TAsyncTask(Group), ItemArray(Handles, Handles + Count) {}

TAsyncReadTask::TAsyncReadTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles)
    : TAsyncIOTask(Group, Count, Handles) {}

void TAsyncReadTask::Execute() {
    const std::size_t n = ItemArray.size();
    std::vector<OPCHANDLE> handles(n, 0);
    TVariantArray values(n);
    std::vector<WORD> qualities(n, 0);
    std::vector<FILETIME> times(n, FILETIME{});
    std::vector<HRESULT> errors(n, S_OK);
    bool anyError = false;
    bool allGood = true;
    for (std::size_t i = 0; i < n; ++i) {
        try {
            TGroupItemImpl& item = Group.ValidateItemHandle(ItemArray[i]);
            handles[i] = item.ClientHandle;
            item.ReadThrough(values[i], qualities[i], times[i]);
        } catch (...) {
            errors[i] = CurrentExceptionResult();
            anyError = true;
        }
        if (qualities[i] != OPC_QUALITY_GOOD) allGood = false;
    }
    const platform::ComPtr<IOPCDataCallback> sink = Group.DataCallback;
    if (!sink) return;
    CallClient(Group, TCallbackKind::ReadComplete, [&] {
        return sink->OnReadComplete(TransactionId, Group.ClientHandle, allGood ? S_OK : S_FALSE,
                                    anyError ? S_FALSE : S_OK, static_cast<DWORD>(n),
                                    handles.data(), values.Data(), qualities.data(), times.data(),
                                    errors.data());
    });
}

TAsyncReadTask1::TAsyncReadTask1(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles,
                                 DWORD Connection, OPCDATASOURCE Source)
    : TAsyncIOTask(Group, Count, Handles), Connection(Connection), Source(Source) {}

void TAsyncReadTask1::Execute() {
    const std::size_t n = ItemArray.size();
    const bool withNull =
        ItemServer().HasOption(static_cast<unsigned>(TServerOption::soStreamLengthWithNull));
    const std::unique_ptr<TDataChangeStream> stream = MakeDataChangeStream(Connection, n);
    stream->SetGroupHeader(Group.ClientHandle, Identity());
    bool allGood = true;
    for (std::size_t i = 0; i < n; ++i) {
        stream->BeginItem(i, 0);
        const bool good = AppendStreamItem(
            *stream, i, withNull, [&](VARIANT& value, WORD& quality, FILETIME& time) {
                TGroupItemImpl& item = Group.ValidateItemHandle(ItemArray[i]);
                stream->BeginItem(i, item.ClientHandle);
                TGroupImpl::ReadItem(item, Source, value, quality, time);
            });
        if (!good) allGood = false;
    }
    stream->Finish(allGood);
    const platform::ComPtr<IAdviseSink> sink = Group.StreamSinks[stream->Connection()];
    if (sink)
        CallSink(Group, TCallbackKind::ReadStream, *sink.Get(), stream->Connection(), *stream);
}

TAsyncWriteTask::TAsyncWriteTask(TGroupImpl& Group, DWORD Count, const OPCHANDLE* Handles,
                                 const VARIANT* Values)
    : TAsyncIOTask(Group, Count, Handles), Values(Count), CopyErrors(Count, S_OK) {
    for (DWORD i = 0; i < Count; ++i) {
        CopyErrors[i] = VariantCopyInd(&this->Values[i].Get(), const_cast<VARIANT*>(&Values[i]));
    }
}

void TAsyncWriteTask::WriteOne(TGroupItemImpl& Item, std::size_t Index) {
    if (FAILED(CopyErrors[Index])) throw EOpcError(CopyErrors[Index]);
    Item.ServerItem().WriteDevice(Values[Index].Get());
}

void TAsyncWriteTask::Execute() {
    const std::size_t n = ItemArray.size();
    std::vector<OPCHANDLE> handles(n, 0);
    std::vector<HRESULT> errors(n, S_OK);
    bool anyError = false;
    for (std::size_t i = 0; i < n; ++i) {
        try {
            TGroupItemImpl& item = Group.ValidateItemHandle(ItemArray[i]);
            handles[i] = item.ClientHandle;
            WriteOne(item, i);
        } catch (...) {
            errors[i] = CurrentExceptionResult();
            anyError = true;
        }
    }
    const platform::ComPtr<IOPCDataCallback> sink = Group.DataCallback;
    if (!sink) return;
    CallClient(Group, TCallbackKind::WriteComplete, [&] {
        return sink->OnWriteComplete(TransactionId, Group.ClientHandle, anyError ? S_FALSE : S_OK,
                                     static_cast<DWORD>(n), handles.data(), errors.data());
    });
}

void TAsyncWriteTask1::Execute() {
    const std::size_t n = ItemArray.size();
    TWriteCompleteStream stream(n, Group.ClientHandle, Identity());
    bool anyError = false;
    for (std::size_t i = 0; i < n; ++i) {
        OPCHANDLE client = 0;
        HRESULT error = S_OK;
        try {
            TGroupItemImpl& item = Group.ValidateItemHandle(ItemArray[i]);
            client = item.ClientHandle;
            WriteOne(item, i);
        } catch (...) {
            error = CurrentExceptionResult();
            anyError = true;
        }
        stream.SetItem(i, client, error);
    }
    // The summary tells a client at a glance that some item failed.
    stream.SetStatus(anyError ? S_FALSE : S_OK);
    const DWORD connection = static_cast<DWORD>(TStreamConnection::WriteComplete);
    const platform::ComPtr<IAdviseSink> sink = Group.StreamSinks[connection];
    if (sink) CallSink(Group, TCallbackKind::WriteStream, *sink.Get(), connection, stream);
}

TRefreshTask::TRefreshTask(TGroupImpl& Group, OPCDATASOURCE Source)
    : TAsyncTask(Group), Source(Source), RefreshItems(Group.ActiveItemIds()) {}

void TRefreshTask::Execute() {
    TGroupImpl::TDeliveryList items(Group, RefreshItems);
    Group.SendDataChange(Source, TransactionId, items);
}

TRefreshTask1::TRefreshTask1(TGroupImpl& Group, OPCDATASOURCE Source, DWORD Connection)
    : TRefreshTask(Group, Source), Connection(Connection) {}

void TRefreshTask1::Execute() {
    TGroupImpl::TDeliveryList items(Group, RefreshItems);
    Group.SendDataStream(Source, this, items, Connection);
}

}  // namespace corvane::opc
