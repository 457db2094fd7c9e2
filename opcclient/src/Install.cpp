// Linked into every program that uses the client library (as an object file, so that
// the linker cannot drop it): installs the transport before main runs.
#include "opcclient/BusClient.h"

namespace {
const bool gInstalled = [] {
    corvane::opcclient::InstallBusClient();
    return true;
}();
}  // namespace
