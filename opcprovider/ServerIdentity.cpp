#include "ServerIdentity.h"

#include <memory>
#include <string>

#include "OPCpro.h"
#include "opcserver/Registration.h"

namespace corvane::opcprovider {

TIdentityWriter RegistryWriter(platform::ClassesRoot& Registry) {
    return [&Registry](std::string_view key, std::string_view value) {
        Registry.SetValue(key, "", value);
    };
}

void WriteServerIdentity(const TIdentityWriter& Write) {
    const std::string clsid = opc::GuidText(CLSID_CorvaneSimulator);
    const std::string prog = kProgID;
    const std::pair<std::string, std::string> values[] = {
        {prog, "Data Access Server Corvane"},
        {prog + "\\CLSID", clsid},
        {prog + "\\OPC", ""},
        {prog + "\\OPC\\Vendor", kVendorText},
        {"CLSID\\" + clsid, "OPC Data Access Corvane"},
        {"CLSID\\" + clsid + "\\ProgID", prog},
        {"AppID\\" + clsid, prog},
    };
    for (const auto& [key, value] : values) Write(key, value);
}

Simulator& InitializeItemProvider(const TIdentityWriter& Write, TSymbolTable& Symbols) {
    WriteServerIdentity(Write);
    auto server = std::make_unique<Simulator>(Symbols);
    Simulator& simulator = *server;
    opc::RegisterOpcServer(CLSID_CorvaneSimulator, 2, "Simulator Opc Server", "Vostrel",
                           std::move(server));
    return simulator;
}

}  // namespace corvane::opcprovider
