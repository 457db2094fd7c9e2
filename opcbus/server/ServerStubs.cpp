// Stubs of IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace, IOPCItemProperties and
// the connection points: read the arguments (untrusted), make the call on the real object,
// write the results and free what the call allocated.
#include "ServerStubs.h"

#include <cstring>

#include "StubSupport.h"
#include "winbase.h"

namespace corvane::opcbus::stubs {

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

}  // namespace corvane::opcbus::stubs
