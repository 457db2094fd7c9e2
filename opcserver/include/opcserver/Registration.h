// Making the program a COM local server that OPC clients can find and start: the
// application hands its item server to RegisterOpcServer; the COM server start-up then
// reads the command-line switches, writes or removes the registry entries and OPC
// component categories, and publishes the class object.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "corvane/platform/Registry.h"
#include "opcserver/ItemServer.h"
#include "unknwn.h"

namespace corvane::opc {

// A failed COM call during registration (the categories manager), with its code.
class EOleSysError : public std::runtime_error {
  public:
    explicit EOleSysError(HRESULT code);
    HRESULT Code() const { return code_; }

  private:
    HRESULT code_;
};

// The DA 1.0 stream formats, registered by name in this order.
struct TClipFormats {
    UINT Data = 0;           // "OPCSTMFORMATDATA"
    UINT DataTime = 0;       // "OPCSTMFORMATDATATIME"
    UINT WriteComplete = 0;  // "OPCSTMFORMATWRITECOMPLETE"
};
const TClipFormats& ClipFormats();

// Braced, upper-case registry text of a GUID.
std::string GuidText(const GUID& Guid);

// Where the registry update writes, and which executable it registers.
struct TRegistrationTarget {
    platform::ClassesRoot& Registry;
    std::filesystem::path Executable;
};

// The class object of the server: every CreateInstance makes a new TServerImpl. Counts
// as a COM object of the process while locked by LockServer.
class TOpcServerFactory final : public IClassFactory,
                                public platform::ComRefCount<TOpcServerFactory> {
  public:
    TOpcServerFactory(const CLSID& ClassID, std::string ClassName, std::string Description,
                      std::string Vendor);

    const CLSID& ClassID() const { return ClassID_; }
    const std::string& ClassName() const { return ClassName_; }
    const std::string& Description() const { return Description_; }
    const std::string& Vendor() const { return Vendor_; }
    // Executable name without directory and extension, '.', class name.
    std::string ProgID(const std::filesystem::path& Executable) const;

    // Writes (Register) or removes the registry rows and category implementation.
    // Raises platform::ERegistryWriteError for a refused write and EOleSysError for a
    // failing categories manager; unregistering never raises for a missing key.
    void UpdateRegistry(bool Register, const TRegistrationTarget& Target) const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  private:
    void Register(const TRegistrationTarget& Target) const;
    void Unregister(const TRegistrationTarget& Target) const;

    const CLSID ClassID_;
    const std::string ClassName_, Description_, Vendor_;
};

// Registers the clipboard formats, sets the item server's VendorInfo and creates the
// factory, which joins the COM server's list. The framework owns the item server from
// here on (also when this raises); ShutdownOpcServer destroys it.
void RegisterOpcServer(const CLSID& ClassID, int Version, const std::string& Description,
                       const std::string& Vendor, std::unique_ptr<TOpcItemServer> ItemServer);

// How the program was started, from its switches.
enum class TStartMode { Normal, ByCom, RegServer, UnregServer };
// "REGSERVER", "UNREGSERVER", "AUTOMATION" or "EMBEDDING" after '-' or '/', any letter
// case; the first switch found decides. Arguments exclude the program name.
TStartMode StartModeOf(const std::vector<std::string>& Arguments);

// The COM server side of the program: start mode, registry update, class objects, the
// object count and the shutdown rules.
class TComServer {
  public:
    static TComServer& Instance();

    // Start-up: apartment, registry update of every factory, then either the end of the
    // program (false: REGSERVER or UNREGSERVER done) or the published class objects
    // (true). A refused registry write is ignored except with REGSERVER, where it is
    // raised; other failures are raised in every mode.
    bool Initialize(TStartMode Mode, const TRegistrationTarget& Target);
    TStartMode Mode() const { return Mode_; }
    bool StartedByCom() const { return Mode_ == TStartMode::ByCom; }

    // Told when the program was started by COM and its last COM object went away.
    void SetQuitHandler(std::function<void()> Quit);

    // The question asked before the user closes the program while COM objects live;
    // true lets it close.
    using TAskClose = std::function<bool(const std::string& Title, const std::string& Text)>;
    bool CanClose(const TAskClose& Ask) const;

    // Withdraws the class objects, destroys the factories and the item server.
    void Shutdown();

    // For RegisterOpcServer and tests.
    void AddFactory(platform::ComPtr<TOpcServerFactory> Factory);
    void AdoptItemServer(std::unique_ptr<TOpcItemServer> Server);
    const std::vector<platform::ComPtr<TOpcServerFactory>>& Factories() const { return Factories_; }

  private:
    TComServer();
    void LastObjectGone();

    TStartMode Mode_ = TStartMode::Normal;
    std::function<void()> Quit_;
    std::vector<platform::ComPtr<TOpcServerFactory>> Factories_;
    std::vector<DWORD> Cookies_;
    std::unique_ptr<TOpcItemServer> ItemServer_;
};

inline constexpr const char* kComServerWarningTitle = "COM Server Warning";
// The warning's text, line breaks included.
std::string ComServerWarningText();

// The component categories manager stand-in: publishes an in-process class object for
// CLSID_StdComponentCategoriesMgr whose ICatRegister keeps categories and class
// implementations in the given registry file, as Windows lays them out. Returns the
// registration cookie for CoRevokeClassObject.
DWORD RegisterCategoriesManager(std::filesystem::path RegistryFile);

}  // namespace corvane::opc
