// Small builders for VARIANT test values.
#pragma once

#include <string>

#include "oleauto.h"

namespace corvane::test {

inline VARIANT I1(CHAR v) {
    VARIANT r{};
    r.vt = VT_I1;
    r.cVal = v;
    return r;
}
inline VARIANT UI1(BYTE v) {
    VARIANT r{};
    r.vt = VT_UI1;
    r.bVal = v;
    return r;
}
inline VARIANT I2(SHORT v) {
    VARIANT r{};
    r.vt = VT_I2;
    r.iVal = v;
    return r;
}
inline VARIANT UI2(USHORT v) {
    VARIANT r{};
    r.vt = VT_UI2;
    r.uiVal = v;
    return r;
}
inline VARIANT I4(LONG v) {
    VARIANT r{};
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
inline VARIANT UI4(ULONG v) {
    VARIANT r{};
    r.vt = VT_UI4;
    r.ulVal = v;
    return r;
}
inline VARIANT Int(INT v) {
    VARIANT r{};
    r.vt = VT_INT;
    r.intVal = v;
    return r;
}
inline VARIANT UInt(UINT v) {
    VARIANT r{};
    r.vt = VT_UINT;
    r.uintVal = v;
    return r;
}
inline VARIANT R4(FLOAT v) {
    VARIANT r{};
    r.vt = VT_R4;
    r.fltVal = v;
    return r;
}
inline VARIANT R8(DOUBLE v) {
    VARIANT r{};
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}
inline VARIANT Date(DATE v) {
    VARIANT r{};
    r.vt = VT_DATE;
    r.date = v;
    return r;
}
inline VARIANT Cy(LONGLONG scaled) {
    VARIANT r{};
    r.vt = VT_CY;
    r.cyVal.int64 = scaled;
    return r;
}
inline VARIANT Bool(bool v) {
    VARIANT r{};
    r.vt = VT_BOOL;
    r.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}
inline VARIANT Empty() {
    VARIANT r{};
    r.vt = VT_EMPTY;
    return r;
}
inline VARIANT Null() {
    VARIANT r{};
    r.vt = VT_NULL;
    return r;
}
inline VARIANT Error(SCODE v) {
    VARIANT r{};
    r.vt = VT_ERROR;
    r.scode = v;
    return r;
}
// The caller clears it.
inline VARIANT Str(const char16_t* s) {
    VARIANT r{};
    r.vt = VT_BSTR;
    r.bstrVal = SysAllocString(s);
    return r;
}

inline std::u16string TextOf(const VARIANT& v) {
    return v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : std::u16string();
}

}  // namespace corvane::test
