// The server object: one per client connection, made by the class factory and ended by
// COM reference counting. It offers IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace,
// IOPCItemProperties and IConnectionPointContainer, keeps the client's browse position
// and groups, and reaches the application only through the item server.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "oaidl.h"
#include "opccomn.h"
#include "opcda.h"
#include "opcgroups/GroupList.h"
#include "opcserver/ConnectionPoint.h"
#include "opcserver/ItemServer.h"

namespace corvane::opc {

// Counts the live COM objects of the process (every server object is one); the COM
// server decides what happens when the count falls to zero.
class TComObjectCounter {
  public:
    static void ObjectCreated();
    static void ObjectDestroyed();
    static int Count();
    // Called on the thread that destroyed the last object.
    static void SetLastObjectGone(std::function<void()> handler);
};

// The COM object base: reference counted from 0 (the creator's first QueryInterface takes
// ownership), offers IUnknown and ISupportErrorInfo, and counts as one COM object of the
// process while alive. The client-visible state of a connection lives here.
class TClientInfo : public ISupportErrorInfo {
  public:
    std::u16string ClientName;
    LCID LocaleID = 0;
    platform::ComPtr<IOPCShutdown> ShutdownSink;
    FILETIME LastUpdateTime{};
    OPCSERVERSTATE ServerState = OPCSERVERSTATE(0);

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  protected:
    TClientInfo();
    virtual ~TClientInfo();
    ULONG AddRefImpl() { return ++refs_; }
    ULONG ReleaseImpl();

  private:
    std::atomic<ULONG> refs_{0};
};

// A client connection. Creation raises EOpcServer "OPCSERV: No item server" when there is
// none; otherwise it joins the item server's Servers list and raises ClientConnected.
// Destruction leaves the list, raises ClientDisconnected and destroys the groups.
class TServerImpl final : public TClientInfo,
                          public TBrowseClient,
                          public TGroupHost,
                          public IOPCServer,
                          public IOPCCommon,
                          public IOPCBrowseServerAddressSpace,
                          public IOPCItemProperties,
                          public IConnectionPointContainer {
  public:
    TServerImpl();
    ~TServerImpl() override;

    // --- IUnknown ---
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // --- IOPCServer ---
    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                       OPCHANDLE hClientGroup, LONG* pTimeBias,
                                       FLOAT* pPercentDeadband, DWORD dwLCID,
                                       OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                       REFIID riid, LPUNKNOWN* ppUnk) override;
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                             LPWSTR* ppString) override;
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid,
                                             LPUNKNOWN* ppUnk) override;
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                    LPUNKNOWN* ppUnk) override;

    // --- IOPCCommon ---
    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override;
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override;

    // --- IOPCBrowseServerAddressSpace ---
    HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                   LPCWSTR szString) override;
    HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                               LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                                               DWORD dwAccessRightsFilter,
                                               LPENUMSTRING* ppIEnumString) override;
    HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
    HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID,
                                                LPENUMSTRING* ppIEnumString) override;

    // --- IOPCItemProperties ---
    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                       DWORD** ppPropertyIDs,
                                                       LPWSTR** ppDescriptions,
                                                       VARTYPE** ppvtDataTypes) override;
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                                HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                            LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) override;

    // --- IConnectionPointContainer ---
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // --- for the framework and the application ---
    std::size_t GroupCount() const;
    TGroupImpl* GroupByIndex(std::size_t Index) const;
    // Drops the shutdown sink, removes every group by force and disconnects from COM.
    void DisconnectClient();
    void ShutdownSinkChanged(IUnknown* Sink, bool Connecting);

    // --- for the groups ---
    TGroupList& Groups() override { return *GroupList_; }
    void SetLastUpdateTime(const FILETIME& Time) override { LastUpdateTime = Time; }
    LCID HostLocaleID() const override { return LocaleID; }
    std::string HostClientName() const override;

  private:
    IUnknown* Unknown() { return static_cast<IOPCServer*>(this); }
    void DisconnectGroups();

    std::unique_ptr<TConnectionPoint> ShutdownPoint;
    std::unique_ptr<TGroupList> GroupList_;
};

// The file version GetStatus reports: major, minor and build.
struct TFileVersion {
    WORD Major = 0, Minor = 0, Build = 0;
};
void SetServerFileVersion(TFileVersion Version);

}  // namespace corvane::opc
