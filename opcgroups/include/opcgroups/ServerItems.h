// The shared server items: one record per item id for the whole process, through which
// every group item reads and writes the item server and receives pushed changes.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/Variant.h"
#include "opcserver/ItemServer.h"
#include "opcserver/OpcTypes.h"

namespace corvane::opc {

class TGroupItemImpl;
class TServerItemList;

// A value that could not be converted; an item server raises it from SetItemValue, and
// a write reports it to the client as OPC_E_BADTYPE.
class EVariantError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the item server said about an item id when the reference was made. A plain
// reference is made for one question (validation, properties) and dropped with
// ReleaseRef; construction raises the item server's error and keeps no handle then.
class TServerItemRef {
  public:
    explicit TServerItemRef(const std::string& Id);
    virtual ~TServerItemRef();
    TServerItemRef(const TServerItemRef&) = delete;
    TServerItemRef& operator=(const TServerItemRef&) = delete;

    // Destroys a plain reference; a shared server item is owned by its list instead.
    virtual void ReleaseRef();

    std::string ItemId;
    TItemHandle Handle = kNoHandle;
    DWORD AccessRights = 0;
    VARTYPE CanonicalType = VT_EMPTY;
    platform::ComPtr<IEUInfo> EUInfo;
    platform::ComPtr<IItemProperties> Properties;
    bool Analog = false;

  protected:
    struct TDeferInit {};
    TServerItemRef(const std::string& Id, TDeferInit);
    // Asks the item server; raises its error.
    void Resolve();
};

// A server item shared by all group items naming its id; exists while one refers to it.
// Its group-item list is guarded by the owning list's RefLock.
class TServerItem final : public TServerItemRef {
  public:
    TServerItem(const std::string& Id, TGroupItemImpl& First, TServerItemList& List);
    ~TServerItem() override;

    void ReleaseRef() override {}

    void AddGroupItem(TGroupItemImpl& Item);
    // Destroys the server item when the last group item left.
    void RemoveGroupItem(TGroupItemImpl& Item);
    std::size_t GroupItemCount() const;

    // OPC_E_BADRIGHTS without read access; the item server may lower the quality.
    platform::Variant ReadDevice(WORD& Quality) const;
    // OPC_E_BADRIGHTS without write access; the value is coerced to the canonical type
    // first, a refused coercion raises its HRESULT, a conversion exception OPC_E_BADTYPE.
    void WriteDevice(const VARIANT& Value) const;
    // The item server's push of a new value; any thread.
    void ValueChanged(const VARIANT& Value, WORD Quality);

    TServerItemList& Owner;
    bool Subscribed = false;

  private:
    std::vector<TGroupItemImpl*> GroupItems_;
};

// Every shared server item of the process, by item id (case-insensitive; the id keeps
// the letter case it was first given in). Lock order: ListLock, then RefLock; RefLock is
// never held while ListLock is taken.
class TServerItemList final : public TPrivateItemList {
  public:
    TServerItemList();
    ~TServerItemList() override;

    // The only way a group item gets its server item; raises the item server's error.
    TServerItem& FindOrAddServerItem(TGroupItemImpl& Item, const std::string& Id);
    // The shared item for the id (no reference added) or a fresh plain reference; the
    // caller calls ReleaseRef on the result.
    TServerItemRef& FindItemRef(const std::string& Id);
    std::size_t Count() const;
    TServerItem* Find(const std::string& Id) const;

    std::recursive_mutex& RefLock() { return RefLock_; }

  private:
    friend class TServerItem;
    struct TLess {
        using is_transparent = void;
        bool operator()(const std::string& a, const std::string& b) const;
    };
    // Destroys the item unless a group item joined it again meanwhile.
    void DestroyIfUnused(TServerItem& Item);

    mutable std::recursive_mutex ListLock_;
    std::recursive_mutex RefLock_;
    std::map<std::string, std::unique_ptr<TServerItem>, TLess> Items_;
};

// The process's server item list, made on first use when none was installed.
TServerItemList& ServerItemList();
// Makes every later item server create its list here.
void InstallServerItemList();

}  // namespace corvane::opc
