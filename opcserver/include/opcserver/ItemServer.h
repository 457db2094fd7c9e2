// The contract between the server framework and the application's data: one
// process-wide object of a class derived from TOpcItemServer. The framework calls the
// virtual operations below; an application overrides what it needs, at least
// GetItemValue and SetItemValue.
#pragma once

#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/Variant.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcTypes.h"

namespace corvane::opc {

class TServerImpl;     // one client connection
class TGroupImpl;      // a group of a client
class TGroupItemImpl;  // an item of a group

// What the item server keeps of a client connection: its browse position in the shared
// address space (none reads as the root). TServerImpl derives from it.
class TBrowseClient {
  public:
    TItemIdList* BrowsePosition = nullptr;

  protected:
    TBrowseClient() = default;
    ~TBrowseClient() = default;
};

// A list guarded by its own lock, which the holder of a TServersLock owns.
struct TServerList {
    std::recursive_mutex Lock;
    std::vector<TBrowseClient*> List;
};

// The shared server item list lives with the groups; the framework only owns it.
class TPrivateItemList {
  public:
    virtual ~TPrivateItemList() = default;
};
using TServerItemListFactory = std::function<std::unique_ptr<TPrivateItemList>()>;
// Installed once by the groups layer before the item server is created.
void SetServerItemListFactory(TServerItemListFactory factory);

class TOpcItemServer {
  public:
    // Raises EOpcServer when another item server exists or the window cannot be made.
    TOpcItemServer();
    virtual ~TOpcItemServer();
    TOpcItemServer(const TOpcItemServer&) = delete;
    TOpcItemServer& operator=(const TOpcItemServer&) = delete;

    // Overridable operations, in the framework's order.
    virtual void HandleException(const std::exception& E);
    virtual char PathDelimiter();
    virtual char SecondDelimiter();
    virtual std::string GetErrorString(HRESULT Code, LCID LocaleID);
    virtual TServerOptions Options();
    virtual DWORD MinUpdateRate();
    virtual bool SubscribeItem(TItemHandle Handle, TItemChangeNotify Notify);
    virtual void UnsubscribeItem(TItemHandle Handle);
    virtual bool MatchesBrowseFilter(const std::string& Filter, TAccessRights AccessFilter,
                                     VARTYPE TypeFilter, const std::string& Name,
                                     TAccessRights ItemAccess, VARTYPE ItemType);
    virtual std::string FactoryClassName(int Version);
    virtual TItemHandle GetItemInfo(const std::string& ItemId, std::string& AccessPath,
                                    TAccessRights& AccessRights);
    virtual TItemHandle GetExtendedItemInfo(const std::string& ItemId, std::string& AccessPath,
                                            TAccessRights& AccessRights,
                                            platform::ComPtr<IEUInfo>& EUInfo,
                                            platform::ComPtr<IItemProperties>& Properties);
    virtual void ReleaseHandle(TItemHandle Handle);
    virtual void LoadNamespace(TItemIdList& Root);
    virtual platform::Variant GetItemValue(TItemHandle Handle, WORD& Quality) = 0;
    virtual void SetItemValue(TItemHandle Handle, const VARIANT& Value) = 0;
    virtual void ClientConnected(TServerImpl* Server);
    virtual void ClientDisconnected(TServerImpl* Server);
    virtual void ClientNameChanged(TServerImpl* Server);
    virtual void GroupAdded(TGroupImpl* Group);
    virtual void GroupRemoved(TGroupImpl* Group);
    virtual void ItemAdded(TGroupItemImpl* Item);
    virtual void ItemRemoved(TGroupItemImpl* Item);
    virtual void ItemValueChanged(TGroupItemImpl* Item);
    virtual void CallbackFailed(const std::exception& E, TGroupImpl* Group, TCallbackKind Kind);
    virtual void ReservedNotification(void* A, void* B, void* C);
    virtual void GetTimestamp(FILETIME& Time);

    // The class name FactoryClassName starts from; the C++ class name by default.
    virtual std::string ClassName() const;

    // Clears every browse position, rebuilds the tree through LoadNamespace and puts the
    // positions back where the same branch exists again. Holds the Servers lock.
    void RebuildNamespace(bool Merge);
    // Builds the tree on first use; an empty Position becomes the root.
    void EnsureNamespace(TItemIdList*& Position);
    // Whether Options() holds the member with this ordinal; false above 7.
    bool HasOption(unsigned Option);
    // Stamps StartTime with GetTimestamp. The constructor can only reach the base
    // GetTimestamp, so registration calls this again once the override is in place.
    void StampStartTime();

    HWND Window() const { return Window_; }

    TServerList Servers;
    std::unique_ptr<TPrivateItemList> ServerItems;
    std::string VendorInfo;
    FILETIME StartTime{};
    std::unique_ptr<TItemIdList> NamespaceRoot;
    bool MergeNamespace = false;

  private:
    HWND Window_ = nullptr;
};

// The single item server; raises EOpcServer "OPCSERV: No item server" when none exists.
TOpcItemServer& ItemServer();
// The single item server or nullptr, for code that must not raise.
TOpcItemServer* ItemServerOrNull();

// Holds the Servers lock of the item server for its lifetime.
class TServersLock {
  public:
    TServersLock();
    std::vector<TBrowseClient*>& List() { return list_; }

  private:
    std::unique_lock<std::recursive_mutex> lock_;
    std::vector<TBrowseClient*>& list_;
};

}  // namespace corvane::opc
