#include "opcbus/Marshal.h"

#include <cstring>

#include "objbase.h"

namespace corvane::opcbus {

namespace {

template <class T>
T* TaskArray(DWORD count) {
    if (count == 0) return nullptr;
    void* p = CoTaskMemAlloc(sizeof(T) * count);
    if (p) std::memset(p, 0, sizeof(T) * count);
    return static_cast<T*>(p);
}

BYTE* TaskBlob(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    auto* p = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
    if (p) std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

}  // namespace

void PutDwords(TWriter& w, const DWORD* values, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) w.U32(values[i]);
}

std::vector<DWORD> GetDwords(TReader& r, DWORD count) {
    const DWORD n = r.Count(4);
    if (n != count) {
        r.Fail();
        return {};
    }
    std::vector<DWORD> out(n);
    for (DWORD& v : out) v = r.U32();
    return out;
}

DWORD* GetDwordsTask(TReader& r, DWORD count) {
    const std::vector<DWORD> values = GetDwords(r, count);
    if (!r.Ok() || values.empty()) return nullptr;
    DWORD* out = TaskArray<DWORD>(count);
    if (!out) {
        r.Fail();
        return nullptr;
    }
    std::memcpy(out, values.data(), count * sizeof(DWORD));
    return out;
}

void PutItemDefs(TWriter& w, const OPCITEMDEF* defs, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) {
        const OPCITEMDEF& d = defs[i];
        w.Str(d.szAccessPath);
        w.Str(d.szItemID);
        w.I32(d.bActive);
        w.U32(d.hClient);
        w.Bytes(d.pBlob, d.pBlob ? d.dwBlobSize : 0);
        w.U16(d.vtRequestedDataType);
    }
}

bool GetItemDefs(TReader& r, DWORD count, TItemDefs& out) {
    // A definition takes at least 4+4+4+4+4+2 bytes.
    if (r.Count(22) != count || !r.Ok()) {
        r.Fail();
        return false;
    }
    out.Defs.assign(count, OPCITEMDEF{});
    out.Strings.assign(2 * std::size_t(count), {});
    out.Blobs.assign(count, {});
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        OPCITEMDEF& d = out.Defs[i];
        bool pathNull = false, idNull = false;
        r.Str(out.Strings[2 * i], pathNull);
        r.Str(out.Strings[2 * i + 1], idNull);
        d.szAccessPath = pathNull ? nullptr : out.Strings[2 * i].data();
        d.szItemID = idNull ? nullptr : out.Strings[2 * i + 1].data();
        d.bActive = r.I32();
        d.hClient = r.U32();
        out.Blobs[i] = r.Bytes();
        d.dwBlobSize = static_cast<DWORD>(out.Blobs[i].size());
        d.pBlob = out.Blobs[i].empty() ? nullptr : out.Blobs[i].data();
        d.vtRequestedDataType = r.U16();
    }
    return r.Ok();
}

void PutItemResults(TWriter& w, const OPCITEMRESULT* results, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) {
        const OPCITEMRESULT& x = results[i];
        w.U32(x.hServer);
        w.U16(x.vtCanonicalDataType);
        w.U32(x.dwAccessRights);
        w.Bytes(x.pBlob, x.pBlob ? x.dwBlobSize : 0);
    }
}

OPCITEMRESULT* GetItemResultsTask(TReader& r, DWORD count) {
    if (r.Count(14) != count || count == 0) {
        if (count) r.Fail();
        return nullptr;
    }
    OPCITEMRESULT* out = TaskArray<OPCITEMRESULT>(count);
    if (!out) {
        r.Fail();
        return nullptr;
    }
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        out[i].hServer = r.U32();
        out[i].vtCanonicalDataType = r.U16();
        out[i].dwAccessRights = r.U32();
        const std::vector<std::uint8_t> blob = r.Bytes();
        out[i].pBlob = TaskBlob(blob);
        out[i].dwBlobSize = out[i].pBlob ? static_cast<DWORD>(blob.size()) : 0;
    }
    if (!r.Ok()) {
        for (DWORD i = 0; i < count; ++i) CoTaskMemFree(out[i].pBlob);
        CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

void PutItemStates(TWriter& w, const OPCITEMSTATE* states, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) {
        w.U32(states[i].hClient);
        w.Time(states[i].ftTimeStamp);
        w.U16(states[i].wQuality);
        if (FAILED(w.Variant(states[i].vDataValue))) w.U16(VT_EMPTY);
    }
}

OPCITEMSTATE* GetItemStatesTask(TReader& r, DWORD count) {
    if (r.Count(16) != count || count == 0) {
        if (count) r.Fail();
        return nullptr;
    }
    OPCITEMSTATE* out = TaskArray<OPCITEMSTATE>(count);
    if (!out) {
        r.Fail();
        return nullptr;
    }
    for (DWORD i = 0; i < count; ++i) VariantInit(&out[i].vDataValue);
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        out[i].hClient = r.U32();
        out[i].ftTimeStamp = r.Time();
        out[i].wQuality = r.U16();
        r.Variant(out[i].vDataValue);
    }
    if (!r.Ok()) {
        for (DWORD i = 0; i < count; ++i) VariantClear(&out[i].vDataValue);
        CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

HRESULT PutVariants(TWriter& w, const VARIANT* values, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) {
        const HRESULT hr = w.Variant(values[i]);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

VARIANT* GetVariantsTask(TReader& r, DWORD count) {
    if (r.Count(2) != count || count == 0) {
        if (count) r.Fail();
        return nullptr;
    }
    VARIANT* out = TaskArray<VARIANT>(count);
    if (!out) {
        r.Fail();
        return nullptr;
    }
    for (DWORD i = 0; i < count; ++i) VariantInit(&out[i]);
    for (DWORD i = 0; i < count && r.Ok(); ++i) r.Variant(out[i]);
    if (!r.Ok()) {
        for (DWORD i = 0; i < count; ++i) VariantClear(&out[i]);
        CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

TVariants::~TVariants() {
    for (VARIANT& v : Values) VariantClear(&v);
}

bool GetVariants(TReader& r, DWORD count, TVariants& out) {
    if (r.Count(2) != count) {
        r.Fail();
        return false;
    }
    out.Values.resize(count);
    for (VARIANT& v : out.Values) VariantInit(&v);
    for (DWORD i = 0; i < count && r.Ok(); ++i) r.Variant(out.Values[i]);
    return r.Ok();
}

void PutItemAttributes(TWriter& w, const OPCITEMATTRIBUTES& a) {
    w.Str(a.szAccessPath);
    w.Str(a.szItemID);
    w.I32(a.bActive);
    w.U32(a.hClient);
    w.U32(a.hServer);
    w.U32(a.dwAccessRights);
    w.Bytes(a.pBlob, a.pBlob ? a.dwBlobSize : 0);
    w.U16(a.vtRequestedDataType);
    w.U16(a.vtCanonicalDataType);
    w.I32(a.dwEUType);
    if (FAILED(w.Variant(a.vEUInfo))) w.U16(VT_EMPTY);
}

bool GetItemAttributes(TReader& r, OPCITEMATTRIBUTES& a) {
    std::memset(&a, 0, sizeof a);
    VariantInit(&a.vEUInfo);
    a.szAccessPath = r.TaskStr();
    a.szItemID = r.TaskStr();
    a.bActive = r.I32();
    a.hClient = r.U32();
    a.hServer = r.U32();
    a.dwAccessRights = r.U32();
    const std::vector<std::uint8_t> blob = r.Bytes();
    a.pBlob = TaskBlob(blob);
    a.dwBlobSize = a.pBlob ? static_cast<DWORD>(blob.size()) : 0;
    a.vtRequestedDataType = r.U16();
    a.vtCanonicalDataType = r.U16();
    a.dwEUType = static_cast<OPCEUTYPE>(r.I32());
    r.Variant(a.vEUInfo);
    if (!r.Ok()) FreeItemAttributes(a);
    return r.Ok();
}

void FreeItemAttributes(OPCITEMATTRIBUTES& a) {
    CoTaskMemFree(a.szAccessPath);
    CoTaskMemFree(a.szItemID);
    CoTaskMemFree(a.pBlob);
    VariantClear(&a.vEUInfo);
    a.szAccessPath = a.szItemID = nullptr;
    a.pBlob = nullptr;
}

void PutStatus(TWriter& w, const OPCSERVERSTATUS& s) {
    w.Time(s.ftStartTime);
    w.Time(s.ftCurrentTime);
    w.Time(s.ftLastUpdateTime);
    w.I32(s.dwServerState);
    w.U32(s.dwGroupCount);
    w.U32(s.dwBandWidth);
    w.U16(s.wMajorVersion);
    w.U16(s.wMinorVersion);
    w.U16(s.wBuildNumber);
    w.Str(s.szVendorInfo);
}

OPCSERVERSTATUS* GetStatusTask(TReader& r) {
    auto* s = TaskArray<OPCSERVERSTATUS>(1);
    if (!s) {
        r.Fail();
        return nullptr;
    }
    s->ftStartTime = r.Time();
    s->ftCurrentTime = r.Time();
    s->ftLastUpdateTime = r.Time();
    s->dwServerState = static_cast<OPCSERVERSTATE>(r.I32());
    s->dwGroupCount = r.U32();
    s->dwBandWidth = r.U32();
    s->wMajorVersion = r.U16();
    s->wMinorVersion = r.U16();
    s->wBuildNumber = r.U16();
    s->szVendorInfo = r.TaskStr();
    if (!r.Ok()) {
        CoTaskMemFree(s->szVendorInfo);
        CoTaskMemFree(s);
        return nullptr;
    }
    return s;
}

void PutStrings(TWriter& w, const LPWSTR* strings, DWORD count) {
    w.U32(count);
    for (DWORD i = 0; i < count; ++i) w.Str(strings[i]);
}

LPWSTR* GetStringsTask(TReader& r, DWORD count) {
    if (r.Count(4) != count || count == 0) {
        if (count) r.Fail();
        return nullptr;
    }
    LPWSTR* out = TaskArray<LPWSTR>(count);
    if (!out) {
        r.Fail();
        return nullptr;
    }
    for (DWORD i = 0; i < count && r.Ok(); ++i) out[i] = r.TaskStr();
    if (!r.Ok()) {
        for (DWORD i = 0; i < count; ++i) CoTaskMemFree(out[i]);
        CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

}  // namespace corvane::opcbus
