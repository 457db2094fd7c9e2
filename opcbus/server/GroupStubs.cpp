// Stubs of a group's interfaces: state, items, sync and async I/O, the DA 1.0 data object.
#include "GroupStubs.h"

#include <cstring>

#include "StubSupport.h"
#include "winbase.h"

namespace corvane::opcbus::stubs {

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

namespace {

// The answer of an asynchronous read or write: its transaction or cancel id and the
// errors, which the call allocated and are freed here.
HRESULT PutIdAndErrors(HRESULT hr, DWORD id, HRESULT* errors, DWORD n, TWriter& out) {
    auto owned = Owned<HRESULT>(n, kNothing);
    owned.p = errors;
    if (SUCCEEDED(hr)) {
        out.U32(id);
        PutOptionalErrors(out, errors, n);
    }
    return hr;
}

}  // namespace

HRESULT AsyncCall(IOPCAsyncIO* o, std::uint16_t m, TReader& in, TWriter& out) {
    HRESULT* errors = nullptr;
    switch (m) {
        case 0: {
            const DWORD connection = in.U32();
            const auto source = static_cast<OPCDATASOURCE>(in.I32());
            const DWORD n = in.Count(4);
            std::vector<DWORD> handles = GetDwords(in, n);
            ARGS_DONE();
            DWORD tid = 0;
            const HRESULT hr = o->Read(connection, source, n, handles.data(), &tid, &errors);
            return PutIdAndErrors(hr, tid, errors, n, out);
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
            return PutIdAndErrors(hr, tid, errors, n, out);
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
            return PutIdAndErrors(hr, cancel, errors, n, out);
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

}  // namespace corvane::opcbus::stubs
