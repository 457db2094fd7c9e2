// VariantChangeType(Ex): Automation's coercion rules between the scalar types.
// A source is first reduced to a Scalar; each destination type has one writer.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "coerce_internal.h"
#include "corvane/platform/Text.h"

namespace corvane::platform::coerce {
namespace {

struct IntRange {
    VARTYPE vt;
    int width;
    bool isSigned;
};

constexpr IntRange kIntTypes[] = {
    {VT_I1, 1, true}, {VT_UI1, 1, false}, {VT_I2, 2, true},  {VT_UI2, 2, false},
    {VT_I4, 4, true}, {VT_UI4, 4, false}, {VT_INT, 4, true}, {VT_UINT, 4, false},
    {VT_I8, 8, true}, {VT_UI8, 8, false},
};

const IntRange* IntTypeOf(VARTYPE vt) {
    for (const auto& r : kIntTypes)
        if (r.vt == vt) return &r;
    return nullptr;
}

std::int64_t MinOf(const IntRange& r) {
    return r.isSigned ? (r.width == 8 ? INT64_MIN : -(std::int64_t{1} << (r.width * 8 - 1))) : 0;
}
std::uint64_t MaxOf(const IntRange& r) {
    if (r.width == 8) return r.isSigned ? INT64_MAX : UINT64_MAX;
    return r.isSigned ? (std::uint64_t{1} << (r.width * 8 - 1)) - 1
                      : (std::uint64_t{1} << (r.width * 8)) - 1;
}

Scalar ReadScalar(const VARIANT& v) {
    Scalar s;
    s.vt = v.vt;
    switch (v.vt) {
        case VT_EMPTY:
            s.kind = Kind::Empty;
            break;
        case VT_NULL:
            s.kind = Kind::Null;
            break;
        case VT_I1:
            s.kind = Kind::Signed, s.width = 1, s.i = v.cVal;
            break;
        case VT_I2:
            s.kind = Kind::Signed, s.width = 2, s.i = v.iVal;
            break;
        case VT_I4:
            s.kind = Kind::Signed, s.width = 4, s.i = v.lVal;
            break;
        case VT_INT:
            s.kind = Kind::Signed, s.width = 4, s.i = v.intVal;
            break;
        case VT_I8:
            s.kind = Kind::Signed, s.width = 8, s.i = v.llVal;
            break;
        case VT_UI1:
            s.kind = Kind::Unsigned, s.width = 1, s.u = v.bVal;
            break;
        case VT_UI2:
            s.kind = Kind::Unsigned, s.width = 2, s.u = v.uiVal;
            break;
        case VT_UI4:
            s.kind = Kind::Unsigned, s.width = 4, s.u = v.ulVal;
            break;
        case VT_UINT:
            s.kind = Kind::Unsigned, s.width = 4, s.u = v.uintVal;
            break;
        case VT_UI8:
            s.kind = Kind::Unsigned, s.width = 8, s.u = v.ullVal;
            break;
        case VT_R4:
            s.kind = Kind::Real, s.d = v.fltVal, s.single = true;
            break;
        case VT_R8:
            s.kind = Kind::Real, s.d = v.dblVal;
            break;
        case VT_DATE:
            s.kind = Kind::Date, s.d = v.date;
            break;
        case VT_CY:
            s.kind = Kind::Cy, s.i = v.cyVal.int64;
            break;
        case VT_BOOL:
            s.kind = Kind::Bool, s.i = v.boolVal;
            break;
        case VT_BSTR:
            s.kind = Kind::String, s.s = v.bstrVal;
            break;
        case VT_ERROR:
            s.kind = Kind::Error, s.i = v.scode;
            break;
        default:
            s.kind = Kind::Other;
            break;
    }
    return s;
}

std::u16string TextOf(BSTR s) {
    return s ? std::u16string(s, SysStringLen(s)) : std::u16string();
}

// Integer result as a bit pattern of the destination's width.
HRESULT ToInteger(const Scalar& s, const IntRange& to, std::uint64_t& bits) {
    auto checkSigned = [&](std::int64_t v) {
        if (v < MinOf(to) || (v > 0 && static_cast<std::uint64_t>(v) > MaxOf(to)))
            return DISP_E_OVERFLOW;
        bits = static_cast<std::uint64_t>(v);
        return S_OK;
    };
    auto checkUnsigned = [&](std::uint64_t v) {
        if (v > MaxOf(to)) return DISP_E_OVERFLOW;
        bits = v;
        return S_OK;
    };
    auto fromReal = [&](double x) -> HRESULT {
        if (std::isnan(x)) return DISP_E_OVERFLOW;
        const double r = RoundHalfEven(x);
        if (r < -9223372036854775808.0 || r >= 18446744073709551616.0) return DISP_E_OVERFLOW;
        if (r < 0) {
            if (r < -9223372036854775808.0) return DISP_E_OVERFLOW;
            return checkSigned(static_cast<std::int64_t>(r));
        }
        return checkUnsigned(static_cast<std::uint64_t>(r));
    };
    switch (s.kind) {
        case Kind::Empty:
            bits = 0;
            return S_OK;
        case Kind::Signed:
        case Kind::Unsigned:
            // Same width: Automation reinterprets the bits instead of range checking.
            if (s.width == to.width) {
                bits = s.kind == Kind::Signed ? static_cast<std::uint64_t>(s.i) : s.u;
                return S_OK;
            }
            return s.kind == Kind::Signed
                       ? (s.i < 0 ? checkSigned(s.i)
                                  : checkUnsigned(static_cast<std::uint64_t>(s.i)))
                       : checkUnsigned(s.u);
        case Kind::Real:
        case Kind::Date:
            return fromReal(s.d);
        case Kind::Cy: {
            const std::int64_t whole = s.i / 10000;
            const std::int64_t rest = s.i % 10000;
            std::int64_t r = whole;
            if (rest > 5000 || (rest == 5000 && (whole & 1))) ++r;
            if (rest < -5000 || (rest == -5000 && (whole & 1))) --r;
            return r < 0 ? checkSigned(r) : checkUnsigned(static_cast<std::uint64_t>(r));
        }
        case Kind::Bool:
            // VARIANT_TRUE keeps its value -1; unsigned destinations wrap, as the
            // Automation VarUIxFromBool functions do.
            bits = static_cast<std::uint64_t>(s.i);
            if (!to.isSigned && to.width < 8) bits &= MaxOf(to);
            return to.isSigned ? checkSigned(s.i) : S_OK;
        case Kind::String: {
            const auto n = ParseNumber(TextOf(s.s));
            if (!s.s || !n) return DISP_E_TYPEMISMATCH;
            if (n->exact) {
                if (!n->negative) return checkUnsigned(n->magnitude);
                if (n->magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1)
                    return DISP_E_OVERFLOW;
                return checkSigned(static_cast<std::int64_t>(0 - n->magnitude));
            }
            return fromReal(n->value);
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToDouble(const Scalar& s, double& out) {
    switch (s.kind) {
        case Kind::Empty:
            out = 0;
            return S_OK;
        case Kind::Signed:
            out = static_cast<double>(s.i);
            return S_OK;
        case Kind::Unsigned:
            out = static_cast<double>(s.u);
            return S_OK;
        case Kind::Real:
        case Kind::Date:
            out = s.d;
            return S_OK;
        case Kind::Cy:
            out = static_cast<double>(s.i) / 10000.0;
            return S_OK;
        case Kind::Bool:
            out = static_cast<double>(s.i);
            return S_OK;
        case Kind::String: {
            const auto n = ParseNumber(TextOf(s.s));
            if (!s.s || !n) return DISP_E_TYPEMISMATCH;
            out = n->value;
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

struct Options {
    LCID lcid;
    USHORT flags;
};

using Writer = HRESULT (*)(const Scalar&, const Options&, VARIANT&);

HRESULT WriteInteger(const Scalar& s, VARTYPE vt, VARIANT& out) {
    const IntRange* r = IntTypeOf(vt);
    std::uint64_t bits = 0;
    const HRESULT hr = ToInteger(s, *r, bits);
    if (FAILED(hr)) return hr;
    std::memcpy(&out.llVal, &bits, static_cast<std::size_t>(r->width));
    return S_OK;
}

template <VARTYPE VT>
HRESULT IntegerWriter(const Scalar& s, const Options&, VARIANT& out) {
    return WriteInteger(s, VT, out);
}

HRESULT WriteR4(const Scalar& s, const Options&, VARIANT& out) {
    double d = 0;
    const HRESULT hr = ToDouble(s, d);
    if (FAILED(hr)) return hr;
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        // Values that round to FLT_MAX are still representable.
        if (std::fabs(static_cast<float>(d)) > FLT_MAX) return DISP_E_OVERFLOW;
    }
    out.fltVal = static_cast<float>(d);
    return S_OK;
}

HRESULT WriteR8(const Scalar& s, const Options&, VARIANT& out) {
    return ToDouble(s, out.dblVal);
}

HRESULT WriteDate(const Scalar& s, const Options&, VARIANT& out) {
    if (s.kind == Kind::String) {
        const auto d = s.s ? ParseDate(TextOf(s.s)) : std::nullopt;
        if (!d) return DISP_E_TYPEMISMATCH;
        out.date = *d;
        return S_OK;
    }
    double d = 0;
    const HRESULT hr = ToDouble(s, d);
    if (FAILED(hr)) return hr;
    if (!(d >= DATE_MIN && d <= DATE_MAX)) return DISP_E_OVERFLOW;
    out.date = d;
    return S_OK;
}

HRESULT WriteCy(const Scalar& s, const Options&, VARIANT& out) {
    constexpr std::int64_t kLimit = INT64_MAX / 10000;
    if (s.kind == Kind::Signed) {
        if (s.i > kLimit || s.i < -kLimit) return DISP_E_OVERFLOW;
        out.cyVal.int64 = s.i * 10000;
        return S_OK;
    }
    if (s.kind == Kind::Unsigned) {
        if (s.u > static_cast<std::uint64_t>(kLimit)) return DISP_E_OVERFLOW;
        out.cyVal.int64 = static_cast<std::int64_t>(s.u) * 10000;
        return S_OK;
    }
    if (s.kind == Kind::Cy) {
        out.cyVal.int64 = s.i;
        return S_OK;
    }
    double d = 0;
    const HRESULT hr = ToDouble(s, d);
    if (FAILED(hr)) return hr;
    const double scaled = RoundHalfEven(d * 10000.0);
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0))
        return DISP_E_OVERFLOW;
    out.cyVal.int64 = static_cast<std::int64_t>(scaled);
    return S_OK;
}

std::optional<bool> BoolFromText(const std::u16string& text) {
    if (text == u"#TRUE#") return true;
    if (text == u"#FALSE#") return false;
    std::u16string upper;
    for (char16_t c : text) upper += (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if (upper == u"TRUE") return true;
    if (upper == u"FALSE") return false;
    const auto n = ParseNumber(text);
    if (!n) return std::nullopt;
    return n->value != 0;
}

HRESULT WriteBool(const Scalar& s, const Options&, VARIANT& out) {
    bool value = false;
    switch (s.kind) {
        case Kind::Empty:
            value = false;
            break;
        case Kind::Signed:
        case Kind::Cy:
            value = s.i != 0;
            break;
        case Kind::Unsigned:
            value = s.u != 0;
            break;
        case Kind::Real:
        case Kind::Date:
            value = s.d != 0;
            break;
        case Kind::Bool:
            out.boolVal = static_cast<VARIANT_BOOL>(s.i);  // copied unchanged
            return S_OK;
        case Kind::String: {
            const auto b = s.s ? BoolFromText(TextOf(s.s)) : std::nullopt;
            if (!b) return DISP_E_TYPEMISMATCH;
            value = *b;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WriteBstr(const Scalar& s, const Options& o, VARIANT& out) {
    std::string text;
    switch (s.kind) {
        case Kind::Empty:
            break;
        case Kind::Signed:
            text = std::to_string(s.i);
            break;
        case Kind::Unsigned:
            text = std::to_string(s.u);
            break;
        case Kind::Real:
            text = FormatReal(s.d, s.single ? 7 : 15);
            break;
        case Kind::Date: {
            auto date = FormatDate(s.d);
            if (!date) return DISP_E_OVERFLOW;
            text = std::move(*date);
            break;
        }
        case Kind::Cy:
            text = FormatCy(s.i);
            break;
        case Kind::Bool:
            if (o.flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
                text = s.i ? "True" : "False";
            else
                text = std::to_string(s.i);
            break;
        case Kind::String: {
            out.bstrVal = SysAllocStringLen(s.s, SysStringLen(s.s));
            return out.bstrVal ? S_OK : E_OUTOFMEMORY;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    const std::u16string wide = WideFromNarrow(text);
    out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT WriteEmpty(const Scalar& s, const Options&, VARIANT&) {
    return s.kind == Kind::Null || s.kind == Kind::Error || s.kind == Kind::Other
               ? DISP_E_TYPEMISMATCH
               : S_OK;
}

HRESULT WriteNull(const Scalar& s, const Options&, VARIANT&) {
    return s.kind == Kind::Error || s.kind == Kind::Other ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT WriteError(const Scalar& s, const Options&, VARIANT& out) {
    if (s.kind != Kind::Error) return DISP_E_TYPEMISMATCH;
    out.scode = static_cast<SCODE>(s.i);
    return S_OK;
}

struct Target {
    VARTYPE vt;
    Writer write;
};

constexpr Target kTargets[] = {
    {VT_EMPTY, WriteEmpty},
    {VT_NULL, WriteNull},
    {VT_I1, IntegerWriter<VT_I1>},
    {VT_UI1, IntegerWriter<VT_UI1>},
    {VT_I2, IntegerWriter<VT_I2>},
    {VT_UI2, IntegerWriter<VT_UI2>},
    {VT_I4, IntegerWriter<VT_I4>},
    {VT_UI4, IntegerWriter<VT_UI4>},
    {VT_INT, IntegerWriter<VT_INT>},
    {VT_UINT, IntegerWriter<VT_UINT>},
    {VT_I8, IntegerWriter<VT_I8>},
    {VT_UI8, IntegerWriter<VT_UI8>},
    {VT_R4, WriteR4},
    {VT_R8, WriteR8},
    {VT_DATE, WriteDate},
    {VT_CY, WriteCy},
    {VT_BOOL, WriteBool},
    {VT_BSTR, WriteBstr},
    {VT_ERROR, WriteError},
};

const Target* TargetOf(VARTYPE vt) {
    for (const auto& t : kTargets)
        if (t.vt == vt) return &t;
    return nullptr;
}

// A DATE that names no day (NaN, the infinities, beyond 31 Dec 9999) gives no value to
// any other type; only destinations that discard the value accept it.
bool IsOutOfRangeDate(const Scalar& s) {
    return s.kind == Kind::Date && !IsRepresentableDate(s.d);
}

// Destinations a VARIANT may hold but that no scalar coerces to.
bool IsUncoercibleTarget(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_VARIANT || vt == VT_RECORD ||
           vt == VT_DECIMAL;
}

bool IsKnownSource(VARTYPE vt) {
    return TargetOf(vt) != nullptr || vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_DECIMAL ||
           vt == VT_RECORD;
}

HRESULT ConvertArray(VARIANT& result, const VARIANT& src, VARTYPE vt) {
    if (src.vt == vt) return VariantCopy(&result, &src);
    if (src.vt == (VT_ARRAY | VT_UI1) && vt == VT_BSTR) {
        // The raw bytes of the array become the string's bytes.
        SAFEARRAY* psa = src.parray;
        if (!psa || SafeArrayGetDim(psa) != 1) return DISP_E_TYPEMISMATCH;
        result.bstrVal =
            SysAllocStringByteLen(static_cast<LPCSTR>(psa->pvData), psa->rgsabound[0].cElements);
        if (!result.bstrVal) return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT StringToByteArray(VARIANT& result, const VARIANT& src) {
    const UINT bytes = SysStringByteLen(src.bstrVal);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, bytes);
    if (!psa) return E_OUTOFMEMORY;
    if (bytes) std::memcpy(psa->pvData, src.bstrVal, bytes);
    result.vt = VT_ARRAY | VT_UI1;
    result.parray = psa;
    return S_OK;
}

}  // namespace

HRESULT ChangeType(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    VARIANT direct;
    VariantInit(&direct);
    if (src->vt & VT_BYREF) {
        const HRESULT hr = VariantCopyInd(&direct, src);
        if (FAILED(hr)) return hr;
        src = &direct;
    }
    const VARTYPE base = vt & VT_TYPEMASK;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = S_OK;
    if ((vt & (VT_BYREF | VT_VECTOR | VT_RESERVED)) ||
        (!TargetOf(base) && !IsUncoercibleTarget(base))) {
        hr = DISP_E_BADVARTYPE;
    } else if ((src->vt & VT_ARRAY) || (vt & VT_ARRAY)) {
        if (vt == (VT_ARRAY | VT_UI1) && src->vt == VT_BSTR)
            hr = StringToByteArray(result, *src);
        else
            hr = (src->vt & VT_ARRAY) ? ConvertArray(result, *src, vt) : DISP_E_TYPEMISMATCH;
    } else if (!IsKnownSource(src->vt)) {
        hr = DISP_E_BADVARTYPE;
    } else if (src->vt == vt) {
        hr = VariantCopy(&result, src);
    } else if (IsUncoercibleTarget(base) || src->vt == VT_DECIMAL || src->vt == VT_RECORD ||
               src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        const Scalar s = ReadScalar(*src);
        hr = IsOutOfRangeDate(s) && vt != VT_EMPTY && vt != VT_NULL
                 ? DISP_E_OVERFLOW
                 : TargetOf(vt)->write(s, Options{lcid, flags}, result);
        if (SUCCEEDED(hr)) result.vt = vt;
    }
    VariantClear(&direct);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The destination is replaced only on success; result owns its value, so the
    // destination may be the source itself.
    const HRESULT cleared = VariantClear(dest);
    if (FAILED(cleared)) {
        VariantClear(&result);
        return cleared;
    }
    *dest = result;
    return S_OK;
}

}  // namespace corvane::platform::coerce

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    return corvane::platform::coerce::ChangeType(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags,
                                                 vt);
}

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt) {
    return corvane::platform::coerce::ChangeType(pvargDest, pvarSrc, lcid, wFlags, vt);
}
