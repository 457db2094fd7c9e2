// The component categories manager stand-in, keeping its entries in the registry file
// where Windows keeps them.
#include <cstdio>

#include "corvane/platform/Text.h"
#include "objbase.h"
#include "opcserver/Registration.h"

namespace corvane::opc {
namespace {

std::string LocaleName(LCID lcid) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
    return text;
}

std::string Implemented(REFCLSID clsid) {
    return "CLSID\\" + GuidText(clsid) + "\\Implemented Categories";
}

// Runs a registry change; a refused write is the manager's failure code.
template <class F>
HRESULT Store(F&& change) {
    try {
        change();
        return S_OK;
    } catch (const platform::ERegistryError&) {
        return E_FAIL;
    }
}

class TCategoriesManager final : public ICatRegister,
                                 public platform::ComRefCount<TCategoriesManager> {
  public:
    explicit TCategoriesManager(std::filesystem::path file) : registry_(std::move(file)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_ICatRegister) return E_NOINTERFACE;
        *ppv = static_cast<ICatRegister*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG n, CATEGORYINFO infos[]) override {
        if (n && !infos) return E_INVALIDARG;
        return Store([&] {
            for (ULONG i = 0; i < n; ++i)
                registry_.SetValue("Component Categories\\" + GuidText(infos[i].catid),
                                   LocaleName(infos[i].lcid),
                                   platform::NarrowFromWide(infos[i].szDescription));
        });
    }
    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG n, CATID ids[]) override {
        if (n && !ids) return E_INVALIDARG;
        return Store([&] {
            for (ULONG i = 0; i < n; ++i) DeleteTree("Component Categories\\" + GuidText(ids[i]));
        });
    }
    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID clsid, ULONG n,
                                                          CATID ids[]) override {
        return AddClassKeys(Implemented(clsid), n, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID clsid, ULONG n,
                                                            CATID ids[]) override {
        return RemoveClassKeys(Implemented(clsid), n, ids);
    }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID clsid, ULONG n,
                                                         CATID ids[]) override {
        return AddClassKeys("CLSID\\" + GuidText(clsid) + "\\Required Categories", n, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID clsid, ULONG n,
                                                           CATID ids[]) override {
        return RemoveClassKeys("CLSID\\" + GuidText(clsid) + "\\Required Categories", n, ids);
    }

  private:
    HRESULT AddClassKeys(const std::string& parent, ULONG n, CATID ids[]) {
        if (n && !ids) return E_INVALIDARG;
        return Store([&] {
            for (ULONG i = 0; i < n; ++i) registry_.CreateKey(parent + "\\" + GuidText(ids[i]));
        });
    }
    // The parent key goes too once nothing is left in it.
    HRESULT RemoveClassKeys(const std::string& parent, ULONG n, CATID ids[]) {
        if (n && !ids) return E_INVALIDARG;
        return Store([&] {
            for (ULONG i = 0; i < n; ++i) registry_.DeleteKey(parent + "\\" + GuidText(ids[i]));
            if (registry_.KeyExists(parent) && registry_.SubKeys(parent).empty())
                registry_.DeleteKey(parent);
        });
    }
    void DeleteTree(const std::string& key) {
        for (const std::string& sub : registry_.SubKeys(key)) DeleteTree(key + "\\" + sub);
        registry_.DeleteKey(key);
    }

    platform::ClassesRoot registry_;
};

class TCategoriesClass final : public IClassFactory,
                               public platform::ComRefCount<TCategoriesClass> {
  public:
    explicit TCategoriesClass(std::filesystem::path file) : file_(std::move(file)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        platform::ComPtr<ICatRegister> manager(new TCategoriesManager(file_));
        return manager->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::filesystem::path file_;
};

}  // namespace

DWORD RegisterCategoriesManager(std::filesystem::path RegistryFile) {
    platform::ComPtr<IClassFactory> factory(new TCategoriesClass(std::move(RegistryFile)));
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(CLSID_StdComponentCategoriesMgr, factory.Get(),
                                             CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) throw EOleSysError(hr);
    return cookie;
}

}  // namespace corvane::opc
