// The class factory, its registry rows and RegisterOpcServer.
#include <array>
#include <cstdio>

#include "corvane/platform/Text.h"
#include "objbase.h"
#include "opcda.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/Registration.h"
#include "opcserver/ServerImpl.h"
#include "winbase.h"

namespace corvane::opc {
namespace {

TClipFormats gClipFormats;

std::string OleErrorText(HRESULT code) {
    char text[64];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(code));
    return text;
}

void Check(HRESULT hr) {
    if (FAILED(hr)) throw EOleSysError(hr);
}

platform::ComPtr<ICatRegister> CategoriesManager() {
    platform::ComPtr<ICatRegister> manager;
    Check(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                           IID_ICatRegister, manager.PutVoid()));
    return manager;
}

CATEGORYINFO Category(const CATID& id, std::u16string_view description) {
    CATEGORYINFO info{};
    info.catid = id;
    info.lcid = GetUserDefaultLCID();
    const std::size_t n = std::min<std::size_t>(description.size(), 127);
    description.copy(reinterpret_cast<char16_t*>(info.szDescription), n);
    return info;
}

// Both DA versions, 2.0 first.
std::array<CATID, 2> Categories() {
    return {CATID_OPCDAServer20, CATID_OPCDAServer10};
}

// A missing key is no failure when unregistering, nor is one left with subkeys.
void DeleteKeyQuietly(platform::ClassesRoot& registry, const std::string& key) {
    try {
        registry.DeleteKey(key);
    } catch (const platform::ERegistryError&) {
    }
}

}  // namespace

EOleSysError::EOleSysError(HRESULT code) : std::runtime_error(OleErrorText(code)), code_(code) {}

const TClipFormats& ClipFormats() {
    return gClipFormats;
}

std::string GuidText(const GUID& Guid) {
    OLECHAR text[39];
    StringFromGUID2(Guid, text, 39);
    return platform::NarrowFromWide(text);
}

TOpcServerFactory::TOpcServerFactory(const CLSID& ClassID, std::string ClassName,
                                     std::string Description, std::string Vendor)
    : ClassID_(ClassID),
      ClassName_(std::move(ClassName)),
      Description_(std::move(Description)),
      Vendor_(std::move(Vendor)) {}

std::string TOpcServerFactory::ProgID(const std::filesystem::path& Executable) const {
    return Executable.stem().string() + "." + ClassName_;
}

HRESULT TOpcServerFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TOpcServerFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    try {
        // Held from 0 to 1 so that a refused interface destroys the new object.
        platform::ComPtr<IOPCServer> server(new TServerImpl());
        return server->QueryInterface(riid, ppvObject);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;  // no item server
    }
}

HRESULT TOpcServerFactory::LockServer(BOOL fLock) {
    if (fLock)
        TComObjectCounter::ObjectCreated();
    else
        TComObjectCounter::ObjectDestroyed();
    return S_OK;
}

void TOpcServerFactory::UpdateRegistry(bool Register, const TRegistrationTarget& Target) const {
    if (Register)
        this->Register(Target);
    else
        Unregister(Target);
}

void TOpcServerFactory::Register(const TRegistrationTarget& Target) const {
    platform::ClassesRoot& registry = Target.Registry;
    const std::string clsid = "CLSID\\" + GuidText(ClassID_);
    const std::string progId = ProgID(Target.Executable);
    // No short (8.3) form exists here: the full path is recorded even with a blank in it.
    registry.SetValue(clsid, "", Description_);
    registry.SetValue(clsid + "\\LocalServer32", "", Target.Executable.string());
    registry.SetValue(progId, "", Description_);
    registry.SetValue(progId + "\\Clsid", "", GuidText(ClassID_));
    registry.SetValue(clsid + "\\ProgID", "", progId);

    const platform::ComPtr<ICatRegister> manager = CategoriesManager();
    std::array<CATEGORYINFO, 2> infos = {
        Category(CATID_OPCDAServer20, u"OPC Data Access Servers Version 2.0"),
        Category(CATID_OPCDAServer10, u"OPC Data Access Servers Version 1.0")};
    Check(manager->RegisterCategories(2, infos.data()));
    std::array<CATID, 2> ids = Categories();
    Check(manager->RegisterClassImplCategories(ClassID_, 2, ids.data()));

    // The vendor text is written once: a value changed by hand survives re-registration.
    try {
        if (!registry.KeyExists(progId + "\\Opc")) {
            registry.SetValue(progId + "\\Opc", "", "");
            registry.SetValue(progId + "\\Opc\\Vendor", "", Vendor_);
        }
    } catch (const platform::ERegistryError&) {
    }
}

void TOpcServerFactory::Unregister(const TRegistrationTarget& Target) const {
    platform::ClassesRoot& registry = Target.Registry;
    const std::string clsid = "CLSID\\" + GuidText(ClassID_);
    const std::string progId = ProgID(Target.Executable);
    try {
        std::array<CATID, 2> ids = Categories();
        CategoriesManager()->UnRegisterClassImplCategories(ClassID_, 2, ids.data());
    } catch (const EOleSysError&) {
    }
    for (const std::string& key : {progId + "\\Opc\\Vendor", progId + "\\Opc", clsid + "\\ProgID",
                                   progId + "\\Clsid", progId, clsid + "\\LocalServer32", clsid})
        DeleteKeyQuietly(registry, key);
}

void RegisterOpcServer(const CLSID& ClassID, int Version, const std::string& Description,
                       const std::string& Vendor, std::unique_ptr<TOpcItemServer> ItemServer) {
    TOpcItemServer& server = *ItemServer;
    TComServer::Instance().AdoptItemServer(std::move(ItemServer));
    const std::pair<const char*, UINT*> formats[] = {
        {"OPCSTMFORMATDATA", &gClipFormats.Data},
        {"OPCSTMFORMATDATATIME", &gClipFormats.DataTime},
        {"OPCSTMFORMATWRITECOMPLETE", &gClipFormats.WriteComplete}};
    for (const auto& [name, id] : formats) {
        *id = RegisterClipboardFormatA(name);
        if (*id == 0) throw EOpcServer(ClipFormatFailed(name));
    }
    server.VendorInfo = Vendor + " " + Description;
    // The constructor could only stamp with the base clock; the override is in place now.
    server.StampStartTime();
    TComServer::Instance().AddFactory(platform::ComPtr<TOpcServerFactory>(
        new TOpcServerFactory(ClassID, server.FactoryClassName(Version), Description, Vendor)));
}

}  // namespace corvane::opc
