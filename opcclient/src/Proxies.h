// The client's proxies of server objects.
#pragma once

#include <cstdint>
#include <memory>

#include "ClientRuntime.h"

namespace corvane::opcclient {

// A proxy for object `id` of `peer`, carrying one more of the server's references;
// queried for `iid`, which the server already said the object offers.
HRESULT Unmarshal(const std::shared_ptr<TPeer>& peer, std::uint32_t id, REFIID iid, void** ppv);

}  // namespace corvane::opcclient
