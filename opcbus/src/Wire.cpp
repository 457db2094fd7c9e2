#include "opcbus/Wire.h"

#include "corvane/platform/Variant.h"

#include <bit>
#include <cstring>
#include <limits>

#include "objbase.h"

namespace corvane::opcbus {

static_assert(std::endian::native == std::endian::little, "the encoding copies host integers");

namespace {

constexpr std::uint32_t kNullString = 0xFFFFFFFFu;

bool IsArrayBase(VARTYPE base) {
    return platform::ScalarSize(base) != 0 || base == VT_BSTR || base == VT_VARIANT;
}

// The least number of bytes one element of this type occupies on the wire.
std::size_t MinWireSize(VARTYPE base) {
    if (base == VT_BSTR) return 4;
    if (base == VT_VARIANT) return 2;
    return platform::ScalarSize(base);
}

}  // namespace

bool CanCross(VARTYPE vt) {
    if (vt == VT_EMPTY || vt == VT_NULL || vt == VT_BSTR) return true;
    if (vt & VT_ARRAY) return (vt & ~VT_ARRAY) < 0x1000 && IsArrayBase(vt & ~VT_ARRAY);
    return platform::ScalarSize(vt) != 0;
}

// --- writer ---

void TWriter::Put(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    d_.insert(d_.end(), b, b + n);
}
void TWriter::U16(std::uint16_t v) {
    Put(&v, 2);
}
void TWriter::U32(std::uint32_t v) {
    Put(&v, 4);
}
void TWriter::U64(std::uint64_t v) {
    Put(&v, 8);
}
void TWriter::F32(float v) {
    Put(&v, 4);
}
void TWriter::F64(double v) {
    Put(&v, 8);
}
void TWriter::Guid(const GUID& g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    Put(g.Data4, 8);
}

void TWriter::Str(const WCHAR* s) {
    if (!s) {
        U32(kNullString);
        return;
    }
    std::size_t n = 0;
    while (s[n]) ++n;
    Str(s, n);
}

void TWriter::Str(const WCHAR* s, std::size_t chars) {
    if (!s) {
        U32(kNullString);
        return;
    }
    U32(static_cast<std::uint32_t>(chars));
    Put(s, chars * sizeof(WCHAR));
}

void TWriter::Bytes(const void* data, std::size_t size) {
    U32(static_cast<std::uint32_t>(size));
    if (size) Put(data, size);
}

HRESULT TWriter::Variant(const VARIANT& v) {
    const std::size_t mark = d_.size();
    const HRESULT hr = VariantAt(v, 0);
    if (FAILED(hr)) d_.resize(mark);
    return hr;
}

HRESULT TWriter::Element(VARTYPE base, const void* element, int depth) {
    if (base == VT_BSTR) {
        const BSTR s = *static_cast<const BSTR*>(element);
        Str(s, s ? SysStringLen(s) : 0);
        return S_OK;
    }
    if (base == VT_VARIANT) return VariantAt(*static_cast<const VARIANT*>(element), depth + 1);
    Put(element, platform::ScalarSize(base));
    return S_OK;
}

HRESULT TWriter::VariantAt(const VARIANT& v, int depth) {
    if (depth > kMaxVariantDepth || !CanCross(v.vt)) return DISP_E_BADVARTYPE;
    U16(v.vt);
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) return S_OK;
    if (v.vt == VT_BSTR) {
        Str(v.bstrVal, v.bstrVal ? SysStringLen(v.bstrVal) : 0);
        return S_OK;
    }
    if (!(v.vt & VT_ARRAY)) {
        Put(&v.llVal, platform::ScalarSize(v.vt));
        return S_OK;
    }
    const SAFEARRAY* sa = v.parray;
    const VARTYPE base = v.vt & ~VT_ARRAY;
    if (!sa || sa->cDims == 0 || sa->cDims > kMaxArrayDims) return DISP_E_BADVARTYPE;
    U16(sa->cDims);
    std::uint64_t count = 1;
    for (USHORT d = 0; d < sa->cDims; ++d) {
        U32(sa->rgsabound[d].cElements);
        I32(sa->rgsabound[d].lLbound);
        count *= sa->rgsabound[d].cElements;
        if (count > kMaxElements) return DISP_E_BADVARTYPE;
    }
    const std::size_t size = sa->cbElements;
    const auto* data = static_cast<const std::uint8_t*>(sa->pvData);
    if (count && !data) return DISP_E_BADVARTYPE;
    for (std::uint64_t i = 0; i < count; ++i) {
        const HRESULT hr = Element(base, data + i * size, depth);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// --- reader ---

bool TReader::Take(void* out, std::size_t n) {
    if (!ok_ || n > left_) {
        ok_ = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, p_, n);
    p_ += n;
    left_ -= n;
    return true;
}

std::uint8_t TReader::U8() {
    std::uint8_t v;
    Take(&v, 1);
    return v;
}
std::uint16_t TReader::U16() {
    std::uint16_t v;
    Take(&v, 2);
    return v;
}
std::uint32_t TReader::U32() {
    std::uint32_t v;
    Take(&v, 4);
    return v;
}
std::uint64_t TReader::U64() {
    std::uint64_t v;
    Take(&v, 8);
    return v;
}
float TReader::F32() {
    float v;
    Take(&v, 4);
    return v;
}
double TReader::F64() {
    double v;
    Take(&v, 8);
    return v;
}
GUID TReader::Guid() {
    GUID g;
    g.Data1 = U32();
    g.Data2 = U16();
    g.Data3 = U16();
    Take(g.Data4, 8);
    return g;
}
FILETIME TReader::Time() {
    const std::uint64_t t = U64();
    return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

std::uint32_t TReader::Count(std::size_t minBytes, std::uint32_t max) {
    const std::uint32_t n = U32();
    if (!ok_ || n > max || (minBytes && n > left_ / minBytes)) {
        ok_ = false;
        return 0;
    }
    return n;
}

bool TReader::Str(std::u16string& out, bool& isNull) {
    out.clear();
    isNull = false;
    const std::uint32_t n = U32();
    if (!ok_) return false;
    if (n == kNullString) {
        isNull = true;
        return true;
    }
    if (n > kMaxStringChars || n > left_ / sizeof(WCHAR)) {
        ok_ = false;
        return false;
    }
    out.resize(n);
    return Take(out.data(), n * sizeof(WCHAR));
}

LPWSTR TReader::TaskStr() {
    std::u16string s;
    bool isNull = false;
    if (!Str(s, isNull) || isNull) return nullptr;
    auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(WCHAR)));
    if (!p) {
        ok_ = false;
        return nullptr;
    }
    std::memcpy(p, s.data(), s.size() * sizeof(WCHAR));
    p[s.size()] = 0;
    return p;
}

std::u16string TReader::Text() {
    std::u16string s;
    bool isNull = false;
    Str(s, isNull);
    return s;
}

std::vector<std::uint8_t> TReader::Bytes(std::uint32_t max) {
    const std::uint32_t n = Count(1, max);
    std::vector<std::uint8_t> out(n);
    if (n) Take(out.data(), n);
    return out;
}

HRESULT TReader::Variant(VARIANT& out) {
    const HRESULT hr = VariantAt(out, 0);
    if (FAILED(hr)) {
        VariantClear(&out);
        ok_ = false;
    }
    return hr;
}

bool TReader::Element(VARTYPE base, void* element, int depth) {
    if (base == VT_BSTR) {
        std::u16string s;
        bool isNull = false;
        if (!Str(s, isNull)) return false;
        if (isNull) return true;
        BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        if (!b) return false;
        *static_cast<BSTR*>(element) = b;
        return true;
    }
    if (base == VT_VARIANT) return SUCCEEDED(VariantAt(*static_cast<VARIANT*>(element), depth + 1));
    return Take(element, platform::ScalarSize(base));
}

HRESULT TReader::VariantAt(VARIANT& out, int depth) {
    VariantClear(&out);
    const VARTYPE vt = U16();
    if (!ok_) return E_INVALIDARG;
    if (depth > kMaxVariantDepth || !CanCross(vt)) return DISP_E_BADVARTYPE;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        out.vt = vt;
        return S_OK;
    }
    if (vt == VT_BSTR) {
        std::u16string s;
        bool isNull = false;
        if (!Str(s, isNull)) return E_INVALIDARG;
        out.vt = VT_BSTR;
        out.bstrVal = isNull ? nullptr : SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        if (!isNull && !out.bstrVal) return E_OUTOFMEMORY;
        return S_OK;
    }
    if (!(vt & VT_ARRAY)) {
        out.llVal = 0;
        if (!Take(&out.llVal, platform::ScalarSize(vt))) return E_INVALIDARG;
        out.vt = vt;
        return S_OK;
    }
    const VARTYPE base = vt & ~VT_ARRAY;
    const USHORT dims = U16();
    if (!ok_ || dims == 0 || dims > kMaxArrayDims) return E_INVALIDARG;
    SAFEARRAYBOUND bounds[kMaxArrayDims];
    std::uint64_t count = 1;
    for (USHORT d = 0; d < dims; ++d) {
        // Stored order on the wire; SafeArrayCreate takes them the other way round.
        SAFEARRAYBOUND& b = bounds[dims - 1 - d];
        b.cElements = U32();
        b.lLbound = I32();
        count *= b.cElements;
        if (!ok_ || count > kMaxElements || count * MinWireSize(base) > left_) return E_INVALIDARG;
    }
    SAFEARRAY* sa = SafeArrayCreate(base, dims, bounds);
    if (!sa) return E_OUTOFMEMORY;
    out.vt = vt;
    out.parray = sa;
    auto* data = static_cast<std::uint8_t*>(sa->pvData);
    for (std::uint64_t i = 0; i < count; ++i)
        if (!Element(base, data + i * sa->cbElements, depth)) return E_INVALIDARG;
    return S_OK;
}

}  // namespace corvane::opcbus
