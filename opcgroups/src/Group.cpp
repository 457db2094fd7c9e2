// Group construction, reference counting, destruction and the disconnected shell.
#include <algorithm>
#include <cmath>
#include <set>

#include "GroupGuard.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"

namespace corvane::opc {
namespace {

std::set<TGroupImpl*>& Orphans() {
    static std::set<TGroupImpl*> orphans;
    return orphans;
}

// Every group that still holds contents, for the framework's shutdown.
std::set<TGroupImpl*>& LiveGroups() {
    static std::set<TGroupImpl*> live;
    return live;
}

}  // namespace

TGroupImpl::TGroupImpl(TGroupList& List) : Key_(std::make_unique<TKey>(*this)), List_(&List) {
    LiveGroups().insert(this);
}

TGroupImpl::~TGroupImpl() {
    Teardown();
}

TGroupImpl& TGroupImpl::Create(TGroupList& List, TGroupParams Params) {
    struct Deleter {
        void operator()(TGroupImpl* g) const { delete g; }
    };
    std::unique_ptr<TGroupImpl, Deleter> group(new TGroupImpl(List));
    group->Construct(std::move(Params));
    return *group.release();
}

void TGroupImpl::Construct(TGroupParams Params) {
    Server = &List().Host();
    Name = TrimmedName(Params.Name);
    if (Name.empty()) Name = List().UniqueGroupName();
    SetPercentDeadband(Params.PercentDeadband);
    CallbacksEnabled = true;
    List().RegisterGroup(Name, *this);
    try {
        CallbackPoint_ = std::make_unique<TConnectionPoint>(
            *Unknown(),
            [this](IUnknown* Sink, bool Connecting) { ConnectionChanged(Sink, Connecting); },
            IID_IOPCDataCallback);
        SetActive(Params.Active);
        ClientHandle = Params.ClientHandle;
        TimeBias = Params.TimeBias;
        LocaleID = Params.LocaleID;
        UpdateRate = 0x7FFFFFFF;
        SetUpdateRate(Params.RequestedUpdateRate);
    } catch (...) {
        List().Unregister(Name);
        throw;
    }
    NotifyItemServer(TNotification::GroupAdded, this);
    Announced_ = true;
}

void TGroupImpl::Teardown() {
    if (!Key_) return;
    Dying_ = true;
    if (TimerRunning_) {
        StopServerTimer(*Key_);
        TimerRunning_ = false;
        DiscardServerTimerTicks();
    }
    if (Announced_) {
        NotifyItemServer(TNotification::GroupRemoved, this);
        Announced_ = false;
    }
    TGroupItemList items;
    items.swap(Items_);
    ++ItemsGeneration_;
    items.clear();
    // The point itself lives as long as the shell: a client may still hold it (its
    // references are the group's).
    if (CallbackPoint_) CallbackPoint_->ClearSink();
    DataCallback.Reset();
    for (auto& sink : StreamSinks) sink.Reset();
    // Queued tasks stay with the server window, which destroys them unrun.
    std::vector<TAsyncTask*> tasks;
    tasks.swap(Tasks_);
    for (TAsyncTask* task : tasks) task->Cancel();
    Key_.reset();
    LiveGroups().erase(this);
    Dying_ = false;
}

void TGroupImpl::DeleteSelf() {
    if (Delivering_ > 0) {
        DeletePending_ = true;
        return;
    }
    delete this;
}

TGroupImpl::TDeliveryScope::TDeliveryScope(TGroupImpl& Group) : Group_(Group) {
    ++Group_.Delivering_;
}

TGroupImpl::TDeliveryScope::~TDeliveryScope() {
    if (--Group_.Delivering_ == 0 && Group_.DeletePending_) delete &Group_;
}

void TGroupImpl::Destroy(TGroupImpl& Group) {
    Group.Teardown();
    if (Group.RefCount_ <= 0) {
        Group.Server = nullptr;
        Group.List_ = nullptr;
        Group.DeleteSelf();
        return;
    }
    Group.Orphaned_ = true;
    Group.Server = nullptr;
    Group.List_ = nullptr;
    Orphans().insert(&Group);
    // A remote bridge drops its proxies here, which may free the shell at once.
    CoDisconnectObject(Group.Unknown(), 0);
}

std::size_t TGroupImpl::OrphanCount() {
    return Orphans().size();
}

void TGroupImpl::ShutdownAll() {
    std::set<TGroupImpl*> live;
    live.swap(LiveGroups());
    for (TGroupImpl* g : live) {
        g->Teardown();
        if (g->RefCount_ > 0) CoDisconnectObject(g->Unknown(), 0);
    }
}

void TGroupImpl::FreeOrphans() {
    std::set<TGroupImpl*> orphans;
    orphans.swap(Orphans());
    for (TGroupImpl* g : orphans) delete g;
}

TGroupImpl* TGroupImpl::FromHandle(OPCHANDLE Handle) {
    TKey* key = OpcObjects().Find<TKey>(Handle);
    return key ? &key->Group() : nullptr;
}

OPCHANDLE TGroupImpl::ServerHandle() const {
    return Key_ ? Key_->Identity() : 0;
}

HRESULT TGroupImpl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IOPCAsyncIO)
        *ppv = static_cast<IOPCAsyncIO*>(this);
    else if (riid == IID_IDataObject)
        *ppv = static_cast<IDataObject*>(this);
    else if (riid == IID_IOpcItemList)
        *ppv = static_cast<IOpcItemList*>(this);
    else if (riid == IID_IOPCAsyncIO2)
        *ppv = static_cast<IOPCAsyncIO2*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_IOPCSyncIO)
        *ppv = static_cast<IOPCSyncIO*>(this);
    else if (riid == IID_IOPCGroupStateMgt || riid == IID_IUnknown)
        *ppv = static_cast<IOPCGroupStateMgt*>(this);
    else if (riid == IID_IOPCItemMgt)
        *ppv = static_cast<IOPCItemMgt*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG TGroupImpl::AddRef() {
    return static_cast<ULONG>(++RefCount_);
}

ULONG TGroupImpl::Release() {
    const LONG left = --RefCount_;
    if (left < 0) {
        // A client releasing more than it got must not bring a group down twice.
        RefCount_ = 0;
        return 0;
    }
    if (left > 0 || Dying_) return static_cast<ULONG>(std::max<LONG>(left, 0));
    if (Orphaned_) {
        Orphans().erase(this);
        DeleteSelf();
    } else if (Removed && Alive()) {
        List().Forget(*this);
        Teardown();
        Server = nullptr;
        List_ = nullptr;
        DeleteSelf();
    }
    return 0;
}

void TGroupImpl::CheckNotRemoved() const {
    if (Removed) throw EOpcError(E_FAIL);
}

void TGroupImpl::CheckCallbackConnected() const {
    if (!DataCallback) throw EOpcError(CONNECT_E_NOCONNECTION);
}

void TGroupImpl::SetUpdateRate(DWORD Requested) {
    if (Requested == UpdateRate) return;
    if (TimerRunning_) {
        StopServerTimer(*Key_);
        TimerRunning_ = false;
    }
    const DWORD rate = std::max(Requested, ItemServer().MinUpdateRate());
    if (!StartServerTimer(*Key_, rate)) throw EOpcError(E_FAIL);
    TimerRunning_ = true;
    UpdateRate = rate;
}

void TGroupImpl::SetActive(bool Flag) {
    if (Flag == Active) return;
    Active = Flag;
    if (!Flag) return;
    for (const auto& item : Items_) item->Prime();
}

void TGroupImpl::SetPercentDeadband(float Value) {
    // A NaN would pass both bounds and make every deadband comparison false.
    if (std::isnan(Value) || Value < -1e-20f || Value > 100.0f) throw EOpcError(E_INVALIDARG);
    PercentDeadband = Value;
}

void TGroupImpl::Disconnect() {
    if (CallbackPoint_) CallbackPoint_->ClearSink();
    DataCallback.Reset();
    for (auto& sink : StreamSinks) sink.Reset();
    CoDisconnectObject(Unknown(), 0);
}

void TGroupImpl::ConnectionChanged(IUnknown* Sink, bool Connecting) {
    DataCallback.Reset();
    if (!Alive()) return;
    if (!Connecting || !Sink) return;
    Sink->QueryInterface(IID_IOPCDataCallback, DataCallback.PutVoid());
    // A new subscriber gets the current values once; an inactive group, or one without
    // active items, refuses the refresh and sends nothing.
    DWORD cancelId = 0;
    Refresh2(OPC_DS_DEVICE, 0, &cancelId);
}

void TGroupImpl::EraseItem(TGroupItemList::iterator It) {
    ++ItemsGeneration_;
    Items_.erase(It);
}

}  // namespace corvane::opc
