// The proxy faces of a group's interfaces (state, items, sync and async I/O, DA 1.0 data object).
#pragma once

#include "ProxyManager.h"

namespace corvane::opcclient {

// The face for `code`, or null when `code` is not of this family.
std::unique_ptr<TFace> MakeGroupFace(opcbus::TIface code, TProxyManager& manager);

}  // namespace corvane::opcclient
