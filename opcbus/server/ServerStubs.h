// The stubs of a server object's interfaces and of the connection points.
#pragma once

#include <cstdint>

#include "opcbus/BusServer.h"
#include "opcda.h"

namespace corvane::opcbus::stubs {

HRESULT ServerCall(TBusServer& s, TBusServer::TClient& c, IOPCServer* o, std::uint16_t m,
                   TReader& in, TWriter& out);
HRESULT CommonCall(IOPCCommon* o, std::uint16_t m, TReader& in, TWriter& out);
HRESULT BrowseCall(TBusServer& s, TBusServer::TClient& c, IOPCBrowseServerAddressSpace* o,
                   std::uint16_t m, TReader& in, TWriter& out);
HRESULT PropertiesCall(IOPCItemProperties* o, std::uint16_t m, TReader& in, TWriter& out);
HRESULT ContainerCall(TBusServer& s, TBusServer::TClient& c, IConnectionPointContainer* o,
                      std::uint16_t m, TReader& in, TWriter& out);
HRESULT PointCall(TBusServer& s, TBusServer::TClient& c, IConnectionPoint* o, std::uint16_t m,
                  TReader& in, TWriter& out);

}  // namespace corvane::opcbus::stubs
