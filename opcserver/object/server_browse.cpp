// IOPCBrowseServerAddressSpace of the server object. A failure of the address space
// itself (a duplicate or an invalid branch raised while the item server loads it) is
// not an EOpcError; the browse calls report it as E_FAIL.
#include "ComGuard.h"
#include "opcserver/Enumerators.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/ServerImpl.h"

namespace corvane::opc {
namespace {

bool Hierarchical(TOpcItemServer& server) {
    return server.HasOption(static_cast<unsigned>(TServerOption::soHierarchicalSpace));
}

TItemIdList* BranchAt(const TItemIdList& from, const std::string& path) {
    return dynamic_cast<TItemIdList*>(FindNode(from, path));
}

}  // namespace

HRESULT TServerImpl::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
    if (!pNameSpaceType) return E_INVALIDARG;
    return detail::ComGuard([&] {
        *pNameSpaceType = Hierarchical(ItemServer()) ? OPC_NS_HIERARCHIAL : OPC_NS_FLAT;
        return S_OK;
    });
}

HRESULT TServerImpl::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
    return detail::ComGuard([&]() -> HRESULT {
        TOpcItemServer& server = ItemServer();
        if (!Hierarchical(server)) return E_FAIL;
        if (dwBrowseDirection < OPC_BROWSE_UP || dwBrowseDirection > OPC_BROWSE_TO)
            return E_INVALIDARG;
        server.EnsureNamespace(BrowsePosition);
        std::lock_guard lock(server.Servers.Lock);
        TItemIdList& root = *server.NamespaceRoot;
        TItemIdList* position = BrowsePosition ? BrowsePosition : &root;
        const std::string text = OpcNarrow(szString);
        TItemIdList* target = nullptr;
        switch (dwBrowseDirection) {
            case OPC_BROWSE_UP:
                if (position == &root) return E_FAIL;
                target = position->Parent;
                break;
            case OPC_BROWSE_DOWN:
                if (text.empty()) return E_INVALIDARG;
                target = BranchAt(*position, text);
                break;
            default:
                target = text.empty() ? &root : BranchAt(root, text);
                break;
        }
        if (!target) return E_INVALIDARG;
        BrowsePosition = target;
        return S_OK;
    });
}

HRESULT TServerImpl::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                      VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                      LPENUMSTRING* ppIEnumString) {
    if (!ppIEnumString) return E_INVALIDARG;
    *ppIEnumString = nullptr;
    return detail::ComGuard([&]() -> HRESULT {
        if (dwBrowseFilterType < OPC_BRANCH || dwBrowseFilterType > OPC_FLAT ||
            dwAccessRightsFilter > 3)
            return E_INVALIDARG;
        TOpcItemServer& server = ItemServer();
        server.EnsureNamespace(BrowsePosition);
        const TItemIdList& position = BrowsePosition ? *BrowsePosition : *server.NamespaceRoot;
        platform::ComPtr<TStringsEnumerator> names(new TStringsEnumerator(
            BuildBrowseList(position, dwBrowseFilterType, OpcNarrow(szFilterCriteria),
                            vtDataTypeFilter, TAccessRights::FromDword(dwAccessRightsFilter))));
        const bool empty = names->Count() == 0;
        *ppIEnumString = names.Detach();
        return empty ? S_FALSE : S_OK;
    });
}

HRESULT TServerImpl::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
    if (!szItemID) return E_INVALIDARG;
    *szItemID = nullptr;
    return detail::ComGuard([&]() -> HRESULT {
        if (!szItemDataID) return S_OK;
        const std::string text = OpcNarrow(szItemDataID);
        if (text.empty()) {
            *szItemID = OpcWideCopy("");
            return S_OK;
        }
        TOpcItemServer& server = ItemServer();
        server.EnsureNamespace(BrowsePosition);
        std::lock_guard lock(server.Servers.Lock);
        const TItemIdList& root = *server.NamespaceRoot;
        if (!Hierarchical(server)) {
            if (!FindNode(root, text)) return E_INVALIDARG;
            *szItemID = OpcWideCopy(text);
            return S_OK;
        }
        const TNamespaceNode* node = FindNode(BrowsePosition ? *BrowsePosition : root, text);
        if (!node) node = FindNode(root, text);
        if (!node) return E_INVALIDARG;
        *szItemID = OpcWideCopy(ItemIdOf(*node));
        return S_OK;
    });
}

HRESULT TServerImpl::BrowseAccessPaths(LPCWSTR, LPENUMSTRING* ppIEnumString) {
    if (ppIEnumString) *ppIEnumString = nullptr;
    return E_NOTIMPL;
}

}  // namespace corvane::opc
