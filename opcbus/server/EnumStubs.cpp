// Stubs of IEnumString, IEnumUnknown and IEnumOPCItemAttributes.
#include "EnumStubs.h"

#include <cstring>

#include "StubSupport.h"
#include "winbase.h"

namespace corvane::opcbus::stubs {

namespace {

template <class E>
HRESULT EnumCommon(TBusServer& s, TBusServer::TClient& c, E* o, std::uint16_t m, TReader& in,
                   TWriter& out) {
    switch (m) {
        case 1: {
            const ULONG n = in.U32();
            ARGS_DONE();
            return o->Skip(n);
        }
        case 2:
            ARGS_DONE();
            return o->Reset();
        case 3: {
            ARGS_DONE();
            E* clone = nullptr;
            const HRESULT hr = o->Clone(&clone);
            if (SUCCEEDED(hr)) PutObject(s, c, out, clone);
            return hr;
        }
    }
    return E_INVALIDARG;
}

// Next asks for at most this many elements at once.
constexpr ULONG kMaxNext = 65536;

}  // namespace

HRESULT EnumStringCall(TBusServer& s, TBusServer::TClient& c, IEnumString* o, std::uint16_t m,
                       TReader& in, TWriter& out) {
    if (m != 0) return EnumCommon(s, c, o, m, in, out);
    const ULONG n = in.U32();
    ARGS_DONE();
    if (n > kMaxNext) return E_INVALIDARG;
    std::vector<LPOLESTR> strings(n, nullptr);
    ULONG fetched = 0;
    const HRESULT hr = o->Next(n, strings.data(), &fetched);
    if (fetched > n) fetched = n;
    if (SUCCEEDED(hr)) PutStrings(out, strings.data(), fetched);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(strings[i]);
    return hr;
}

HRESULT EnumUnknownCall(TBusServer& s, TBusServer::TClient& c, IEnumUnknown* o, std::uint16_t m,
                        TReader& in, TWriter& out) {
    if (m != 0) return EnumCommon(s, c, o, m, in, out);
    const ULONG n = in.U32();
    ARGS_DONE();
    if (n > kMaxNext) return E_INVALIDARG;
    std::vector<IUnknown*> objects(n, nullptr);
    ULONG fetched = 0;
    const HRESULT hr = o->Next(n, objects.data(), &fetched);
    if (fetched > n) fetched = n;
    if (SUCCEEDED(hr)) {
        out.U32(fetched);
        for (ULONG i = 0; i < fetched; ++i) PutObject(s, c, out, objects[i]);
    } else {
        for (ULONG i = 0; i < fetched; ++i)
            if (objects[i]) objects[i]->Release();
    }
    return hr;
}

HRESULT EnumAttributesCall(TBusServer& s, TBusServer::TClient& c, IEnumOPCItemAttributes* o,
                           std::uint16_t m, TReader& in, TWriter& out) {
    if (m != 0) return EnumCommon(s, c, o, m, in, out);
    const ULONG n = in.U32();
    ARGS_DONE();
    if (n > kMaxNext) return E_INVALIDARG;
    OPCITEMATTRIBUTES* items = nullptr;
    ULONG fetched = 0;
    const HRESULT hr = o->Next(n, &items, &fetched);
    if (fetched > n) fetched = n;
    if (SUCCEEDED(hr)) {
        out.U32(items ? fetched : 0);
        for (ULONG i = 0; items && i < fetched; ++i) PutItemAttributes(out, items[i]);
    }
    for (ULONG i = 0; items && i < fetched; ++i) FreeItemAttributes(items[i]);
    CoTaskMemFree(items);
    return hr;
}

}  // namespace corvane::opcbus::stubs
