// Start mode, start-up, the object count and the shutdown rules of the COM server.
#include <algorithm>
#include <array>

#include "objbase.h"
#include "opcserver/Registration.h"
#include "opcserver/ServerImpl.h"

namespace corvane::opc {
namespace {

struct TSwitch {
    const char* Word;
    TStartMode Mode;
};

const std::array<TSwitch, 4> kSwitches = {{
    {"REGSERVER", TStartMode::RegServer},
    {"UNREGSERVER", TStartMode::UnregServer},
    {"AUTOMATION", TStartMode::ByCom},
    {"EMBEDDING", TStartMode::ByCom},
}};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

TStartMode StartModeOf(const std::vector<std::string>& Arguments) {
    for (const std::string& argument : Arguments) {
        if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) continue;
        const std::string word = Upper(argument.substr(1));
        for (const TSwitch& s : kSwitches)
            if (word == s.Word) return s.Mode;
    }
    return TStartMode::Normal;
}

std::string ComServerWarningText() {
    return "There are still active COM objects in this application.  One or more clients may "
           "have references to these objects, so manually closing "
           "this application may cause those client application(s) to fail.\n\n"
           "Are you sure you want to close this application?";
}

TComServer& TComServer::Instance() {
    static TComServer server;
    return server;
}

TComServer::TComServer() {
    TComObjectCounter::SetLastObjectGone([this] { LastObjectGone(); });
}

void TComServer::LastObjectGone() {
    if (StartedByCom() && Quit_) Quit_();
}

void TComServer::SetQuitHandler(std::function<void()> Quit) {
    Quit_ = std::move(Quit);
}

void TComServer::AddFactory(platform::ComPtr<TOpcServerFactory> Factory) {
    Factories_.push_back(std::move(Factory));
}

void TComServer::AdoptItemServer(std::unique_ptr<TOpcItemServer> Server) {
    ItemServer_ = std::move(Server);
}

bool TComServer::Initialize(TStartMode Mode, const TRegistrationTarget& Target) {
    Mode_ = Mode;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool unregister = Mode == TStartMode::UnregServer;
    for (const auto& factory : Factories_) {
        try {
            factory->UpdateRegistry(!unregister, Target);
        } catch (const platform::ERegistryWriteError&) {
            if (Mode == TStartMode::RegServer) throw;
        }
    }
    if (Mode == TStartMode::RegServer || unregister) return false;
    for (const auto& factory : Factories_) {
        DWORD cookie = 0;
        const HRESULT hr =
            CoRegisterClassObject(factory->ClassID(), factory.Get(), CLSCTX_LOCAL_SERVER,
                                  REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
        if (FAILED(hr)) throw EOleSysError(hr);
        Cookies_.push_back(cookie);
    }
    CoResumeClassObjects();
    return true;
}

bool TComServer::CanClose(const TAskClose& Ask) const {
    if (TComObjectCounter::Count() <= 0) return true;
    return Ask && Ask(kComServerWarningTitle, ComServerWarningText());
}

void TComServer::Shutdown() {
    for (DWORD cookie : Cookies_) CoRevokeClassObject(cookie);
    Cookies_.clear();
    Factories_.clear();
    ItemServer_.reset();
    Mode_ = TStartMode::Normal;
}

}  // namespace corvane::opc
