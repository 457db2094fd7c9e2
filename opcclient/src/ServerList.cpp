// The server browser (IOPCServerList) over the registry stand-in: the classes that
// declare an OPC category, their ProgIDs and descriptions. It lives in the client's
// process, as the standard browser answers for its own machine.
#include "ServerList.h"

#include "ListEnumerator.h"

#include <algorithm>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/Registry.h"
#include "corvane/platform/Text.h"
#include "objbase.h"
#include "opccomn.h"

namespace corvane::opcclient {

namespace {

std::string Braced(const GUID& g) {
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(g, &text))) return {};
    std::string s = platform::NarrowFromWide(text);
    CoTaskMemFree(text);
    return s;
}

LPOLESTR TaskCopy(const std::string& text) {
    const std::u16string wide = platform::WideFromNarrow(text);
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!p) return nullptr;
    std::copy(wide.begin(), wide.end(), p);
    p[wide.size()] = 0;
    return p;
}

void HandGuid(const GUID& from, GUID& to) {
    to = from;
}
// Enumerates the classes found.
using TGuidEnum = TListEnumerator<IEnumGUID, IID_IEnumGUID, GUID, GUID, &HandGuid>;

class TServerList final : public IOPCServerList, public platform::ComRefCount<TServerList> {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IOPCServerList) return E_NOINTERFACE;
        *ppv = static_cast<IOPCServerList*>(this);
        AddRefImpl();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // A class qualifies when it implements at least one of the implemented categories
    // asked for (any, when none is given) and requires nothing outside the required ones.
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                      ULONG cRequired, CATID rgcatidReq[],
                                                      IEnumGUID** ppenumClsid) override {
        if (!ppenumClsid) return E_POINTER;
        *ppenumClsid = nullptr;
        if ((cImplemented && !rgcatidImpl) || (cRequired && !rgcatidReq)) return E_INVALIDARG;
        std::vector<GUID> found;
        try {
            const platform::ClassesRoot registry;
            for (const std::string& key : registry.SubKeys("CLSID")) {
                CLSID clsid{};
                const std::u16string wide = platform::WideFromNarrow(key);
                if (FAILED(CLSIDFromString(wide.c_str(), &clsid))) continue;
                const std::string base = "CLSID\\" + key;
                bool implements = cImplemented == 0;
                for (ULONG i = 0; i < cImplemented && !implements; ++i)
                    implements = registry.KeyExists(base + "\\Implemented Categories\\" +
                                                    Braced(rgcatidImpl[i]));
                if (!implements) continue;
                bool requirementsMet = true;
                for (const std::string& req : registry.SubKeys(base + "\\Required Categories")) {
                    bool allowed = false;
                    for (ULONG i = 0; i < cRequired && !allowed; ++i) {
                        CATID cat{};
                        const std::u16string w = platform::WideFromNarrow(req);
                        allowed =
                            SUCCEEDED(CLSIDFromString(w.c_str(), &cat)) && cat == rgcatidReq[i];
                    }
                    requirementsMet = requirementsMet && allowed;
                }
                if (requirementsMet) found.push_back(clsid);
            }
        } catch (const std::exception&) {
            return REGDB_E_READREGDB;
        }
        *ppenumClsid = TGuidEnum::Make(std::move(found));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType) override {
        if (!ppszProgID || !ppszUserType) return E_POINTER;
        *ppszProgID = *ppszUserType = nullptr;
        try {
            const platform::ClassesRoot registry;
            const std::string base = "CLSID\\" + Braced(clsid);
            if (!registry.KeyExists(base)) return REGDB_E_CLASSNOTREG;
            const auto progId = registry.QueryValue(base + "\\ProgID");
            const auto userType = registry.QueryValue(base);
            *ppszProgID = TaskCopy(progId.value_or(""));
            *ppszUserType = TaskCopy(userType.value_or(""));
            if (!*ppszProgID || !*ppszUserType) {
                CoTaskMemFree(std::exchange(*ppszProgID, nullptr));
                CoTaskMemFree(std::exchange(*ppszUserType, nullptr));
                return E_OUTOFMEMORY;
            }
            return S_OK;
        } catch (const std::exception&) {
            return REGDB_E_READREGDB;
        }
    }

    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) override {
        return ::CLSIDFromProgID(szProgId, clsid);
    }
};

}  // namespace

HRESULT CreateServerList(REFIID iid, void** ppv) {
    const platform::ComPtr<TServerList> list(new TServerList);
    return list->QueryInterface(iid, ppv);
}

}  // namespace corvane::opcclient
