// Group items: construction from a client's definition or a clone, activation and
// priming, cache and device reads, change detection and item attributes.
#include <cmath>

#include "corvane/platform/VariantTime.h"
#include "opcgroups/Group.h"
#include "opcgroups/GroupItem.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/ServerWindow.h"

namespace corvane::opc {
namespace {

// The value as a double; false when it does not convert.
bool AsDouble(const VARIANT& v, double& out) {
    platform::Variant d;
    if (FAILED(VariantChangeType(&d.Get(), const_cast<VARIANT*>(&v), 0, VT_R8))) return false;
    out = d->dblVal;
    return true;
}

// Elements 0 and 1 of the EU information array; high is 0 when they cannot be read.
void EULimits(IEUInfo& info, double& low, double& high) {
    low = 0.0;
    high = 0.0;
    platform::Variant limits;
    if (FAILED(info.EUInfo(&limits.Get())) || !(limits.Type() & VT_ARRAY) || !limits->parray)
        return;
    for (LONG i = 0; i < 2; ++i) {
        platform::Variant element;
        SAFEARRAY* sa = limits->parray;
        VARTYPE vt = VT_EMPTY;
        if (FAILED(SafeArrayGetVartype(sa, &vt))) return;
        LONG index = sa->rgsabound[0].lLbound + i;
        if (vt == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(sa, &index, &element.Get()))) return;
        } else {
            element->vt = vt;
            if (vt == VT_BSTR || FAILED(SafeArrayGetElement(sa, &index, &element->llVal))) {
                element->vt = VT_EMPTY;
                return;
            }
        }
        double d = 0.0;
        if (!AsDouble(element.Get(), d)) return;
        (i == 0 ? low : high) = d;
    }
}

}  // namespace

TGroupItemImpl::TGroupItemImpl(TGroupImpl& Group) : Group_(Group) {}

TGroupItemImpl::~TGroupItemImpl() {
    if (Announced) NotifyItemServer(TNotification::ItemRemoved, this);
    if (ServerItem_) ServerItem_->RemoveGroupItem(*this);
}

std::unique_ptr<TGroupItemImpl> TGroupItemImpl::Create(TGroupImpl& Group, const OPCITEMDEF& Def,
                                                       OPCITEMRESULT& Result) {
    Result = OPCITEMRESULT{};
    const std::string id = OpcNarrow(Def.szItemID);
    if (id.empty()) throw EOpcError(OPC_E_INVALIDITEMID);
    std::unique_ptr<TGroupItemImpl> item(new TGroupItemImpl(Group));
    item->ServerItem_ = &ServerItemList().FindOrAddServerItem(*item, id);
    item->ClientHandle = Def.hClient;
    CheckRequestedType(Def.vtRequestedDataType);
    item->RequestedType = Def.vtRequestedDataType;
    item->SetActive(Def.bActive != FALSE);
    Result.hServer = item->Identity();
    Result.vtCanonicalDataType = item->ServerItem_->CanonicalType;
    Result.dwAccessRights = item->ServerItem_->AccessRights;
    NotifyItemServer(TNotification::ItemAdded, item.get());
    item->Announced = true;
    return item;
}

std::unique_ptr<TGroupItemImpl> TGroupItemImpl::Copy(TGroupImpl& Group,
                                                     const TGroupItemImpl& From) {
    std::unique_ptr<TGroupItemImpl> item(new TGroupItemImpl(Group));
    From.ServerItem_->AddGroupItem(*item);
    item->ServerItem_ = From.ServerItem_;
    item->ClientHandle = From.ClientHandle;
    item->RequestedType = From.RequestedType;
    item->SetActive(From.Active);
    return item;
}

TGroupInfo& TGroupItemImpl::Group() const {
    return Group_;
}

DATE TGroupItemImpl::TimeStamp() const {
    const auto lock = CacheLock();
    return platform::DateFromFileTime(CachedTime);
}

platform::Variant TGroupItemImpl::LastValue() const {
    const auto lock = CacheLock();
    return CachedValue;
}

std::unique_lock<std::recursive_mutex> TGroupItemImpl::CacheLock() const {
    std::unique_lock lock(ServerItem_->Owner.RefLock(), std::defer_lock);
    if (ServerItem_->Subscribed) lock.lock();
    return lock;
}

FILETIME TGroupItemImpl::Now() const {
    FILETIME t{};
    ItemServer().GetTimestamp(t);
    return t;
}

void TGroupItemImpl::SetActive(bool Flag) {
    if (Flag == Active) return;
    Active = Flag;
    if (Flag) Prime();
}

void TGroupItemImpl::Prime() {
    WORD quality = OPC_QUALITY_GOOD;
    platform::Variant value = ServerItem_->ReadDevice(quality);
    const FILETIME time = Now();
    const auto lock = CacheLock();
    CachedValue = std::move(value);
    CachedQuality = quality;
    CachedTime = time;
    Changed = true;
}

void TGroupItemImpl::ConvertToRequested(VARIANT& Value) const {
    if (RequestedType == VT_EMPTY || RequestedType == ServerItem_->CanonicalType) return;
    platform::Variant converted;
    const HRESULT hr = VariantChangeType(&converted.Get(), &Value, 0, RequestedType);
    if (FAILED(hr)) throw EOpcError(hr);
    converted.DetachTo(Value);
}

void TGroupItemImpl::ReadCache(VARIANT& Value, WORD& Quality, FILETIME& Time) const {
    platform::Variant copy;
    {
        const auto lock = CacheLock();
        copy = CachedValue;
        Quality = CachedQuality;
        Time = CachedTime;
    }
    copy.DetachTo(Value);
    ConvertToRequested(Value);
}

void TGroupItemImpl::ReadThrough(VARIANT& Value, WORD& Quality, FILETIME& Time) {
    ReadThrough(Value, Quality, Time, nullptr);
}

void TGroupItemImpl::ReadThrough(VARIANT& Value, WORD& Quality, FILETIME& Time,
                                 const FILETIME* Stamp) {
    WORD quality = OPC_QUALITY_GOOD;
    platform::Variant value = ServerItem_->ReadDevice(quality);
    const FILETIME time = Stamp ? *Stamp : Now();
    {
        const auto lock = CacheLock();
        CachedValue = value;
        CachedQuality = quality;
        CachedTime = time;
    }
    Quality = quality;
    Time = time;
    value.DetachTo(Value);
    ConvertToRequested(Value);
}

bool TGroupItemImpl::ValueDiffers(const VARIANT& Value) {
    const TServerItem& si = *ServerItem_;
    if (!(si.EUInfo && si.Analog && (si.EUInfo->EUType() & 0x7F) == OPC_ANALOG))
        return !ValuesEqual(CachedValue.Get(), Value);
    double low = 0.0, high = 0.0, was = 0.0, now = 0.0;
    EULimits(*si.EUInfo.Get(), low, high);
    const long double threshold =
        static_cast<long double>(Group_.PercentDeadband) / 100.0L * (high - low);
    if (!AsDouble(CachedValue.Get(), was) || !AsDouble(Value, now)) return true;
    const long double diff = std::fabs(static_cast<long double>(was) - now);
    if (threshold < diff) return true;
    // Inside the deadband: the value is confirmed, not stored.
    const FILETIME time = Now();
    const auto lock = CacheLock();
    CachedTime = time;
    return false;
}

bool TGroupItemImpl::StoreIfChanged(const VARIANT& Value, WORD Quality) {
    if (Quality == CachedQuality && !ValueDiffers(Value)) return false;
    platform::Variant copy(Value);
    const FILETIME time = Now();
    {
        const auto lock = CacheLock();
        std::swap(CachedValue, copy);
        CachedQuality = Quality;
        CachedTime = time;
    }
    ItemServer().ItemValueChanged(this);
    return true;
}

void TGroupItemImpl::FillAttributes(OPCITEMATTRIBUTES& Attributes) const {
    Attributes = OPCITEMATTRIBUTES{};
    VariantInit(&Attributes.vEUInfo);
    TaskMemPtr<WCHAR> path(OpcWideCopy(""));
    TaskMemPtr<WCHAR> id(OpcWideCopy(ServerItem_->ItemId));
    Attributes.bActive = Active ? TRUE : FALSE;
    Attributes.hClient = ClientHandle;
    Attributes.hServer = Identity();
    Attributes.dwAccessRights = ServerItem_->AccessRights;
    Attributes.vtRequestedDataType = RequestedType;
    Attributes.vtCanonicalDataType = ServerItem_->CanonicalType;
    if (ServerItem_->EUInfo) {
        Attributes.dwEUType = static_cast<OPCEUTYPE>(ServerItem_->EUInfo->EUType() & 0x7F);
        platform::Variant info;
        ServerItem_->EUInfo->EUInfo(&info.Get());
        info.DetachTo(Attributes.vEUInfo);
    }
    Attributes.szAccessPath = path.release();
    Attributes.szItemID = id.release();
}

}  // namespace corvane::opc
