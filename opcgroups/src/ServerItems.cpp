// Item references, shared server items and the process-wide list of them.
#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "opcgroups/Group.h"
#include "opcgroups/GroupItem.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {
namespace {

bool IsAnalogType(VARTYPE vt) {
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

}  // namespace

TServerItemRef::TServerItemRef(const std::string& Id, TDeferInit) : ItemId(Id) {}

TServerItemRef::TServerItemRef(const std::string& Id) : ItemId(Id) {
    try {
        Resolve();
    } catch (...) {
        // The destructor does not run for a half-built object; a handle it got is
        // still released.
        if (Handle != kNoHandle) ItemServer().ReleaseHandle(Handle);
        throw;
    }
}

TServerItemRef::~TServerItemRef() {
    if (Handle == kNoHandle) return;
    if (TOpcItemServer* server = ItemServerOrNull()) server->ReleaseHandle(Handle);
}

void TServerItemRef::ReleaseRef() {
    delete this;
}

void TServerItemRef::Resolve() {
    TOpcItemServer& server = ItemServer();
    std::string accessPath;
    TAccessRights rights(TAccessRights::Readable | TAccessRights::Writeable);
    Handle = server.GetExtendedItemInfo(ItemId, accessPath, rights, EUInfo, Properties);
    AccessRights = rights.ToDword();
    WORD quality = OPC_QUALITY_GOOD;
    const platform::Variant value = server.GetItemValue(Handle, quality);
    CanonicalType = value.Type();
    Analog = !(CanonicalType & VT_ARRAY) && IsAnalogType(CanonicalType);
}

TServerItem::TServerItem(const std::string& Id, TGroupItemImpl& First, TServerItemList& List)
    : TServerItemRef(Id, TDeferInit{}), Owner(List) {
    // A failure below runs the base destructor, which releases a handle already got.
    Resolve();
    {
        std::lock_guard lock(Owner.RefLock_);
        GroupItems_.push_back(&First);
    }
    Subscribed = ItemServer().SubscribeItem(
        Handle, [this](const VARIANT& Value, WORD Quality) { ValueChanged(Value, Quality); });
}

TServerItem::~TServerItem() {
    TOpcItemServer* server = ItemServerOrNull();
    if (Subscribed && server) server->UnsubscribeItem(Handle);
    // The map entry was taken out by the list before the destruction began.
}

void TServerItem::AddGroupItem(TGroupItemImpl& Item) {
    std::lock_guard lock(Owner.RefLock_);
    if (std::find(GroupItems_.begin(), GroupItems_.end(), &Item) == GroupItems_.end())
        GroupItems_.push_back(&Item);
}

void TServerItem::RemoveGroupItem(TGroupItemImpl& Item) {
    std::size_t left;
    {
        std::lock_guard lock(Owner.RefLock_);
        std::erase(GroupItems_, &Item);
        left = GroupItems_.size();
    }
    if (left == 0) Owner.DestroyIfUnused(*this);
}

std::size_t TServerItem::GroupItemCount() const {
    std::lock_guard lock(Owner.RefLock_);
    return GroupItems_.size();
}

platform::Variant TServerItem::ReadDevice(WORD& Quality) const {
    if (!(AccessRights & OPC_READABLE)) throw EOpcError(OPC_E_BADRIGHTS);
    Quality = OPC_QUALITY_GOOD;
    return ItemServer().GetItemValue(Handle, Quality);
}

void TServerItem::WriteDevice(const VARIANT& Value) const {
    if (!(AccessRights & OPC_WRITEABLE)) throw EOpcError(OPC_E_BADRIGHTS);
    try {
        if (Value.vt == CanonicalType) {
            ItemServer().SetItemValue(Handle, Value);
            return;
        }
        platform::Variant converted;
        const HRESULT hr =
            VariantChangeType(&converted.Get(), const_cast<VARIANT*>(&Value), 0, CanonicalType);
        if (FAILED(hr)) throw EOpcError(hr);
        ItemServer().SetItemValue(Handle, converted.Get());
    } catch (const EVariantError&) {
        throw EOpcError(OPC_E_BADTYPE);
    }
}

void TServerItem::ValueChanged(const VARIANT& Value, WORD Quality) {
    std::lock_guard lock(Owner.RefLock_);
    for (TGroupItemImpl* item : GroupItems_) {
        if (item->StoreIfChanged(Value, Quality)) item->Changed = true;
    }
}

bool TServerItemList::TLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

TServerItemList::TServerItemList() = default;

TServerItemList::~TServerItemList() {
    // Server objects a client never released still hold groups; their items must not
    // outlive the server items they point to.
    TGroupImpl::ShutdownAll();
    std::map<std::string, std::unique_ptr<TServerItem>, TLess> items;
    {
        std::lock_guard lock(ListLock_);
        items.swap(Items_);
    }
    items.clear();
    // No client call can be served after the framework went down.
    TGroupImpl::FreeOrphans();
}

TServerItem& TServerItemList::FindOrAddServerItem(TGroupItemImpl& Item, const std::string& Id) {
    std::lock_guard lock(ListLock_);
    auto it = Items_.find(Id);
    if (it != Items_.end()) {
        it->second->AddGroupItem(Item);
        return *it->second;
    }
    auto made = std::make_unique<TServerItem>(Id, Item, *this);
    TServerItem& result = *made;
    Items_.emplace(Id, std::move(made));
    return result;
}

TServerItemRef& TServerItemList::FindItemRef(const std::string& Id) {
    std::lock_guard lock(ListLock_);
    auto it = Items_.find(Id);
    if (it != Items_.end()) return *it->second;
    return *new TServerItemRef(Id);
}

std::size_t TServerItemList::Count() const {
    std::lock_guard lock(ListLock_);
    return Items_.size();
}

TServerItem* TServerItemList::Find(const std::string& Id) const {
    std::lock_guard lock(ListLock_);
    auto it = Items_.find(Id);
    return it == Items_.end() ? nullptr : it->second.get();
}

void TServerItemList::DestroyIfUnused(TServerItem& Item) {
    std::unique_ptr<TServerItem> doomed;
    {
        std::lock_guard lock(ListLock_);
        auto it = Items_.find(Item.ItemId);
        if (it == Items_.end() || it->second.get() != &Item) return;
        // A group item may have joined between the last leave and this lock.
        if (Item.GroupItemCount() != 0) return;
        doomed = std::move(it->second);
        Items_.erase(it);
    }
    // Unsubscribing and releasing the handle call the item server: outside the locks.
}

TServerItemList& ServerItemList() {
    TOpcItemServer& server = ItemServer();
    if (!server.ServerItems) server.ServerItems = std::make_unique<TServerItemList>();
    auto* list = dynamic_cast<TServerItemList*>(server.ServerItems.get());
    if (!list) throw EOpcServer("OPCSERV: No server item list");
    return *list;
}

void InstallServerItemList() {
    SetServerItemListFactory([] { return std::make_unique<TServerItemList>(); });
}

}  // namespace corvane::opc
