// The client process's connection to the session bus: the servers it talks to (peers),
// the proxies of their objects and the sinks it exports to them.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "opcbus/Protocol.h"
#include "opcbus/Wire.h"
#include "unknwn.h"

namespace corvane::opcclient {

class TProxyManager;

// One server process, known by its unique bus name.
struct TPeer {
    QString Name;
    bool Alive = true;
    std::map<std::uint32_t, TProxyManager*> Proxies;
};

// Sends a call and waits (bounded) for its answer; results land in `out`.
HRESULT CallPeer(TPeer& peer, std::uint32_t object, opcbus::TIface iface, std::uint16_t method,
                 const opcbus::TWriter& args, std::vector<std::uint8_t>& out);

// Writes a reference to a client sink: its export id and the interfaces it offers.
// False when the sink offers none of the callback interfaces.
bool PutSink(opcbus::TWriter& w, const TPeer& peer, IUnknown* sink);

void ForgetProxy(TPeer& peer, std::uint32_t id);

// While set, every call goes to the hook instead of the bus: tests play a server that
// answers whatever they like. An empty hook restores the bus.
using TCallHook =
    std::function<HRESULT(std::uint32_t object, opcbus::TIface iface, std::uint16_t method,
                          const std::vector<std::uint8_t>& args, std::vector<std::uint8_t>& out)>;
void SetCallHook(TCallHook hook);

}  // namespace corvane::opcclient
