// A group item: one client's view of one item inside one group, with its value cache.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "corvane/platform/Variant.h"
#include "opcda.h"
#include "opcserver/ObjectTable.h"

namespace corvane::opc {

class TGroupImpl;
class TGroupInfo;
class TServerItem;

// What an item server may see of a group item.
class TGroupItemInfo {
  public:
    virtual TServerItem& ServerItem() const = 0;
    virtual TGroupInfo& Group() const = 0;
    // The cache time stamp as a date-time value (no time-zone shift).
    virtual DATE TimeStamp() const = 0;
    // A copy of the cached value.
    virtual platform::Variant LastValue() const = 0;

    bool Active = false;
    VARTYPE RequestedType = VT_EMPTY;  // VT_EMPTY: the canonical type
    OPCHANDLE ClientHandle = 0;

  protected:
    TGroupItemInfo() = default;
    ~TGroupItemInfo() = default;
};

// Owned by its group's item list; its identity is the hServer given to the client. The
// cache of an item the item server pushes is shared with the pushing thread, so it is
// only touched under the server item list's RefLock; the cache of a polled item is
// touched on the server thread alone and needs no lock. Never outlives its server item
// reference.
class TGroupItemImpl final : public TGroupItemInfo, public TOpcObject {
  public:
    // The item for one OPCITEMDEF, filling Result; raises the item's error and then
    // leaves nothing behind (no server item made for it alone, no notification).
    static std::unique_ptr<TGroupItemImpl> Create(TGroupImpl& Group, const OPCITEMDEF& Def,
                                                  OPCITEMRESULT& Result);
    // A copy for a cloned group: same server item, client handle, requested type and
    // active flag (an active copy is primed); not announced to the item server.
    static std::unique_ptr<TGroupItemImpl> Copy(TGroupImpl& Group, const TGroupItemImpl& From);
    ~TGroupItemImpl() override;

    TServerItem& ServerItem() const override { return *ServerItem_; }
    TGroupInfo& Group() const override;
    TGroupImpl& OwnerGroup() const { return Group_; }
    DATE TimeStamp() const override;
    platform::Variant LastValue() const override;

    // Priming on activation; a priming failure is raised with Active already set.
    void SetActive(bool Flag);
    // Reads the device into the cache and marks it changed.
    void Prime();
    // The cache, converted to RequestedType when that differs from the canonical type.
    void ReadCache(VARIANT& Value, WORD& Quality, FILETIME& Time) const;
    // A device read that also refreshes the cache silently (Changed is left alone).
    void ReadThrough(VARIANT& Value, WORD& Quality, FILETIME& Time);
    // The same with the time stamp of a read of many items, taken once by the caller.
    void ReadThrough(VARIANT& Value, WORD& Quality, FILETIME& Time, const FILETIME* Stamp);
    // Stores the value when it or the quality differ from the cache; true when stored.
    // Only the writes take RefLock: the cache of a polled item is written on the server
    // thread alone, so the tick compares without a lock; pushed changes come in under
    // RefLock already.
    bool StoreIfChanged(const VARIANT& Value, WORD Quality);
    // Whether a value of the same quality is a change: outside the deadband for analog
    // items (inside it the cache time stamp moves on), not equal for the others.
    bool ValueDiffers(const VARIANT& Value);
    void FillAttributes(OPCITEMATTRIBUTES& Attributes) const;

    std::atomic<bool> Changed{false};
    bool Announced = false;
    // Guarded by the server item list's RefLock.
    platform::Variant CachedValue;
    FILETIME CachedTime{};
    WORD CachedQuality = 0;

  private:
    explicit TGroupItemImpl(TGroupImpl& Group);
    void Attach(const std::string& Id);
    void ConvertToRequested(VARIANT& Value) const;
    // RefLock, held only where pushed changes can reach the cache.
    std::unique_lock<std::recursive_mutex> CacheLock() const;
    FILETIME Now() const;

    TGroupImpl& Group_;
    TServerItem* ServerItem_ = nullptr;
};

using TGroupItemList = std::vector<std::unique_ptr<TGroupItemImpl>>;

}  // namespace corvane::opc
