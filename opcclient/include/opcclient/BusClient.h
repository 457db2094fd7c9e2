// The client side of the OPC transport: linked into a client program, it makes
// CoCreateInstance(Ex) with CLSCTX_LOCAL_SERVER reach a server on the session bus
// (started by the bus when it is not running), serves the IOPCServerList class, and
// lets the thread's message functions (PeekMessage, GetMessage) deliver the server's
// callbacks to the client's sinks. Everything is installed when the program starts;
// the functions here are for tests and tools.
#pragma once

#include <cstddef>
#include <string>

#include "wtypes.h"

namespace corvane::opcclient {

// Idempotent; runs at start-up of every program that links the library.
void InstallBusClient();

// The proxies and exported sinks alive in this process, for leak checks in tests.
std::size_t LiveProxyCount();
std::size_t ExportedSinkCount();

// The bus's unique name of the server process behind the latest activation of `clsid`,
// empty when there is none.
std::string ServerConnectionName(const CLSID& clsid);

}  // namespace corvane::opcclient
