// The stubs of the enumerators a server hands out.
#pragma once

#include <cstdint>

#include "opcbus/BusServer.h"
#include "opcda.h"

namespace corvane::opcbus::stubs {

HRESULT EnumStringCall(TBusServer& s, TBusServer::TClient& c, IEnumString* o, std::uint16_t m,
                       TReader& in, TWriter& out);
HRESULT EnumUnknownCall(TBusServer& s, TBusServer::TClient& c, IEnumUnknown* o, std::uint16_t m,
                        TReader& in, TWriter& out);
HRESULT EnumAttributesCall(TBusServer& s, TBusServer::TClient& c, IEnumOPCItemAttributes* o,
                           std::uint16_t m, TReader& in, TWriter& out);

}  // namespace corvane::opcbus::stubs
