// IOPCItemProperties of the server object: the six standard properties of an item.
#include <array>

#include "ComGuard.h"
#include "corvane/platform/VariantTime.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/OpcHelpers.h"
#include "opcserver/ServerImpl.h"

namespace corvane::opc {
namespace {

// The standard item property ids.
constexpr DWORD OPC_PROP_CDT = 1, OPC_PROP_VALUE = 2, OPC_PROP_QUALITY = 3, OPC_PROP_TIME = 4,
                OPC_PROP_RIGHTS = 5, OPC_PROP_SCANRATE = 6;

// The item for the length of a call: the shared server item when some group holds it,
// else a plain reference, which asks the item server for the handle and once for a
// value whose type becomes the canonical type, and gives the handle back at the end.
class TTemporaryItem {
  public:
    explicit TTemporaryItem(const std::string& ItemId)
        : ref_(ServerItemList().FindItemRef(ItemId)),
          Handle(ref_.Handle),
          Rights(TAccessRights::FromDword(ref_.AccessRights)),
          CanonicalType(ref_.CanonicalType) {}
    ~TTemporaryItem() { ref_.ReleaseRef(); }
    TTemporaryItem(const TTemporaryItem&) = delete;
    TTemporaryItem& operator=(const TTemporaryItem&) = delete;

  private:
    TServerItemRef& ref_;

  public:
    const TItemHandle Handle;
    const TAccessRights Rights;
    const VARTYPE CanonicalType;
};

struct TPropertyInfo {
    DWORD Id;
    const char* Description;
    VARTYPE Type;
};

const std::array<TPropertyInfo, 6> kProperties = {{
    {OPC_PROP_CDT, "Item Canonical Data Type", VT_I2},
    {OPC_PROP_VALUE, "Item Value", VT_VARIANT},
    {OPC_PROP_QUALITY, "Item Quality", VT_I2},
    {OPC_PROP_TIME, "Item Timestamp", VT_DATE},
    {OPC_PROP_RIGHTS, "Item Access Rights", VT_I4},
    {OPC_PROP_SCANRATE, "Item Server Scan Rate", VT_R4},
}};

// Properties 2, 3 and 4 come from one reading, made when the first of them is asked for.
struct TReading {
    bool Done = false;
    FILETIME Time{};
    WORD Quality = OPC_QUALITY_GOOD;
    platform::Variant Value;

    void Take(TOpcItemServer& server, TItemHandle handle) {
        if (Done) return;
        server.GetTimestamp(Time);
        Value = server.GetItemValue(handle, Quality);
        Done = true;
    }
};

// The value of one property; false for an id that names none.
bool PropertyValue(DWORD id, const TTemporaryItem& item, TReading& reading, VARIANT& out) {
    TOpcItemServer& server = ItemServer();
    switch (id) {
        case OPC_PROP_CDT:
            out.vt = VT_I2;
            out.iVal = static_cast<SHORT>(item.CanonicalType);
            return true;
        case OPC_PROP_VALUE:
            reading.Take(server, item.Handle);
            VariantCopy(&out, &reading.Value.Get());
            return true;
        case OPC_PROP_QUALITY:
            reading.Take(server, item.Handle);
            out.vt = VT_I2;
            out.iVal = static_cast<SHORT>(reading.Quality);
            return true;
        case OPC_PROP_TIME:
            reading.Take(server, item.Handle);
            out.vt = VT_DATE;
            out.date = platform::DateFromFileTime(reading.Time);
            return true;
        case OPC_PROP_RIGHTS:
            out.vt = VT_I4;
            out.lVal = static_cast<LONG>(item.Rights.ToDword());
            return true;
        case OPC_PROP_SCANRATE:
            out.vt = VT_R4;
            out.fltVal = static_cast<FLOAT>(server.MinUpdateRate());
            return true;
        default:
            return false;
    }
}

void FreeVariants(VARIANT*& values, DWORD count) {
    if (values)
        for (DWORD i = 0; i < count; ++i) VariantClear(&values[i]);
    OpcFreeAndNil(values);
}

}  // namespace

HRESULT TServerImpl::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                              DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                              VARTYPE** ppvtDataTypes) {
    if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
    *pdwCount = 0;
    *ppPropertyIDs = nullptr;
    *ppDescriptions = nullptr;
    *ppvtDataTypes = nullptr;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    const HRESULT hr = detail::ComGuard([&] {
        const TTemporaryItem item(OpcNarrow(szItemID));
        ids = OpcAllocArray<DWORD>(kProperties.size());
        descriptions = OpcAllocArray<LPWSTR>(kProperties.size());
        types = OpcAllocArray<VARTYPE>(kProperties.size());
        for (std::size_t i = 0; i < kProperties.size(); ++i) {
            ids[i] = kProperties[i].Id;
            types[i] =
                kProperties[i].Id == OPC_PROP_VALUE ? item.CanonicalType : kProperties[i].Type;
            descriptions[i] = OpcWideCopy(kProperties[i].Description);
        }
        return S_OK;
    });
    if (FAILED(hr)) {
        if (descriptions)
            for (std::size_t i = 0; i < kProperties.size(); ++i) OpcFreeAndNil(descriptions[i]);
        OpcFreeAndNil(ids);
        OpcFreeAndNil(descriptions);
        OpcFreeAndNil(types);
        return hr;
    }
    *pdwCount = static_cast<DWORD>(kProperties.size());
    *ppPropertyIDs = ids;
    *ppDescriptions = descriptions;
    *ppvtDataTypes = types;
    return hr;
}

HRESULT TServerImpl::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                       VARIANT** ppvData, HRESULT** ppErrors) {
    if (!ppvData || !ppErrors) return E_INVALIDARG;
    *ppvData = nullptr;
    *ppErrors = nullptr;
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = detail::ComGuard([&] {
        CheckCountAndArray(dwCount, pdwPropertyIDs);
        const TTemporaryItem item(OpcNarrow(szItemID));
        values = OpcAllocArray<VARIANT>(dwCount);  // zero bytes are VT_EMPTY
        errors = OpcAllocArray<HRESULT>(dwCount);
        TReading reading;
        for (DWORD i = 0; i < dwCount; ++i)
            errors[i] = PropertyValue(pdwPropertyIDs[i], item, reading, values[i])
                            ? S_OK
                            : OPC_E_INVALID_PID;
        return S_OK;
    });
    if (FAILED(hr)) {
        FreeVariants(values, dwCount);
        OpcFreeAndNil(errors);
        return hr;
    }
    *ppvData = values;
    *ppErrors = errors;
    return hr;
}

HRESULT TServerImpl::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                   LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) {
    if (!ppszNewItemIDs || !ppErrors) return E_INVALIDARG;
    *ppszNewItemIDs = nullptr;
    *ppErrors = nullptr;
    LPWSTR* ids = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = detail::ComGuard([&] {
        CheckCountAndArray(dwCount, pdwPropertyIDs);
        const TTemporaryItem item(OpcNarrow(szItemID));
        ids = OpcAllocArray<LPWSTR>(dwCount);
        errors = OpcAllocArray<HRESULT>(dwCount);
        for (DWORD i = 0; i < dwCount; ++i) errors[i] = OPC_E_INVALID_PID;
        return S_FALSE;
    });
    if (FAILED(hr)) {
        OpcFreeAndNil(ids);
        OpcFreeAndNil(errors);
        return hr;
    }
    *ppszNewItemIDs = ids;
    *ppErrors = errors;
    return hr;
}

}  // namespace corvane::opc
