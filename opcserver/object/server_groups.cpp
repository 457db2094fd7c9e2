// The group methods of IOPCServer, which the server object's group list carries out.
#include "ComGuard.h"
#include "corvane/platform/Text.h"
#include "opcgroups/Group.h"
#include "opcserver/ServerImpl.h"

namespace corvane::opc {

HRESULT TServerImpl::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                              OPCHANDLE hClientGroup, LONG* pTimeBias, FLOAT* pPercentDeadband,
                              DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                              REFIID riid, LPUNKNOWN* ppUnk) {
    return detail::ComGuard([&] {
        return GroupList_->AddGroup(szName, bActive, dwRequestedUpdateRate, hClientGroup, pTimeBias,
                                    pPercentDeadband, dwLCID, phServerGroup, pRevisedUpdateRate,
                                    riid, ppUnk);
    });
}

HRESULT TServerImpl::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    return detail::ComGuard([&] { return GroupList_->GetGroupByName(szName, riid, ppUnk); });
}

HRESULT TServerImpl::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return detail::ComGuard([&] { return GroupList_->RemoveGroup(hServerGroup, bForce); });
}

HRESULT TServerImpl::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    return detail::ComGuard(
        [&] { return GroupList_->CreateGroupEnumerator(dwScope, riid, ppUnk); });
}

std::size_t TServerImpl::GroupCount() const {
    return GroupList_->Count();
}

TGroupImpl* TServerImpl::GroupByIndex(std::size_t Index) const {
    return GroupList_->ByIndex(Index);
}

void TServerImpl::DisconnectGroups() {
    GroupList_->DisconnectAll();
}

std::string TServerImpl::HostClientName() const {
    return platform::NarrowFromWide(ClientName);
}

}  // namespace corvane::opc
