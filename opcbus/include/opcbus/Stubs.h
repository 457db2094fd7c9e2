// The server half of every crossing method.
#pragma once

#include <cstdint>

#include "opcbus/BusServer.h"

namespace corvane::opcbus {

// Decodes one call on `object` (already queried for `iface`), makes it and encodes the
// results. `in` is untrusted; anything malformed is E_INVALIDARG before the call is made.
HRESULT DispatchCall(TBusServer& server, TBusServer::TClient& client, IUnknown* object,
                     TIface iface, std::uint16_t method, TReader& in, TWriter& out);

}  // namespace corvane::opcbus
