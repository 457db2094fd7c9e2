// The proxy faces of the enumerators (IEnumString, IEnumUnknown, IEnumOPCItemAttributes).
#pragma once

#include "ProxyManager.h"

namespace corvane::opcclient {

// The face for `code`, or null when `code` is not of this family.
std::unique_ptr<TFace> MakeEnumFace(opcbus::TIface code, TProxyManager& manager);

}  // namespace corvane::opcclient
