// The update cycle of a group: polling its items on every tick, and delivering changed
// (or refreshed) values to the DA 2.0 callback and the DA 1.0 data streams.
#include <algorithm>

#include "Delivery.h"
#include "GroupGuard.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/ItemServer.h"

namespace corvane::opc {

TGroupImpl::TDeliveryList::TDeliveryList(const TGroupImpl& Group,
                                         const std::vector<TGroupItemImpl*>& Items)
    : Group_(Group), Items_(Items), Generation_(Group.ItemsGeneration()) {
    Ids_.reserve(Items.size());
    for (const TGroupItemImpl* item : Items) Ids_.push_back(item->Identity());
}

TGroupImpl::TDeliveryList::TDeliveryList(const TGroupImpl& Group,
                                         const std::vector<DWORD>& Identities)
    : Group_(Group), Ids_(Identities), Generation_(Group.ItemsGeneration()) {
    Resolve();
}

void TGroupImpl::TDeliveryList::Resolve() {
    Items_.clear();
    std::vector<DWORD> kept;
    kept.reserve(Ids_.size());
    for (DWORD id : Ids_) {
        TGroupItemImpl* item = OpcObjects().Find<TGroupItemImpl>(id);
        if (item && &item->OwnerGroup() == &Group_) {
            Items_.push_back(item);
            kept.push_back(id);
        }
    }
    Ids_.swap(kept);
    Generation_ = Group_.ItemsGeneration();
}

const std::vector<TGroupItemImpl*>& TGroupImpl::TDeliveryList::Current() {
    if (Generation_ != Group_.ItemsGeneration()) Resolve();
    return Items_;
}

bool TGroupImpl::CheckChanged(TGroupItemImpl& Item) {
    if (!Item.Active) return false;
    if (Item.Changed.load(std::memory_order_relaxed) && Item.Changed.exchange(false)) return true;
    TServerItem& serverItem = Item.ServerItem();
    if (serverItem.Subscribed) return false;
    WORD quality = OPC_QUALITY_GOOD;
    const platform::Variant value = serverItem.ReadDevice(quality);
    return Item.StoreIfChanged(value.Get(), quality);
}

void TGroupImpl::UpdateTick() {
    if (!Active || Ticking_) return;
    // Declared first, so it ends last: the group may be gone after it.
    TDeliveryScope scope(*this);
    struct TClearOnExit {
        bool& Flag;
        ~TClearOnExit() { Flag = false; }
    } ticking{Ticking_};
    Ticking_ = true;
    std::vector<TGroupItemImpl*> changed;
    for (const auto& item : Items_)
        if (CheckChanged(*item)) changed.push_back(item.get());
    if (changed.empty()) return;
    TDeliveryList items(*this, changed);
    if (DataCallback && CallbacksEnabled) SendDataChange(OPC_DS_CACHE, 0, items);
    for (const TStreamConnection c : {TStreamConnection::Data, TStreamConnection::DataTime}) {
        const DWORD connection = static_cast<DWORD>(c);
        if (Alive() && StreamSinks[connection])
            SendDataStream(OPC_DS_CACHE, nullptr, items, connection);
    }
}

void TGroupImpl::ReadItem(TGroupItemImpl& Item, OPCDATASOURCE Source, VARIANT& Value, WORD& Quality,
                          FILETIME& Time) {
    if (Source == OPC_DS_DEVICE)
        Item.ReadThrough(Value, Quality, Time);
    else
        Item.ReadCache(Value, Quality, Time);
}

void TGroupImpl::ReportCallbackFailure(const std::exception& Failure, TCallbackKind Kind) {
    if (TOpcItemServer* server = ItemServerOrNull()) server->CallbackFailed(Failure, this, Kind);
}

void TGroupImpl::SendDataChange(OPCDATASOURCE Source, DWORD TransactionId, TDeliveryList& Items) {
    if (!DataCallback || !Active) return;
    const std::vector<TGroupItemImpl*>& items = Items.Current();
    const std::size_t n = items.size();
    if (n == 0) return;
    std::vector<OPCHANDLE> handles(n);
    TVariantArray values(n);
    std::vector<WORD> qualities(n, 0);
    std::vector<FILETIME> times(n, FILETIME{});
    std::vector<HRESULT> errors(n, S_OK);
    bool anyError = false;
    bool allGood = true;
    for (std::size_t i = 0; i < n; ++i) {
        TGroupItemImpl& item = *items[i];
        handles[i] = item.ClientHandle;
        try {
            ReadItem(item, Source, values[i], qualities[i], times[i]);
        } catch (...) {
            errors[i] = CurrentExceptionResult();
            anyError = true;
        }
        if (qualities[i] != OPC_QUALITY_GOOD) allGood = false;
    }
    // The sink may disconnect itself from inside its callback: it must live until the
    // call returns.
    const platform::ComPtr<IOPCDataCallback> sink = DataCallback;
    bool delivered = false;
    CallClient(*this, TCallbackKind::DataChange, [&] {
        const HRESULT hr =
            sink->OnDataChange(TransactionId, ClientHandle, allGood ? S_OK : S_FALSE,
                               anyError ? S_FALSE : S_OK, static_cast<DWORD>(n), handles.data(),
                               values.Data(), qualities.data(), times.data(), errors.data());
        delivered = SUCCEEDED(hr);
        return hr;
    });
    if (!delivered || !Alive() || !Server) return;
    FILETIME now{};
    ItemServer().GetTimestamp(now);
    Server->SetLastUpdateTime(now);
}

void TGroupImpl::SendDataStream(OPCDATASOURCE Source, const TAsyncTask* Task, TDeliveryList& Items,
                                DWORD Connection) {
    if (Connection >= kStreamConnectionCount || !StreamSinks[Connection] || !Active) return;
    const std::vector<TGroupItemImpl*>& items = Items.Current();
    const std::size_t n = items.size();
    if (n == 0) return;
    const bool withNull =
        ItemServer().HasOption(static_cast<unsigned>(TServerOption::soStreamLengthWithNull));
    const std::unique_ptr<TDataChangeStream> stream = MakeDataChangeStream(Connection, n);
    stream->SetGroupHeader(ClientHandle, Task ? Task->Identity() : 0);
    bool allGood = true;
    for (std::size_t i = 0; i < n; ++i) {
        TGroupItemImpl& item = *items[i];
        stream->BeginItem(i, item.ClientHandle);
        const bool good = AppendStreamItem(*stream, i, withNull,
                                           [&](VARIANT& value, WORD& quality, FILETIME& time) {
                                               ReadItem(item, Source, value, quality, time);
                                           });
        if (!good) allGood = false;
    }
    stream->Finish(allGood);
    const platform::ComPtr<IAdviseSink> sink = StreamSinks[stream->Connection()];
    if (sink)
        CallSink(*this, TCallbackKind::DataStream, *sink.Get(), stream->Connection(), *stream);
}

}  // namespace corvane::opc
