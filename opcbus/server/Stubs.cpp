// The server half of every crossing method: read the arguments (untrusted), make the
// call on the real object, write the results and free what the call allocated.
#include <cstring>

#include "objbase.h"
#include "opcbus/Marshal.h"
#include "opcbus/RemoteSink.h"
#include "opcbus/Stubs.h"
#include "opcda.h"
#include "winbase.h"

namespace corvane::opcbus {

namespace {

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
void PutOptionalErrors(TWriter& out, const HRESULT* errors, DWORD n) {
    out.U8(errors ? 1 : 0);
    if (errors) PutHResults(out, errors, n);
}

// A client sink given as an argument: its id and the interfaces it offers.
platform::ComPtr<IUnknown> ImportSink(TBusServer::TClient& client, TReader& in) {
    const std::uint32_t id = in.U32();
    const std::uint32_t interfaces = in.U32();
    if (!in.Ok() || id == 0) return {};
    return MakeRemoteSink(client.Channel, id, interfaces);
}

// Exports an interface pointer returned by a call and releases the call's reference.
void PutObject(TBusServer& server, TBusServer::TClient& client, TWriter& out, IUnknown* object) {
    out.U32(server.Export(client, object));
    if (object) object->Release();
}

#define ARGS_DONE() \
    if (!in.Done()) return E_INVALIDARG

HRESULT ServerCall(TBusServer& s, TBusServer::TClient& c, IOPCServer* o, std::uint16_t m,
                   TReader& in, TWriter& out) {
    switch (m) {
        case 0: {  // AddGroup
            const std::u16string name = in.Text();
            const BOOL active = in.I32();
            const DWORD rate = in.U32();
            const OPCHANDLE hClient = in.U32();
            LONG bias = 0;
            FLOAT deadband = 0;
            const bool hasBias = Optional(in, bias, [&] { return in.I32(); });
            const bool hasDeadband = Optional(in, deadband, [&] { return in.F32(); });
            const DWORD lcid = in.U32();
            const IID iid = in.Guid();
            ARGS_DONE();
            OPCHANDLE hServer = 0;
            DWORD revised = 0;
            IUnknown* group = nullptr;
            const HRESULT hr = o->AddGroup(
                name.c_str(), active, rate, hClient, hasBias ? &bias : nullptr,
                hasDeadband ? &deadband : nullptr, lcid, &hServer, &revised, iid, &group);
            if (FAILED(hr)) return hr;
            out.U32(hServer);
            out.U32(revised);
            PutObject(s, c, out, group);
            return hr;
        }
        case 1: {  // GetErrorString
            const HRESULT code = in.I32();
            const LCID lcid = in.U32();
            ARGS_DONE();
            TTaskString text;
            const HRESULT hr = o->GetErrorString(code, lcid, &text.p);
            if (SUCCEEDED(hr)) out.Str(text.p);
            return hr;
        }
        case 2: {  // GetGroupByName
            const std::u16string name = in.Text();
            const IID iid = in.Guid();
            ARGS_DONE();
            IUnknown* group = nullptr;
            const HRESULT hr = o->GetGroupByName(name.c_str(), iid, &group);
            if (SUCCEEDED(hr)) PutObject(s, c, out, group);
            return hr;
        }
        case 3: {  // GetStatus
            ARGS_DONE();
            OPCSERVERSTATUS* status = nullptr;
            const HRESULT hr = o->GetStatus(&status);
            if (SUCCEEDED(hr) && status) {
                PutStatus(out, *status);
                CoTaskMemFree(status->szVendorInfo);
            }
            CoTaskMemFree(status);
            return hr;
        }
        case 4: {  // RemoveGroup
            const OPCHANDLE h = in.U32();
            const BOOL force = in.I32();
            ARGS_DONE();
            return o->RemoveGroup(h, force);
        }
        case 5: {  // CreateGroupEnumerator
            const auto scope = static_cast<OPCENUMSCOPE>(in.I32());
            const IID iid = in.Guid();
            ARGS_DONE();
            IUnknown* e = nullptr;
            const HRESULT hr = o->CreateGroupEnumerator(scope, iid, &e);
            if (SUCCEEDED(hr)) PutObject(s, c, out, e);
            return hr;
        }
    }
    return E_INVALIDARG;
}

HRESULT CommonCall(IOPCCommon* o, std::uint16_t m, TReader& in, TWriter& out) {
    switch (m) {
        case 0: {
            const LCID lcid = in.U32();
            ARGS_DONE();
            return o->SetLocaleID(lcid);
        }
        case 1: {
            ARGS_DONE();
            LCID lcid = 0;
            const HRESULT hr = o->GetLocaleID(&lcid);
            if (SUCCEEDED(hr)) out.U32(lcid);
            return hr;
        }
        case 2: {
            ARGS_DONE();
            DWORD count = 0;
            LCID* ids = nullptr;
            const HRESULT hr = o->QueryAvailableLocaleIDs(&count, &ids);
            if (SUCCEEDED(hr)) PutDwords(out, ids, ids ? count : 0);
            CoTaskMemFree(ids);
            return hr;
        }
        case 3: {
            const HRESULT code = in.I32();
            ARGS_DONE();
            TTaskString text;
            const HRESULT hr = o->GetErrorString(code, &text.p);
            if (SUCCEEDED(hr)) out.Str(text.p);
            return hr;
        }
        case 4: {
            std::u16string name;
            bool isNull = false;
            in.Str(name, isNull);
            ARGS_DONE();
            return o->SetClientName(isNull ? nullptr : name.c_str());
        }
    }
    return E_INVALIDARG;
}

HRESULT BrowseCall(TBusServer& s, TBusServer::TClient& c, IOPCBrowseServerAddressSpace* o,
                   std::uint16_t m, TReader& in, TWriter& out) {
    std::u16string text;
    bool isNull = false;
    switch (m) {
        case 0: {
            ARGS_DONE();
            OPCNAMESPACETYPE type{};
            const HRESULT hr = o->QueryOrganization(&type);
            if (SUCCEEDED(hr)) out.I32(type);
            return hr;
        }
        case 1: {
            const auto direction = static_cast<OPCBROWSEDIRECTION>(in.I32());
            in.Str(text, isNull);
            ARGS_DONE();
            return o->ChangeBrowsePosition(direction, isNull ? nullptr : text.c_str());
        }
        case 2: {
            const auto type = static_cast<OPCBROWSETYPE>(in.I32());
            in.Str(text, isNull);
            const VARTYPE vt = in.U16();
            const DWORD rights = in.U32();
            ARGS_DONE();
            IEnumString* e = nullptr;
            const HRESULT hr =
                o->BrowseOPCItemIDs(type, isNull ? nullptr : text.c_str(), vt, rights, &e);
            if (SUCCEEDED(hr)) PutObject(s, c, out, e);
            return hr;
        }
        case 3: {
            in.Str(text, isNull);
            ARGS_DONE();
            TTaskString id;
            const HRESULT hr = o->GetItemID(isNull ? nullptr : text.data(), &id.p);
            if (SUCCEEDED(hr)) out.Str(id.p);
            return hr;
        }
        case 4: {
            in.Str(text, isNull);
            ARGS_DONE();
            IEnumString* e = nullptr;
            const HRESULT hr = o->BrowseAccessPaths(isNull ? nullptr : text.c_str(), &e);
            if (SUCCEEDED(hr)) PutObject(s, c, out, e);
            return hr;
        }
    }
    return E_INVALIDARG;
}

HRESULT PropertiesCall(IOPCItemProperties* o, std::uint16_t m, TReader& in, TWriter& out) {
    std::u16string item;
    bool isNull = false;
    in.Str(item, isNull);
    LPWSTR id = isNull ? nullptr : item.data();
    switch (m) {
        case 0: {
            ARGS_DONE();
            DWORD n = 0;
            DWORD* ids = nullptr;
            LPWSTR* descriptions = nullptr;
            VARTYPE* types = nullptr;
            const HRESULT hr = o->QueryAvailableProperties(id, &n, &ids, &descriptions, &types);
            if (SUCCEEDED(hr)) {
                PutDwords(out, ids, n);
                PutStrings(out, descriptions, n);
                for (DWORD i = 0; i < n; ++i) out.U16(types[i]);
            }
            if (descriptions)
                for (DWORD i = 0; i < n; ++i) CoTaskMemFree(descriptions[i]);
            CoTaskMemFree(ids);
            CoTaskMemFree(descriptions);
            CoTaskMemFree(types);
            return hr;
        }
        case 1:
        case 2: {
            const DWORD n = in.Count(4);
            std::vector<DWORD> ids = GetDwords(in, n);
            ARGS_DONE();
            HRESULT* errors = nullptr;
            if (m == 1) {
                VARIANT* values = nullptr;
                const HRESULT hr = o->GetItemProperties(id, n, ids.data(), &values, &errors);
                if (SUCCEEDED(hr)) {
                    if (FAILED(PutVariants(out, values, n))) {
                        out = TWriter{};
                        out.U32(n);
                        for (DWORD i = 0; i < n; ++i) out.U16(VT_EMPTY);
                    }
                    PutHResults(out, errors, n);
                }
                if (values)
                    for (DWORD i = 0; i < n; ++i) VariantClear(&values[i]);
                CoTaskMemFree(values);
                CoTaskMemFree(errors);
                return hr;
            }
            LPWSTR* names = nullptr;
            const HRESULT hr = o->LookupItemIDs(id, n, ids.data(), &names, &errors);
            if (SUCCEEDED(hr)) {
                PutStrings(out, names, n);
                PutHResults(out, errors, n);
            }
            if (names)
                for (DWORD i = 0; i < n; ++i) CoTaskMemFree(names[i]);
            CoTaskMemFree(names);
            CoTaskMemFree(errors);
            return hr;
        }
    }
    return E_INVALIDARG;
}

HRESULT ContainerCall(TBusServer& s, TBusServer::TClient& c, IConnectionPointContainer* o,
                      std::uint16_t m, TReader& in, TWriter& out) {
    if (m != 1) return m == 0 ? E_NOTIMPL : E_INVALIDARG;
    const IID iid = in.Guid();
    ARGS_DONE();
    IConnectionPoint* point = nullptr;
    const HRESULT hr = o->FindConnectionPoint(iid, &point);
    if (SUCCEEDED(hr)) PutObject(s, c, out, point);
    return hr;
}

HRESULT PointCall(TBusServer& s, TBusServer::TClient& c, IConnectionPoint* o, std::uint16_t m,
                  TReader& in, TWriter& out) {
    switch (m) {
        case 0: {
            ARGS_DONE();
            IID iid{};
            const HRESULT hr = o->GetConnectionInterface(&iid);
            if (SUCCEEDED(hr)) out.Guid(iid);
            return hr;
        }
        case 1: {
            ARGS_DONE();
            IConnectionPointContainer* container = nullptr;
            const HRESULT hr = o->GetConnectionPointContainer(&container);
            if (SUCCEEDED(hr)) PutObject(s, c, out, container);
            return hr;
        }
        case 2: {
            const platform::ComPtr<IUnknown> sink = ImportSink(c, in);
            ARGS_DONE();
            DWORD cookie = 0;
            const HRESULT hr = o->Advise(sink.Get(), &cookie);
            if (SUCCEEDED(hr)) out.U32(cookie);
            return hr;
        }
        case 3: {
            const DWORD cookie = in.U32();
            ARGS_DONE();
            return o->Unadvise(cookie);
        }
        case 4:
            return E_NOTIMPL;
    }
    return E_INVALIDARG;
}

HRESULT StateCall(TBusServer& s, TBusServer::TClient& c, IOPCGroupStateMgt* o, std::uint16_t m,
                  TReader& in, TWriter& out) {
    switch (m) {
        case 0: {
            ARGS_DONE();
            DWORD rate = 0, lcid = 0;
            BOOL active = 0;
            TTaskString name;
            LONG bias = 0;
            FLOAT deadband = 0;
            OPCHANDLE hClient = 0, hServer = 0;
            const HRESULT hr =
                o->GetState(&rate, &active, &name.p, &bias, &deadband, &lcid, &hClient, &hServer);
            if (FAILED(hr)) return hr;
            out.U32(rate);
            out.I32(active);
            out.Str(name.p);
            out.I32(bias);
            out.F32(deadband);
            out.U32(lcid);
            out.U32(hClient);
            out.U32(hServer);
            return hr;
        }
        case 1: {
            DWORD rate = 0, lcid = 0, revised = 0;
            BOOL active = 0;
            LONG bias = 0;
            FLOAT deadband = 0;
            OPCHANDLE hClient = 0;
            const bool hasRate = Optional(in, rate, [&] { return in.U32(); });
            const bool hasActive = Optional(in, active, [&] { return in.I32(); });
            const bool hasBias = Optional(in, bias, [&] { return in.I32(); });
            const bool hasDeadband = Optional(in, deadband, [&] { return in.F32(); });
            const bool hasLcid = Optional(in, lcid, [&] { return in.U32(); });
            const bool hasClient = Optional(in, hClient, [&] { return in.U32(); });
            ARGS_DONE();
            const HRESULT hr =
                o->SetState(hasRate ? &rate : nullptr, &revised, hasActive ? &active : nullptr,
                            hasBias ? &bias : nullptr, hasDeadband ? &deadband : nullptr,
                            hasLcid ? &lcid : nullptr, hasClient ? &hClient : nullptr);
            if (SUCCEEDED(hr)) out.U32(revised);
            return hr;
        }
        case 2: {
            std::u16string name;
            bool isNull = false;
            in.Str(name, isNull);
            ARGS_DONE();
            return o->SetName(isNull ? nullptr : name.c_str());
        }
        case 3: {
            std::u16string name;
            bool isNull = false;
            in.Str(name, isNull);
            const IID iid = in.Guid();
            ARGS_DONE();
            IUnknown* clone = nullptr;
            const HRESULT hr = o->CloneGroup(isNull ? nullptr : name.c_str(), iid, &clone);
            if (SUCCEEDED(hr)) PutObject(s, c, out, clone);
            return hr;
        }
    }
    return E_INVALIDARG;
}

HRESULT ItemMgtCall(TBusServer& s, TBusServer::TClient& c, IOPCItemMgt* o, std::uint16_t m,
                    TReader& in, TWriter& out) {
    if (m == 6) {
        const IID iid = in.Guid();
        ARGS_DONE();
        IUnknown* e = nullptr;
        const HRESULT hr = o->CreateEnumerator(iid, &e);
        if (SUCCEEDED(hr)) PutObject(s, c, out, e);
        return hr;
    }
    if (m > 6) return E_INVALIDARG;
    const DWORD n = in.U32();
    if (!in.Ok() || n > kMaxElements) return E_INVALIDARG;
    HRESULT* errorsRaw = nullptr;
    auto errors = Owned<HRESULT>(n, kNothing);
    HRESULT hr = E_INVALIDARG;
    if (m == 0 || m == 1) {
        TItemDefs defs;
        if (!GetItemDefs(in, n, defs)) return E_INVALIDARG;
        const BOOL blobUpdate = m == 1 ? in.I32() : FALSE;
        ARGS_DONE();
        OPCITEMRESULT* resultsRaw = nullptr;
        hr = m == 0 ? o->AddItems(n, defs.Defs.data(), &resultsRaw, &errorsRaw)
                    : o->ValidateItems(n, defs.Defs.data(), blobUpdate, &resultsRaw, &errorsRaw);
        auto results = Owned<OPCITEMRESULT>(n, [](OPCITEMRESULT& r) { CoTaskMemFree(r.pBlob); });
        results.p = resultsRaw;
        errors.p = errorsRaw;
        if (SUCCEEDED(hr) && resultsRaw && errorsRaw) {
            PutItemResults(out, resultsRaw, n);
            PutHResults(out, errorsRaw, n);
        }
        return hr;
    }
    const std::vector<DWORD> handles = GetDwords(in, n);
    if (m == 2) {
        ARGS_DONE();
        hr = o->RemoveItems(n, const_cast<DWORD*>(handles.data()), &errorsRaw);
    } else if (m == 3) {
        const BOOL active = in.I32();
        ARGS_DONE();
        hr = o->SetActiveState(n, const_cast<DWORD*>(handles.data()), active, &errorsRaw);
    } else if (m == 4) {
        std::vector<DWORD> clients = GetDwords(in, n);
        ARGS_DONE();
        hr = o->SetClientHandles(n, const_cast<DWORD*>(handles.data()), clients.data(), &errorsRaw);
    } else {
        if (in.Count(2) != n) return E_INVALIDARG;
        std::vector<VARTYPE> types(n);
        for (VARTYPE& t : types) t = in.U16();
        ARGS_DONE();
        hr = o->SetDatatypes(n, const_cast<DWORD*>(handles.data()), types.data(), &errorsRaw);
    }
    errors.p = errorsRaw;
    if (SUCCEEDED(hr) && errorsRaw) PutHResults(out, errorsRaw, n);
    return hr;
}

HRESULT SyncCall(IOPCSyncIO* o, std::uint16_t m, TReader& in, TWriter& out) {
    if (m == 0) {
        const auto source = static_cast<OPCDATASOURCE>(in.I32());
        const DWORD n = in.Count(4);
        std::vector<DWORD> handles = GetDwords(in, n);
        ARGS_DONE();
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const HRESULT hr = o->Read(source, n, handles.data(), &states, &errors);
        auto ownStates =
            Owned<OPCITEMSTATE>(n, [](OPCITEMSTATE& st) { VariantClear(&st.vDataValue); });
        ownStates.p = states;
        auto ownErrors = Owned<HRESULT>(n, kNothing);
        ownErrors.p = errors;
        if (SUCCEEDED(hr) && states && errors) {
            PutItemStates(out, states, n);
            PutHResults(out, errors, n);
        }
        return hr;
    }
    if (m == 1) {
        const DWORD n = in.Count(6);
        std::vector<DWORD> handles = GetDwords(in, n);
        TVariants values;
        if (!GetVariants(in, n, values)) return E_INVALIDARG;
        ARGS_DONE();
        HRESULT* errors = nullptr;
        const HRESULT hr = o->Write(n, handles.data(), values.Values.data(), &errors);
        auto ownErrors = Owned<HRESULT>(n, kNothing);
        ownErrors.p = errors;
        if (SUCCEEDED(hr) && errors) PutHResults(out, errors, n);
        return hr;
    }
    return E_INVALIDARG;
}

HRESULT AsyncCall(IOPCAsyncIO* o, std::uint16_t m, TReader& in, TWriter& out) {
    HRESULT* errors = nullptr;
    auto ownErrors = Owned<HRESULT>(0, kNothing);
    switch (m) {
        case 0: {
            const DWORD connection = in.U32();
            const auto source = static_cast<OPCDATASOURCE>(in.I32());
            const DWORD n = in.Count(4);
            std::vector<DWORD> handles = GetDwords(in, n);
            ARGS_DONE();
            DWORD tid = 0;
            const HRESULT hr = o->Read(connection, source, n, handles.data(), &tid, &errors);
            ownErrors = Owned<HRESULT>(n, kNothing);
            ownErrors.p = errors;
            if (SUCCEEDED(hr)) {
                out.U32(tid);
                PutOptionalErrors(out, errors, n);
            }
            return hr;
        }
        case 1: {
            const DWORD connection = in.U32();
            const DWORD n = in.Count(6);
            std::vector<DWORD> handles = GetDwords(in, n);
            TVariants values;
            if (!GetVariants(in, n, values)) return E_INVALIDARG;
            ARGS_DONE();
            DWORD tid = 0;
            const HRESULT hr =
                o->Write(connection, n, handles.data(), values.Values.data(), &tid, &errors);
            ownErrors = Owned<HRESULT>(n, kNothing);
            ownErrors.p = errors;
            if (SUCCEEDED(hr)) {
                out.U32(tid);
                PutOptionalErrors(out, errors, n);
            }
            return hr;
        }
        case 2: {
            const DWORD connection = in.U32();
            const auto source = static_cast<OPCDATASOURCE>(in.I32());
            ARGS_DONE();
            DWORD tid = 0;
            const HRESULT hr = o->Refresh(connection, source, &tid);
            if (SUCCEEDED(hr)) out.U32(tid);
            return hr;
        }
        case 3: {
            const DWORD tid = in.U32();
            ARGS_DONE();
            return o->Cancel(tid);
        }
    }
    return E_INVALIDARG;
}

HRESULT Async2Call(IOPCAsyncIO2* o, std::uint16_t m, TReader& in, TWriter& out) {
    HRESULT* errors = nullptr;
    auto ownErrors = Owned<HRESULT>(0, kNothing);
    switch (m) {
        case 0:
        case 1: {
            const DWORD n = in.Count(4);
            std::vector<DWORD> handles = GetDwords(in, n);
            TVariants values;
            if (m == 1 && !GetVariants(in, n, values)) return E_INVALIDARG;
            const DWORD tid = in.U32();
            ARGS_DONE();
            DWORD cancel = 0;
            const HRESULT hr =
                m == 0 ? o->Read(n, handles.data(), tid, &cancel, &errors)
                       : o->Write(n, handles.data(), values.Values.data(), tid, &cancel, &errors);
            ownErrors = Owned<HRESULT>(n, kNothing);
            ownErrors.p = errors;
            if (SUCCEEDED(hr)) {
                out.U32(cancel);
                PutOptionalErrors(out, errors, n);
            }
            return hr;
        }
        case 2: {
            const auto source = static_cast<OPCDATASOURCE>(in.I32());
            const DWORD tid = in.U32();
            ARGS_DONE();
            DWORD cancel = 0;
            const HRESULT hr = o->Refresh2(source, tid, &cancel);
            if (SUCCEEDED(hr)) out.U32(cancel);
            return hr;
        }
        case 3: {
            const DWORD cancel = in.U32();
            ARGS_DONE();
            return o->Cancel2(cancel);
        }
        case 4: {
            const BOOL enable = in.I32();
            ARGS_DONE();
            return o->SetEnable(enable);
        }
        case 5: {
            ARGS_DONE();
            BOOL enable = FALSE;
            const HRESULT hr = o->GetEnable(&enable);
            if (SUCCEEDED(hr)) out.I32(enable);
            return hr;
        }
    }
    return E_INVALIDARG;
}

HRESULT DataObjectCall(TBusServer::TClient& c, IDataObject* o, std::uint16_t m, TReader& in,
                       TWriter& out) {
    if (m == 6) {
        // Clipboard format numbers are per process: the format travels by name.
        const std::string name = [&] {
            const std::vector<std::uint8_t> bytes = in.Bytes(256);
            return std::string(bytes.begin(), bytes.end());
        }();
        FORMATETC format{};
        format.dwAspect = in.U32();
        format.lindex = in.I32();
        format.tymed = in.U32();
        const DWORD advf = in.U32();
        const platform::ComPtr<IUnknown> sink = ImportSink(c, in);
        ARGS_DONE();
        if (name.find('\0') != std::string::npos) return DV_E_FORMATETC;
        format.cfFormat =
            name.empty() ? 0 : static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name.c_str()));
        platform::ComPtr<IAdviseSink> adviseSink;
        if (sink) sink->QueryInterface(IID_IAdviseSink, adviseSink.PutVoid());
        DWORD connection = 0;
        const HRESULT hr = o->DAdvise(&format, advf, adviseSink.Get(), &connection);
        if (SUCCEEDED(hr)) out.U32(connection);
        return hr;
    }
    if (m == 7) {
        const DWORD connection = in.U32();
        ARGS_DONE();
        return o->DUnadvise(connection);
    }
    return m < 9 ? E_NOTIMPL : E_INVALIDARG;
}

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

#undef ARGS_DONE

}  // namespace

HRESULT DispatchCall(TBusServer& s, TBusServer::TClient& c, IUnknown* object, TIface iface,
                     std::uint16_t m, TReader& in, TWriter& out) {
    switch (iface) {
        case TIface::Server:
            return ServerCall(s, c, static_cast<IOPCServer*>(object), m, in, out);
        case TIface::Common:
            return CommonCall(static_cast<IOPCCommon*>(object), m, in, out);
        case TIface::Browse:
            return BrowseCall(s, c, static_cast<IOPCBrowseServerAddressSpace*>(object), m, in, out);
        case TIface::ItemProperties:
            return PropertiesCall(static_cast<IOPCItemProperties*>(object), m, in, out);
        case TIface::ConnectionPointContainer:
            return ContainerCall(s, c, static_cast<IConnectionPointContainer*>(object), m, in, out);
        case TIface::ConnectionPoint:
            return PointCall(s, c, static_cast<IConnectionPoint*>(object), m, in, out);
        case TIface::GroupStateMgt:
            return StateCall(s, c, static_cast<IOPCGroupStateMgt*>(object), m, in, out);
        case TIface::ItemMgt:
            return ItemMgtCall(s, c, static_cast<IOPCItemMgt*>(object), m, in, out);
        case TIface::SyncIO:
            return SyncCall(static_cast<IOPCSyncIO*>(object), m, in, out);
        case TIface::AsyncIO:
            return AsyncCall(static_cast<IOPCAsyncIO*>(object), m, in, out);
        case TIface::AsyncIO2:
            return Async2Call(static_cast<IOPCAsyncIO2*>(object), m, in, out);
        case TIface::DataObject:
            return DataObjectCall(c, static_cast<IDataObject*>(object), m, in, out);
        case TIface::EnumString:
            return EnumStringCall(s, c, static_cast<IEnumString*>(object), m, in, out);
        case TIface::EnumUnknown:
            return EnumUnknownCall(s, c, static_cast<IEnumUnknown*>(object), m, in, out);
        case TIface::EnumItemAttributes:
            return EnumAttributesCall(s, c, static_cast<IEnumOPCItemAttributes*>(object), m, in,
                                      out);
        default:
            return E_NOINTERFACE;
    }
}

}  // namespace corvane::opcbus
