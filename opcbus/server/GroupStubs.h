// The stubs of a group's interfaces.
#pragma once

#include <cstdint>

#include "opcbus/BusServer.h"
#include "opcda.h"

namespace corvane::opcbus::stubs {

HRESULT StateCall(TBusServer& s, TBusServer::TClient& c, IOPCGroupStateMgt* o, std::uint16_t m,
                  TReader& in, TWriter& out);
HRESULT ItemMgtCall(TBusServer& s, TBusServer::TClient& c, IOPCItemMgt* o, std::uint16_t m,
                    TReader& in, TWriter& out);
HRESULT SyncCall(IOPCSyncIO* o, std::uint16_t m, TReader& in, TWriter& out);
HRESULT AsyncCall(IOPCAsyncIO* o, std::uint16_t m, TReader& in, TWriter& out);
HRESULT Async2Call(IOPCAsyncIO2* o, std::uint16_t m, TReader& in, TWriter& out);
HRESULT DataObjectCall(TBusServer::TClient& c, IDataObject* o, std::uint16_t m, TReader& in,
                       TWriter& out);

}  // namespace corvane::opcbus::stubs
