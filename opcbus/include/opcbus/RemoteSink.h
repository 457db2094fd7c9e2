// A client's sink as the server holds it.
#pragma once

#include <cstdint>
#include <memory>

#include "corvane/platform/ComObject.h"
#include "opcbus/BusServer.h"

namespace corvane::opcbus {

// IOPCDataCallback and IAdviseSink (as offered) of sink `id` in the channel's client:
// calls go out without waiting; a failure comes back as the result of the next call.
// Its last release tells the client to drop the sink.
platform::ComPtr<IUnknown> MakeRemoteSink(std::shared_ptr<TSinkChannel> channel, std::uint32_t id,
                                          std::uint32_t interfaces);

}  // namespace corvane::opcbus
