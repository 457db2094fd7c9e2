// IOPCCommon of the server object: the connection's locale and the client's name.
#include "ComGuard.h"
#include "corvane/platform/Text.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/ServerImpl.h"
#include "opcserver/ServerWindow.h"
#include "winbase.h"

namespace corvane::opc {

HRESULT TServerImpl::SetLocaleID(LCID dwLcid) {
    if (dwLcid != LOCALE_SYSTEM_DEFAULT && dwLcid != GetSystemDefaultLCID() &&
        dwLcid != GetUserDefaultLCID())
        return E_INVALIDARG;
    LocaleID = dwLcid;
    return S_OK;
}

HRESULT TServerImpl::GetLocaleID(LCID* pdwLcid) {
    if (!pdwLcid) return E_INVALIDARG;
    *pdwLcid = LocaleID;
    return S_OK;
}

HRESULT TServerImpl::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
    if (!pdwCount || !pdwLcid) return E_INVALIDARG;
    *pdwCount = 0;
    *pdwLcid = nullptr;
    return detail::ComGuard([&] {
        LCID* ids = OpcAllocArray<LCID>(3);
        ids[0] = LOCALE_SYSTEM_DEFAULT;
        ids[1] = GetSystemDefaultLCID();
        ids[2] = GetUserDefaultLCID();
        *pdwLcid = ids;
        *pdwCount = 3;
        return S_OK;
    });
}

HRESULT TServerImpl::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
    return GetErrorString(dwError, LocaleID, ppString);
}

HRESULT TServerImpl::SetClientName(LPCWSTR szName) {
    return detail::ComGuard([&] {
        ClientName = szName ? std::u16string(szName) : std::u16string();
        NotifyItemServer(TNotification::ClientNameChanged, this);
        return S_OK;
    });
}

}  // namespace corvane::opc
