// VARIANT life cycle: initialisation, clearing and deep copies.
#include <cstring>
#include <iterator>

#include "oleauto.h"

namespace {

bool IsValidBaseType(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_RECORD:
            return true;
        default:
            return false;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    if (vt & VT_VECTOR) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & (VT_ARRAY | VT_BYREF))
        return IsValidBaseType(base) && base != VT_EMPTY && base != VT_NULL;
    return IsValidBaseType(base) && base != VT_VARIANT;
}

}  // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!IsValidVariantType(pvarg->vt)) return DISP_E_BADVARTYPE;
    if (pvarg->vt & VT_ARRAY) {
        if (!(pvarg->vt & VT_BYREF)) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        }
    } else if (!(pvarg->vt & VT_BYREF)) {
        switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal) pvarg->punkVal->Release();
                break;
            default:
                break;
        }
    }
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if ((pvargSrc->vt & VT_ARRAY) && !(pvargSrc->vt & VT_BYREF)) {
        const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
        if (FAILED(hr)) return hr;
    } else if (pvargSrc->vt == VT_BSTR && pvargSrc->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                             SysStringByteLen(pvargSrc->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) && pvargSrc->punkVal) {
        pvargSrc->punkVal->AddRef();
    }
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (!pvargSrc->byref) return E_INVALIDARG;
    VARIANT direct;
    VariantInit(&direct);
    const VARTYPE vt = pvargSrc->vt & ~VT_BYREF;
    if (vt == VT_VARIANT) {
        // One level of indirection, as Automation allows: a reference to another
        // VT_BYREF|VT_VARIANT (itself included) could loop, so it is refused and the
        // recursion below ends after one step.
        const VARIANT* target = pvargSrc->pvarVal;
        if (target->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        return VariantCopyInd(pvarDest, target);
    }
    if (vt == VT_DECIMAL) {
        direct.decVal = *pvargSrc->pdecVal;
    } else if (vt & VT_ARRAY) {
        direct.parray = *pvargSrc->pparray;
    } else {
        static constexpr std::size_t kSizes[] = {
            0, 0, 2, 4, 4, 8, 8, 8, sizeof(BSTR), sizeof(void*), 4, 2, 0, sizeof(void*), 16, 0,
            1, 1, 2, 4, 8, 8, 4, 4};
        if (vt >= std::size(kSizes) || kSizes[vt] == 0) return DISP_E_BADVARTYPE;
        std::memcpy(&direct.llVal, pvargSrc->byref, kSizes[vt]);
    }
    direct.vt = vt;
    // direct borrows the referenced value; VariantCopy makes the owned copy.
    return VariantCopy(pvarDest, &direct);
}
