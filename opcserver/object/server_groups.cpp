// The group methods of IOPCServer. The groups layer is not linked yet: every group
// method answers E_NOTIMPL and the server object holds no groups.
#include "ComGuard.h"
#include "opcserver/ServerImpl.h"

namespace corvane::opc {

HRESULT TServerImpl::AddGroup(LPCWSTR, BOOL, DWORD, OPCHANDLE, LONG*, FLOAT*, DWORD,
                              OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate, REFIID,
                              LPUNKNOWN* ppUnk) {
    if (phServerGroup) *phServerGroup = 0;
    if (pRevisedUpdateRate) *pRevisedUpdateRate = 0;
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT TServerImpl::GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT TServerImpl::RemoveGroup(OPCHANDLE, BOOL) {
    return E_NOTIMPL;
}

HRESULT TServerImpl::CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

std::size_t TServerImpl::GroupCount() const {
    return 0;
}

TGroupImpl* TServerImpl::GroupByIndex(std::size_t) const {
    return nullptr;
}

void TServerImpl::DisconnectGroups() {}

}  // namespace corvane::opc
