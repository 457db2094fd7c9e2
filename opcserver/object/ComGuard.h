// The single exception handler of every COM method of the server object.
#pragma once

#include "opcserver/ComBoundary.h"

namespace corvane::opc::detail {

using opc::ComGuard;

}  // namespace corvane::opc::detail
