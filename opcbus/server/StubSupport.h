// What every stub shares: owners of what a call allocated, optional arguments, client
// sinks given as arguments and interface pointers handed back.
#pragma once

#include <cstdint>

#include "objbase.h"
#include "opcbus/BusServer.h"
#include "opcbus/Marshal.h"
#include "opcbus/RemoteSink.h"

namespace corvane::opcbus::stubs {

// Frees a task-memory array (and what each element owns) when the stub is done.
template <class T, class F>
struct TTaskArray {
    T* p = nullptr;
    DWORD n = 0;
    F freeOne;
    ~TTaskArray() {
        if (!p) return;
        for (DWORD i = 0; i < n; ++i) freeOne(p[i]);
        CoTaskMemFree(p);
    }
};
template <class T, class F>
TTaskArray<T, F> Owned(DWORD n, F f) {
    return TTaskArray<T, F>{nullptr, n, f};
}
constexpr auto kNothing = [](auto&) {};

struct TTaskString {
    LPWSTR p = nullptr;
    ~TTaskString() { CoTaskMemFree(p); }
};

// A value that may be missing: flag byte, then the value.
template <class T, class Read>
bool Optional(TReader& in, T& value, Read read) {
    const std::uint8_t present = in.U8();
    if (present > 1) in.Fail();
    if (present == 1) value = read();
    return present == 1;
}

// The asynchronous calls may answer S_OK without an error array (a server option).
inline void PutOptionalErrors(TWriter& out, const HRESULT* errors, DWORD n) {
    out.U8(errors ? 1 : 0);
    if (errors) PutHResults(out, errors, n);
}

// A client sink given as an argument: its id and the interfaces it offers.
inline platform::ComPtr<IUnknown> ImportSink(TBusServer::TClient& client, TReader& in) {
    const std::uint32_t id = in.U32();
    const std::uint32_t interfaces = in.U32();
    if (!in.Ok() || id == 0) return {};
    return MakeRemoteSink(client.Channel, id, interfaces);
}

// Exports an interface pointer returned by a call and releases the call's reference.
inline void PutObject(TBusServer& server, TBusServer::TClient& client, TWriter& out,
                      IUnknown* object) {
    out.U32(server.Export(client, object));
    if (object) object->Release();
}

// Every stub reads its arguments from `in` and refuses leftovers before it calls.
#define ARGS_DONE() \
    if (!in.Done()) return E_INVALIDARG
}  // namespace corvane::opcbus::stubs
