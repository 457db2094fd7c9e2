// Task memory, argument checks, the requested-type rule and value equality.
#include <cstring>

#include "corvane/platform/Text.h"
#include "opcserver/OpcHelpers.h"

namespace corvane::opc {

void* OpcAlloc(std::size_t bytes) {
    void* p = CoTaskMemAlloc(bytes);
    if (!p) throw EOpcError(E_OUTOFMEMORY);
    return p;
}

void* OpcAllocZero(std::size_t bytes) {
    void* p = OpcAlloc(bytes);
    std::memset(p, 0, bytes);
    return p;
}

LPWSTR OpcWideCopy(std::string_view text) {
    const std::u16string wide = platform::WideFromNarrow(text);
    auto* p = static_cast<LPWSTR>(OpcAlloc(2 * wide.size() + 2));
    std::memcpy(p, wide.data(), 2 * wide.size());
    p[wide.size()] = 0;
    return p;
}

std::string OpcNarrow(LPCWSTR text) {
    return platform::NarrowFromWide(text);
}

void CheckCountAndArray(DWORD count, const void* array) {
    if (count == 0 || !array) throw EOpcError(E_INVALIDARG);
}

void CheckRange(long long value, long long low, long long high) {
    if (value < low || value > high) throw EOpcError(E_INVALIDARG);
}

bool IsAcceptedRequestedType(VARTYPE vt) {
    switch (vt & ~VT_ARRAY) {
        case VT_EMPTY:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

void CheckRequestedType(VARTYPE vt) {
    if (!IsAcceptedRequestedType(vt)) throw EOpcError(OPC_E_BADTYPE);
}

namespace {

bool SameShape(SAFEARRAY* a, SAFEARRAY* b) {
    if (SafeArrayGetDim(a) != 1 || SafeArrayGetDim(b) != 1) return false;
    return a->rgsabound[0].cElements == b->rgsabound[0].cElements &&
           a->rgsabound[0].lLbound == b->rgsabound[0].lLbound && a->cbElements == b->cbElements;
}

bool BstrEqual(BSTR a, BSTR b) {
    const UINT n = SysStringByteLen(a);
    return n == SysStringByteLen(b) && (n == 0 || std::memcmp(a, b, n) == 0);
}

bool ArraysEqual(VARTYPE vt, SAFEARRAY* a, SAFEARRAY* b) {
    if (!a || !b) return a == b;
    if (!SameShape(a, b)) return false;
    const ULONG n = a->rgsabound[0].cElements;
    if ((vt & VT_TYPEMASK) == VT_BSTR) {
        for (ULONG i = 0; i < n; ++i)
            if (!BstrEqual(static_cast<BSTR*>(a->pvData)[i], static_cast<BSTR*>(b->pvData)[i]))
                return false;
        return true;
    }
    if ((vt & VT_TYPEMASK) == VT_VARIANT) {
        // Byte equality would compare the pointers inside the variants.
        for (ULONG i = 0; i < n; ++i)
            if (!ValuesEqual(static_cast<VARIANT*>(a->pvData)[i],
                             static_cast<VARIANT*>(b->pvData)[i]))
                return false;
        return true;
    }
    return n == 0 ||
           std::memcmp(a->pvData, b->pvData, static_cast<std::size_t>(n) * a->cbElements) == 0;
}

}  // namespace

bool ValuesEqual(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt & VT_ARRAY) {
        if (a.vt & VT_BYREF)
            return a.pparray && b.pparray && ArraysEqual(a.vt, *a.pparray, *b.pparray);
        return ArraysEqual(a.vt, a.parray, b.parray);
    }
    switch (a.vt) {
        // Two nulls are no change, though VarCmp answers VARCMP_NULL for them.
        case VT_NULL:
        case VT_EMPTY:
            return true;
        // Integers of one type are equal exactly when VarCmp says so; comparing them
        // directly spares the update tick two variant copies per polled item.
        case VT_BOOL:
        case VT_I2:
            return a.iVal == b.iVal;
        case VT_I1:
        case VT_UI1:
            return a.bVal == b.bVal;
        case VT_UI2:
            return a.uiVal == b.uiVal;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return a.ulVal == b.ulVal;
        case VT_I8:
        case VT_UI8:
            return a.ullVal == b.ullVal;
        default:
            break;
    }
    return VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) ==
           VARCMP_EQ;
}

}  // namespace corvane::opc
