// VarCmp and VarBstrCmp. Unlike the original, every integer type compares (the server
// compares values of all OPC types for change detection).
#include <cmath>
#include <cstdint>

#include "oleauto.h"

namespace {

char16_t Upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}
char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

HRESULT Order(int c) {
    return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
}

template <class T>
int Cmp(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

struct Number {
    enum class Form { Signed, Unsigned, Real } form;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    bool single = false;
};

bool ReadNumber(const VARIANT& v, Number& n) {
    using F = Number::Form;
    switch (v.vt) {
        case VT_EMPTY:
            n = {F::Signed, 0};
            return true;
        case VT_I1:
            n = {F::Signed, v.cVal};
            return true;
        case VT_I2:
            n = {F::Signed, v.iVal};
            return true;
        case VT_I4:
            n = {F::Signed, v.lVal};
            return true;
        case VT_INT:
            n = {F::Signed, v.intVal};
            return true;
        case VT_I8:
            n = {F::Signed, v.llVal};
            return true;
        case VT_BOOL:
            n = {F::Signed, v.boolVal};
            return true;
        case VT_UI1:
            n = {F::Unsigned, 0, v.bVal};
            return true;
        case VT_UI2:
            n = {F::Unsigned, 0, v.uiVal};
            return true;
        case VT_UI4:
            n = {F::Unsigned, 0, v.ulVal};
            return true;
        case VT_UINT:
            n = {F::Unsigned, 0, v.uintVal};
            return true;
        case VT_UI8:
            n = {F::Unsigned, 0, v.ullVal};
            return true;
        case VT_R4:
            n = {F::Real, 0, 0, v.fltVal, true};
            return true;
        case VT_R8:
            n = {F::Real, 0, 0, v.dblVal};
            return true;
        case VT_DATE:
            n = {F::Real, 0, 0, v.date};
            return true;
        case VT_CY:
            n = {F::Real, 0, 0, static_cast<double>(v.cyVal.int64) / 10000.0};
            return true;
        default:
            return false;
    }
}

double AsDouble(const Number& n) {
    switch (n.form) {
        case Number::Form::Signed:
            return static_cast<double>(n.i);
        case Number::Form::Unsigned:
            return static_cast<double>(n.u);
        default:
            return n.d;
    }
}

int CompareNumbers(const Number& a, const Number& b) {
    using F = Number::Form;
    if (a.form != F::Real && b.form != F::Real) {
        if (a.form == F::Signed && a.i < 0)
            return (b.form == F::Signed && b.i < a.i)
                       ? 1
                       : (b.form == F::Signed && b.i == a.i ? 0 : -1);
        if (b.form == F::Signed && b.i < 0) return 1;
        const std::uint64_t x = a.form == F::Signed ? static_cast<std::uint64_t>(a.i) : a.u;
        const std::uint64_t y = b.form == F::Signed ? static_cast<std::uint64_t>(b.i) : b.u;
        return Cmp(x, y);
    }
    // With a VT_R4 operand the comparison is made at single precision.
    if (a.single || b.single)
        return Cmp(static_cast<float>(AsDouble(a)), static_cast<float>(AsDouble(b)));
    return Cmp(AsDouble(a), AsDouble(b));
}

}  // namespace

HRESULT VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
    const UINT ln = SysStringLen(bstrLeft), rn = SysStringLen(bstrRight);
    const UINT n = ln < rn ? ln : rn;
    if (lcid == 0 && !(dwFlags & NORM_IGNORECASE)) {
        for (UINT i = 0; i < n; ++i)
            if (bstrLeft[i] != bstrRight[i]) return Order(Cmp(bstrLeft[i], bstrRight[i]));
        return Order(Cmp(ln, rn));
    }
    // Letters compare alphabetically first; only then does lower case sort before upper.
    for (UINT i = 0; i < n; ++i) {
        const char16_t a = Upper(bstrLeft[i]), b = Upper(bstrRight[i]);
        if (a != b) return Order(Cmp(a, b));
    }
    if (ln != rn) return Order(Cmp(ln, rn));
    if (dwFlags & NORM_IGNORECASE) return VARCMP_EQ;
    for (UINT i = 0; i < n; ++i)
        if (bstrLeft[i] != bstrRight[i])
            return Order(Cmp(Lower(bstrLeft[i]) == bstrLeft[i] ? 0 : 1,
                             Lower(bstrRight[i]) == bstrRight[i] ? 0 : 1));
    return VARCMP_EQ;
}

HRESULT VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID lcid, ULONG dwFlags) {
    if (!pvarLeft || !pvarRight) return E_INVALIDARG;
    VARIANT l, r;
    VariantInit(&l);
    VariantInit(&r);
    HRESULT hr = VariantCopyInd(&l, pvarLeft);
    if (SUCCEEDED(hr)) hr = VariantCopyInd(&r, pvarRight);
    if (SUCCEEDED(hr)) {
        Number a, b;
        if (l.vt == VT_NULL || r.vt == VT_NULL) {
            hr = VARCMP_NULL;
        } else if ((l.vt & VT_ARRAY) || (r.vt & VT_ARRAY)) {
            hr = DISP_E_TYPEMISMATCH;
        } else if (l.vt == VT_BSTR && r.vt == VT_BSTR) {
            hr = VarBstrCmp(l.bstrVal, r.bstrVal, lcid, dwFlags);
        } else if ((l.vt == VT_BSTR && r.vt == VT_EMPTY) || (l.vt == VT_EMPTY && r.vt == VT_BSTR)) {
            hr = VarBstrCmp(l.vt == VT_BSTR ? l.bstrVal : nullptr,
                            r.vt == VT_BSTR ? r.bstrVal : nullptr, lcid, dwFlags);
        } else if (l.vt == VT_ERROR || r.vt == VT_ERROR) {
            hr = l.vt == r.vt ? Order(Cmp(l.scode, r.scode)) : DISP_E_TYPEMISMATCH;
        } else if (l.vt == VT_BSTR || r.vt == VT_BSTR) {
            // Without VT_HARDTYPE a string is always greater than a number.
            hr = ReadNumber(l.vt == VT_BSTR ? r : l, a) ? (l.vt == VT_BSTR ? VARCMP_GT : VARCMP_LT)
                                                        : DISP_E_TYPEMISMATCH;
        } else if (ReadNumber(l, a) && ReadNumber(r, b)) {
            hr = Order(CompareNumbers(a, b));
        } else {
            hr = DISP_E_TYPEMISMATCH;
        }
    }
    VariantClear(&l);
    VariantClear(&r);
    return hr;
}
