#pragma once
// The OPC server's identity: the registry values written at every start, and the item
// provider's initialisation that creates `Simulator` and registers the server.
#include <functional>
#include <string_view>

#include "SymbolTable.h"
#include "corvane/platform/Registry.h"
#include "wtypes.h"

namespace corvane::opcprovider {

class Simulator;

// The server's class id, the same at every start: {7E3C5A21-94B6-4F0D-A8C2-3D5E61F0B7A4}.
inline constexpr CLSID CLSID_CorvaneSimulator = {
    0x7E3C5A21, 0x94B6, 0x4F0D, {0xA8, 0xC2, 0x3D, 0x5E, 0x61, 0xF0, 0xB7, 0xA4}};
inline constexpr const char* kProgID = "Corvane.Simulator";
inline constexpr const char* kVendorText = "Corvane project, S7-200 CPU 224 simulator, 2026";

// Writes one default value, creating its key; raises platform::ERegistryWriteError
// ("Error creating system registry entry") when it cannot.
using TIdentityWriter = std::function<void(std::string_view Key, std::string_view Value)>;
TIdentityWriter RegistryWriter(platform::ClassesRoot& Registry);

// The seven identity values, in order; stops at the first that cannot be written.
void WriteServerIdentity(const TIdentityWriter& Write);

// Start-up step 1: the identity values, then the one `Simulator` over `Symbols`, handed to
// the server core with RegisterOpcServer (class id, version 2, "Simulator Opc Server",
// "Vostrel"). The core owns it from then on; the returned reference stays valid until
// the COM server shuts down.
Simulator& InitializeItemProvider(const TIdentityWriter& Write, TSymbolTable& Symbols);

}  // namespace corvane::opcprovider
