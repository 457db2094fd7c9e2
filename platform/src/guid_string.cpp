// GUIDs in their registry text form: braces, upper-case hex, 8-4-4-4-12.
#include <cstdio>
#include <cstring>

#include "objbase.h"

namespace {

constexpr int kGuidChars = 38;  // without the terminating null

void FormatGuid(REFGUID g, char (&out)[kGuidChars + 1]) {
    std::snprintf(out, sizeof out, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
}

int HexDigit(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at s[pos]; false on any non-hex character.
bool ReadHex(LPCOLESTR s, int pos, int digits, uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexDigit(s[pos + i]);
        if (d < 0) return false;
        value = value * 16 + static_cast<uint64_t>(d);
    }
    return true;
}

HRESULT ParseGuid(LPCOLESTR s, GUID* out) {
    if (!s || !out) return E_INVALIDARG;
    for (int i = 0; i < kGuidChars; ++i)
        if (s[i] == 0) return CO_E_CLASSSTRING;
    if (s[kGuidChars] != 0 || s[0] != u'{' || s[37] != u'}' || s[9] != u'-' || s[14] != u'-' ||
        s[19] != u'-' || s[24] != u'-')
        return CO_E_CLASSSTRING;
    uint64_t v = 0;
    GUID g{};
    if (!ReadHex(s, 1, 8, v)) return CO_E_CLASSSTRING;
    g.Data1 = static_cast<DWORD>(v);
    if (!ReadHex(s, 10, 4, v)) return CO_E_CLASSSTRING;
    g.Data2 = static_cast<WORD>(v);
    if (!ReadHex(s, 15, 4, v)) return CO_E_CLASSSTRING;
    g.Data3 = static_cast<WORD>(v);
    static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(s, kBytePos[i], 2, v)) return CO_E_CLASSSTRING;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    *out = g;
    return S_OK;
}

}  // namespace

INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax) {
    if (!lpsz || cchMax < kGuidChars + 1) return 0;
    char text[kGuidChars + 1];
    FormatGuid(rguid, text);
    for (int i = 0; i <= kGuidChars; ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
    return kGuidChars + 1;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidChars + 1) * sizeof(OLECHAR)));
    if (!*lplpsz) return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, *lplpsz, kGuidChars + 1);
    return S_OK;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return StringFromCLSID(rclsid, lplpsz);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    return ParseGuid(lpsz, pclsid);
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    const HRESULT hr = ParseGuid(lpsz, lpiid);
    return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}
