// The group object a client gets from AddGroup: its items, its subscription state, the
// update cycle that reports changes, and every interface of a group: state, item
// management, synchronous and asynchronous I/O, the DA 1.0 data object and the
// connection point of the DA 2.0 callback.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "objidl.h"
#include "ocidl.h"
#include "opcda.h"
#include "opcgroups/AsyncTask.h"
#include "opcgroups/GroupItem.h"
#include "opcgroups/GroupList.h"
#include "opcserver/ConnectionPoint.h"
#include "opcserver/OpcTypes.h"
#include "opcserver/ServerWindow.h"

namespace corvane::opc {

// Private interface of a group through which an item enumerator sees the live items.
inline constexpr IID IID_IOpcItemList = {
    0x4C6F8A20, 0x2B3D, 0x4E5F, {0x8A, 0x10, 0xC0, 0x72, 0xA4, 0x4E, 0x55, 0x02}};
struct IOpcItemList : public IUnknown {
    // Empty once the group was destroyed under a client's reference.
    virtual const TGroupItemList& STDMETHODCALLTYPE Items() = 0;
};

// What an item server may see of a group.
class TGroupInfo {
  public:
    virtual std::size_t ItemCount() const = 0;
    virtual TGroupItemInfo& Item(std::size_t Index) const = 0;

    std::string Name;
    // The server object that created the group; null once the group is gone.
    TGroupHost* Server = nullptr;
    bool Public = false;
    bool Active = false;
    DWORD UpdateRate = 0;
    OPCHANDLE ClientHandle = 0;
    LCID LocaleID = 0;
    bool CallbacksEnabled = true;
    bool Removed = false;
    platform::ComPtr<IOPCDataCallback> DataCallback;
    float PercentDeadband = 0.0f;
    platform::ComPtr<IAdviseSink> StreamSinks[3];

  protected:
    TGroupInfo() = default;
    ~TGroupInfo() = default;
};

// Arguments of group construction, already converted from the client's wide strings.
struct TGroupParams {
    std::string Name;
    DWORD RequestedUpdateRate = 0;
    bool Active = false;
    OPCHANDLE ClientHandle = 0;
    LONG TimeBias = 0;
    float PercentDeadband = 0.0f;
    LCID LocaleID = 0;
};

// Result of every call through a reference to a group that was destroyed (forced
// removal, or its server object went away) while the client still held it.
inline constexpr HRESULT kGroupGone = RPC_E_DISCONNECTED;

// A group lives in its server's TGroupList, which owns it at reference count 0. Removed
// while referenced, it serves on until its last Release. Destroyed while referenced, it
// releases everything it holds and only a disconnected shell is left for the client's
// references: every call answers kGroupGone, and the last Release frees it. Its server
// handle is an id of the object table that dies with the group's contents.
class TGroupImpl final : public TGroupInfo,
                         public IOPCAsyncIO,
                         public IDataObject,
                         public IOpcItemList,
                         public IOPCAsyncIO2,
                         public IConnectionPointContainer,
                         public IOPCSyncIO,
                         public IOPCGroupStateMgt,
                         public IOPCItemMgt {
  public:
    // Constructs and registers a group in List; raises E_INVALIDARG (deadband),
    // OPC_E_DUPLICATENAME or E_FAIL (timer) and then leaves nothing behind.
    static TGroupImpl& Create(TGroupList& List, TGroupParams Params);
    // Destroys now if unreferenced, else leaves the disconnected shell.
    static void Destroy(TGroupImpl& Group);
    // The live group with this server handle, or nullptr.
    static TGroupImpl* FromHandle(OPCHANDLE Handle);
    // Shells whose client never released them; freed when the framework shuts down.
    static std::size_t OrphanCount();
    static void FreeOrphans();
    // Releases the contents of every group of the process, so that none outlives the
    // item server it reads through; the groups stay with their lists as shells.
    static void ShutdownAll();

    OPCHANDLE ServerHandle() const;
    bool Alive() const { return Key_ != nullptr; }
    ULONG RefCount() const { return static_cast<ULONG>(RefCount_); }
    LONG TimeBias = 0;
    const TGroupItemList& GroupItems() const { return Items_; }
    bool TimerRunning() const { return TimerRunning_; }
    bool Announced() const { return Announced_; }
    IUnknown* Unknown() { return static_cast<IOPCGroupStateMgt*>(this); }

    std::size_t ItemCount() const override { return Items_.size(); }
    TGroupItemInfo& Item(std::size_t Index) const override { return *Items_.at(Index); }

    void CheckNotRemoved() const;
    void CheckCallbackConnected() const;
    void SetUpdateRate(DWORD Requested);
    void SetActive(bool Flag);
    void SetPercentDeadband(float Value);
    // Drops every sink of the client and its COM connections to the group.
    void Disconnect();
    // Runs one per-item action over client handles; the skeleton of the handle calls.
    using TItemAction = std::function<void(std::size_t Index, TGroupItemImpl& Item)>;
    HRESULT ForEachItem(DWORD Count, const OPCHANDLE* Handles, HRESULT** Errors,
                        const TItemAction& Action);
    // OPC_E_INVALIDHANDLE unless the handle names a live group item this group may use.
    TGroupItemImpl& ValidateItemHandle(OPCHANDLE Handle) const;
    // The item of this group's own list, or nullptr.
    TGroupItemImpl* FindOwnItem(OPCHANDLE Handle) const;
    // One timer expiry: polls the active items and reports those that changed to the
    // DA 2.0 callback and the DA 1.0 data streams. A tick that comes while one of this
    // group's ticks is still running (a nested message loop) is skipped.
    void UpdateTick();
    // Whether the item has a change to report; polls items the item server does not push.
    static bool CheckChanged(TGroupItemImpl& Item);

    // Group items a delivery refers to, safe across client callbacks: a callback may
    // remove items (or the whole group), so after the group's item list changed the
    // items are looked up again by identity, and the ones gone are dropped.
    class TDeliveryList {
      public:
        TDeliveryList(const TGroupImpl& Group, const std::vector<TGroupItemImpl*>& Items);
        TDeliveryList(const TGroupImpl& Group, const std::vector<DWORD>& Identities);
        const std::vector<TGroupItemImpl*>& Current();

      private:
        void Resolve();
        const TGroupImpl& Group_;
        std::vector<DWORD> Ids_;
        std::vector<TGroupItemImpl*> Items_;
        std::size_t Generation_;
    };
    // DA 2.0 delivery of the items' values from the cache or the device; nothing unless
    // a callback is connected and the group is active.
    void SendDataChange(OPCDATASOURCE Source, DWORD TransactionId, TDeliveryList& Items);
    // DA 1.0 delivery as a data stream of the connection's kind, to the sink of that
    // kind; nothing unless the connection's sink is set and the group is active.
    void SendDataStream(OPCDATASOURCE Source, const TAsyncTask* Task, TDeliveryList& Items,
                        DWORD Connection);
    // One item's value, quality and time from the cache or through the device.
    static void ReadItem(TGroupItemImpl& Item, OPCDATASOURCE Source, VARIANT& Value, WORD& Quality,
                         FILETIME& Time);
    // Hands a failed client callback to the item server, which must not bring the
    // group down; Failure is the exception or the failure code.
    void ReportCallbackFailure(const std::exception& Failure, TCallbackKind Kind);

    // Keeps the group's memory while a delivery calls out to the client: a client that
    // removes or releases the group from inside its callback only tears it down, and
    // the memory goes when the outermost scope ends.
    class TDeliveryScope {
      public:
        explicit TDeliveryScope(TGroupImpl& Group);
        ~TDeliveryScope();
        TDeliveryScope(const TDeliveryScope&) = delete;
        TDeliveryScope& operator=(const TDeliveryScope&) = delete;

      private:
        TGroupImpl& Group_;
    };

    // The queued tasks of this group that have not run, in queue order (not owned).
    const std::vector<TAsyncTask*>& Tasks() const { return Tasks_; }
    // Posts the task to the server window, which owns it from now on; its identity.
    DWORD QueueTask(std::unique_ptr<TAsyncTask> Task);
    // CONNECT_E_NOCONNECTION unless the DA 1.0 connection's sink is set.
    void CheckConnection(DWORD Connection) const;
    // The DA 1.0 pre-check of every handle; false (with the filled error array handed
    // out) when any failed.
    bool ValidateHandles(DWORD Count, const OPCHANDLE* Handles, HRESULT** Errors) const;
    // Cancel and Cancel2: E_FAIL unless the id is one of this group's queued tasks.
    HRESULT CancelTask(DWORD Id);
    // Identities of the active items, in list order, for a refresh.
    std::vector<DWORD> ActiveItemIds() const;
    // A change of the item list that a delivery in progress must notice.
    std::size_t ItemsGeneration() const { return ItemsGeneration_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IOPCAsyncIO
    HRESULT STDMETHODCALLTYPE Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                                   OPCHANDLE* phServer, DWORD* pTransactionID,
                                   HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer,
                                    VARIANT* pItemValues, DWORD* pTransactionID,
                                    HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                      DWORD* pTransactionID) override;
    HRESULT STDMETHODCALLTYPE Cancel(DWORD dwTransactionID) override;
    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pformatetc) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pformatectIn,
                                                    FORMATETC* pformatetcOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium,
                                      BOOL fRelease) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection,
                                            IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                      DWORD* pdwConnection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;
    // IOPCAsyncIO2
    HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                                   DWORD* pdwCancelID, HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                    DWORD dwTransactionID, DWORD* pdwCancelID,
                                    HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                       DWORD* pdwCancelID) override;
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) override;
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) override;
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) override;
    // IOpcItemList
    const TGroupItemList& STDMETHODCALLTYPE Items() override { return Items_; }
    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
    // IOPCSyncIO
    HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                   OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                    HRESULT** ppErrors) override;
    // IOPCGroupStateMgt
    HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                       LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                       OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) override;
    HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                       BOOL* pActive, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                       DWORD* pLCID, OPCHANDLE* phClientGroup) override;
    HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override;
    HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
    // IOPCItemMgt
    HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                       OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                            OPCITEMRESULT** ppValidationResults,
                                            HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE* phServer,
                                          HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                             HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE* phServer,
                                               OPCHANDLE* phClient, HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE* phServer,
                                           VARTYPE* pRequestedDatatypes,
                                           HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override;

  private:
    // The group's identity and timer key; destroyed with the group's contents so that
    // neither a handle nor a pending tick can reach the group afterwards.
    class TKey final : public TOpcTimerTarget {
      public:
        explicit TKey(TGroupImpl& Group) : Group_(Group) {}
        void UpdateTick() override { Group_.UpdateTick(); }
        TGroupImpl& Group() const { return Group_; }

      private:
        TGroupImpl& Group_;
    };

    explicit TGroupImpl(TGroupList& List);
    ~TGroupImpl();
    void Construct(TGroupParams Params);
    // Releases everything the group holds; afterwards only the shell is left.
    void Teardown();
    void ConnectionChanged(IUnknown* Sink, bool Connecting);
    TGroupList& List() const { return *List_; }
    // Runs a client call: kGroupGone through a shell, EOpcError turned into its code.
    template <class F>
    HRESULT Guarded(F&& Body);
    HRESULT CreateItems(DWORD Count, const OPCITEMDEF* Defs, OPCITEMRESULT** Results,
                        HRESULT** Errors, bool Validate);
    void ReadOne(OPCDATASOURCE Source, bool GroupActive, const FILETIME& Stamp,
                 TGroupItemImpl& Item, OPCITEMSTATE& State);

    friend class TAsyncTask;
    // Destroys the group now, or when the outermost delivery scope ends.
    void DeleteSelf();
    // Takes an item out of Items_ (which destroys it).
    void EraseItem(TGroupItemList::iterator It);
    // An accepted request: queues the task and hands out its id, and the error array of
    // Count successes when the item server always wants one (else null).
    HRESULT Accept(std::unique_ptr<TAsyncTask> Task, DWORD Count, DWORD& Id, HRESULT** Errors);

    LONG RefCount_ = 0;
    std::unique_ptr<TKey> Key_;
    TGroupList* List_ = nullptr;
    TGroupItemList Items_;
    std::unique_ptr<TConnectionPoint> CallbackPoint_;
    bool TimerRunning_ = false;
    bool Announced_ = false;
    // Set while the contents are released, so that a Release from inside does not free.
    bool Dying_ = false;
    // Left by its list while referenced; the last Release frees it.
    bool Orphaned_ = false;
    std::vector<TAsyncTask*> Tasks_;
    std::size_t ItemsGeneration_ = 0;
    // Nesting depth of delivery scopes, and a deletion waiting for them to end.
    int Delivering_ = 0;
    bool DeletePending_ = false;
    bool Ticking_ = false;
    // Where the next handle is most likely found in Items_.
    mutable std::size_t HandleHint_ = 0;
};

}  // namespace corvane::opc
