// Hooks through which a transport to other processes joins the COM stand-in: how a class
// that no object in this process serves is reached (CLSCTX_LOCAL_SERVER), and a source of
// incoming calls that the thread's message functions serve alongside its queue.
#pragma once

#include <functional>

#include "../../unknwn.h"

namespace corvane::platform {

// Makes an instance of a class served by another process; nullptr removes the hook.
using LocalServerActivator = std::function<HRESULT(REFCLSID clsid, REFIID iid, void** object)>;
void SetLocalServerActivator(LocalServerActivator activator);

// Work that arrives from outside the queue. Poll handles what is there without waiting;
// Wait blocks until something arrives or `timeoutMs` passes (-1: no limit).
struct ExternalMessageSource {
    std::function<void()> Poll;
    std::function<void(int timeoutMs)> Wait;
};
void SetExternalMessageSource(ExternalMessageSource source);

}  // namespace corvane::platform
