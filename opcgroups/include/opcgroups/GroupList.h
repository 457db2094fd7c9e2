// What a group needs from the server object that created it (TGroupHost), and the
// server object's list of groups (TGroupList), which holds the logic behind IOPCServer
// AddGroup, GetGroupByName, RemoveGroup and CreateGroupEnumerator so that the server
// object's COM methods forward to it in one line.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "opcda.h"

namespace corvane::opc {

class TGroupImpl;
class TGroupList;

// Implemented by the server object (TServerImpl). A group keeps a reference to its host
// only while it is in, or was removed from, the host's list: the list outlives every
// group that can still reach the host.
class TGroupHost {
  public:
    // The host's own list of groups; the one that was constructed with this host.
    virtual TGroupList& Groups() = 0;
    // Stamped when one of the host's groups delivered data to the client (sync Read,
    // data change).
    virtual void SetLastUpdateTime(const FILETIME& Time) = 0;
    // The connection's locale and client name, for item servers that look at them.
    virtual LCID HostLocaleID() const = 0;
    virtual std::string HostClientName() const = 0;

  protected:
    ~TGroupHost() = default;
};

// Case-insensitive order of group names (ASCII letters fold).
struct TGroupNameLess {
    using is_transparent = void;
    bool operator()(const std::string& a, const std::string& b) const;
};

// The groups of one server object, keyed by name (case-insensitive, duplicates refused),
// in name order. Owns every group in it and every group removed from it that a client
// still references; destroying the list destroys them all (a group a client still
// references stays a disconnected shell that answers RPC_E_DISCONNECTED until released).
// Every method runs on the server window's thread.
class TGroupList {
  public:
    explicit TGroupList(TGroupHost& Host);
    ~TGroupList();
    TGroupList(const TGroupList&) = delete;
    TGroupList& operator=(const TGroupList&) = delete;

    // IOPCServer, with its arguments and results. Out-parameters are emptied before
    // any work; a null ppUnk is E_INVALIDARG, other null out-pointers are not written.
    HRESULT AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                     OPCHANDLE hClientGroup, LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID,
                     OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate, REFIID riid,
                     LPUNKNOWN* ppUnk);
    HRESULT GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk);
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce);
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk);

    // For the server object's status and DisconnectClient.
    std::size_t Count() const { return Groups_.size(); }
    // The group at position Index in name order, or nullptr.
    TGroupImpl* ByIndex(std::size_t Index) const;
    TGroupImpl* FindByName(const std::string& Name) const;
    // Every group drops its client's sinks and COM connections and is removed by force.
    void DisconnectAll();

    // Used by the groups themselves.
    TGroupHost& Host() const { return Host_; }
    // OPC_E_DUPLICATENAME when the name is taken.
    void RegisterGroup(const std::string& Name, TGroupImpl& Group);
    // Takes the name out of the list (the group stays as it is).
    void Unregister(const std::string& Name);
    bool Contains(const std::string& Name) const;
    // "Group" followed by the smallest n >= 0 whose name is free.
    std::string UniqueGroupName() const;
    // Re-keys the group's entry; OPC_E_DUPLICATENAME when the new name is taken.
    void Rename(TGroupImpl& Group, const std::string& NewName);
    // A group that left the list while referenced tells the list it is gone for good.
    void Forget(TGroupImpl& Group);

  private:
    TGroupImpl* FindByHandle(OPCHANDLE Handle) const;
    // Removes the group from the list; destroys it when unreferenced or forced, else
    // keeps it as removed. Returns the IOPCServer RemoveGroup result.
    HRESULT Remove(TGroupImpl& Group, bool Force);

    TGroupHost& Host_;
    std::map<std::string, TGroupImpl*, TGroupNameLess> Groups_;
    // Removed from Groups_ while a client still held them; alive until their last Release.
    std::set<TGroupImpl*> Removed_;
};

}  // namespace corvane::opc
