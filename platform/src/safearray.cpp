// SAFEARRAYs. The descriptor is preceded by a 16-byte hidden header holding the element
// VARTYPE (in its last 4 bytes) or the element IID; bounds are kept in reverse order of
// creation, so rgsabound[i] belongs to rgIndices[i] (rgIndices[0] is the rightmost).
#include <cstdlib>
#include <cstring>
#include <utility>

#include "corvane/platform/Variant.h"
#include "oleauto.h"

namespace {

constexpr std::size_t kHidden = 16;

ULONG ElementSize(VARTYPE vt) {
    if (const std::size_t n = corvane::platform::ScalarSize(vt)) return static_cast<ULONG>(n);
    switch (vt) {
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        case VT_VARIANT:
            return sizeof(VARIANT);
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        default:
            return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return FADF_HAVEVARTYPE | FADF_BSTR;
        case VT_VARIANT:
            return FADF_HAVEVARTYPE | FADF_VARIANT;
        case VT_UNKNOWN:
            return FADF_HAVEIID | FADF_UNKNOWN;
        case VT_DISPATCH:
            return FADF_HAVEIID | FADF_DISPATCH;
        default:
            return FADF_HAVEVARTYPE;
    }
}

BYTE* HiddenOf(SAFEARRAY* psa) {
    return reinterpret_cast<BYTE*>(psa) - kHidden;
}

// Element count of all dimensions, or false when it (or its byte size) would not fit.
bool CheckedByteSize(const SAFEARRAYBOUND* bounds, UINT cDims, ULONG elementSize,
                     std::size_t& bytes) {
    unsigned long long n = 1;
    for (UINT d = 0; d < cDims; ++d) {
        n *= bounds[d].cElements;
        if (n > 0xFFFFFFFFull) return false;
    }
    if (n * elementSize > 0xFFFFFFFFull) return false;  // the data size is a 32-bit count
    bytes = static_cast<std::size_t>(n * elementSize);
    return true;
}

ULONG ElementCount(const SAFEARRAY* psa) {
    ULONG n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) n *= psa->rgsabound[d].cElements;
    return n;
}

SAFEARRAY* AllocDescriptor(UINT cDims, VARTYPE vt) {
    const std::size_t size = kHidden + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<BYTE*>(std::calloc(1, size));
    if (!block) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHidden);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = ElementSize(vt);
    if (psa->fFeatures & FADF_HAVEIID) {
        const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
        std::memcpy(block, &iid, sizeof(IID));
    } else {
        const DWORD stored = vt;
        std::memcpy(block + kHidden - sizeof(DWORD), &stored, sizeof stored);
    }
    return psa;
}

void ReleaseElements(SAFEARRAY* psa) {
    if (!psa->pvData) return;
    const ULONG n = ElementCount(psa);
    if (psa->fFeatures & FADF_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i) SysFreeString(std::exchange(items[i], nullptr));
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = 0; i < n; ++i) VariantClear(&items[i]);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* items = static_cast<IUnknown**>(psa->pvData);
        for (ULONG i = 0; i < n; ++i)
            if (items[i]) std::exchange(items[i], nullptr)->Release();
    }
}

// Offset in elements of rgIndices, or -1 when an index lies outside its bounds.
long long OffsetOf(const SAFEARRAY* psa, const LONG* rgIndices) {
    long long offset = 0;
    long long stride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        const long long rel = static_cast<long long>(rgIndices[d]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<long long>(b.cElements)) return -1;
        offset += rel * stride;
        stride *= b.cElements;
    }
    return offset;
}

// Copies one element into fresh storage, deep for strings, variants and interfaces.
HRESULT CopyElement(const SAFEARRAY* psa, const void* from, void* to) {
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR s = *static_cast<const BSTR*>(from);
        BSTR copy =
            s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
        if (s && !copy) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(to) = copy;
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(to));
        return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    }
    std::memcpy(to, from, psa->cbElements);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* p = *static_cast<IUnknown* const*>(from);
        if (p) p->AddRef();
    }
    return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (cDims == 0 || cDims > 0xFFFF || !rgsabound || ElementSize(vt) == 0) return nullptr;
    std::size_t bytes = 0;
    if (!CheckedByteSize(rgsabound, cDims, ElementSize(vt), bytes)) return nullptr;
    SAFEARRAY* psa = AllocDescriptor(cDims, vt);
    if (!psa) return nullptr;
    for (UINT d = 0; d < cDims; ++d) psa->rgsabound[d] = rgsabound[cDims - 1 - d];
    psa->pvData = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (!psa->pvData) {
        std::free(HiddenOf(psa));
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    SAFEARRAY* psa = SafeArrayCreate(vt, 1, &bound);
    if (psa) psa->fFeatures |= FADF_CREATEVECTOR;
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa);
    std::free(psa->pvData);
    std::free(HiddenOf(psa));
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        DWORD stored = 0;
        std::memcpy(&stored, HiddenOf(psa) + kHidden - sizeof(DWORD), sizeof stored);
        *pvt = static_cast<VARTYPE>(stored);
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv) return E_INVALIDARG;
    const long long offset = OffsetOf(psa, rgIndices);
    if (offset < 0) return DISP_E_BADINDEX;
    const BYTE* from = static_cast<const BYTE*>(psa->pvData) + offset * psa->cbElements;
    return CopyElement(psa, from, pv);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    const long long offset = OffsetOf(psa, rgIndices);
    if (offset < 0) return DISP_E_BADINDEX;
    BYTE* to = static_cast<BYTE*>(psa->pvData) + offset * psa->cbElements;
    // Strings and interfaces are passed by value, everything else by address.
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR s = static_cast<BSTR>(pv);
        BSTR copy =
            s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
        if (s && !copy) return E_OUTOFMEMORY;
        SysFreeString(*reinterpret_cast<BSTR*>(to));
        *reinterpret_cast<BSTR*>(to) = copy;
        return S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* p = static_cast<IUnknown*>(pv);
        if (p) p->AddRef();
        IUnknown*& slot = *reinterpret_cast<IUnknown**>(to);
        if (slot) slot->Release();
        slot = p;
        return S_OK;
    }
    if (!pv) return E_INVALIDARG;
    if (psa->fFeatures & FADF_VARIANT) {
        return VariantCopy(reinterpret_cast<VARIANT*>(to), static_cast<VARIANT*>(pv));
    }
    std::memcpy(to, pv, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psa, &vt))) return E_INVALIDARG;
    SAFEARRAY* copy = AllocDescriptor(psa->cDims, vt);
    if (!copy) return E_OUTOFMEMORY;
    copy->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
    copy->cbElements = psa->cbElements;
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    const ULONG n = ElementCount(psa);
    copy->pvData = std::calloc(n * static_cast<std::size_t>(psa->cbElements) + 1, 1);
    if (!copy->pvData) {
        std::free(HiddenOf(copy));
        return E_OUTOFMEMORY;
    }
    for (ULONG i = 0; i < n; ++i) {
        const HRESULT hr =
            CopyElement(psa, static_cast<const BYTE*>(psa->pvData) + i * psa->cbElements,
                        static_cast<BYTE*>(copy->pvData) + i * psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}
