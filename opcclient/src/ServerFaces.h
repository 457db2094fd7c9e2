// The proxy faces of a server object's interfaces (IOPCServer, IOPCCommon, browsing, item
// properties) and the connection points.
#pragma once

#include "ProxyManager.h"

namespace corvane::opcclient {

// The face for `code`, or null when `code` is not of this family.
std::unique_ptr<TFace> MakeServerFace(opcbus::TIface code, TProxyManager& manager);

}  // namespace corvane::opcclient
