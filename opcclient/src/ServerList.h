// The server browser object of the client process.
#pragma once

#include "unknwn.h"

namespace corvane::opcclient {

// A new IOPCServerList over the registry stand-in, queried for `iid`.
HRESULT CreateServerList(REFIID iid, void** ppv);

}  // namespace corvane::opcclient
