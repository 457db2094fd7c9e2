// Arbitrary bytes as VARIANTs (scalars, strings, arrays and references), each converted
// to every VARTYPE, copied with and without indirection and compared. References point
// only at values the harness built from the input (its scalar cells, its strings and
// arrays, or another of its VARIANTs, itself included), so every pointer is valid.
// Nothing may crash, loop or leak; a success must carry the requested type.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvane/platform/Variant.h"
#include "oleauto.h"

namespace {

constexpr std::size_t kSlots = 4;

// Every base type a VARIANT may carry, and a few it may not.
constexpr VARTYPE kBaseTypes[] = {
    VT_EMPTY,   VT_NULL, VT_I2,       VT_I4,    VT_R4,   VT_R8,      VT_CY,
    VT_DATE,    VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN,
    VT_DECIMAL, VT_I1,   VT_UI1,      VT_UI2,   VT_UI4,  VT_I8,      VT_UI8,
    VT_INT,     VT_UINT, VT_RECORD,   15,       0x24,    0x48,       0xFFF};

// Bytes each scalar base type occupies in the value union and in a reference's cell.
using corvane::platform::ScalarSize;

// What the harness owns: scalar cells (16-byte aligned, so a reference to a DECIMAL or a
// double is aligned), strings, arrays and the pointers references point at.
struct TArena {
    std::array<VARIANT, kSlots> slots{};
    std::array<std::array<std::uint64_t, 2>, kSlots> cells{};
    std::array<BSTR, kSlots> strings{};
    std::array<SAFEARRAY*, kSlots> arrays{};
    std::array<IUnknown*, kSlots> objects{};

    ~TArena() {
        for (VARIANT& v : slots) {
            if (v.vt & VT_BYREF) continue;
            // An array of an element type no VARIANT may hold is still the harness's.
            if (FAILED(VariantClear(&v)) && (v.vt & VT_ARRAY)) SafeArrayDestroy(v.parray);
        }
        for (BSTR s : strings) SysFreeString(s);
        for (SAFEARRAY* a : arrays) SafeArrayDestroy(a);
    }
};

// memcpy may not be handed the null data() of an empty vector.
void CopyBytes(void* to, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
}

BSTR MakeString(FuzzedDataProvider& in) {
    const std::string bytes = in.ConsumeRandomLengthString(64);
    return SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
}

SAFEARRAY* MakeArray(FuzzedDataProvider& in, VARTYPE element) {
    const ULONG count = in.ConsumeIntegralInRange<ULONG>(0, 8);
    SAFEARRAY* psa = SafeArrayCreateVector(element, in.ConsumeIntegral<int8_t>(), count);
    if (!psa) return nullptr;
    // Raw bytes only where any bit pattern is a valid element; others stay zeroed.
    if (ScalarSize(element) != 0 || element == VT_DECIMAL) {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(count * psa->cbElements);
        CopyBytes(psa->pvData, bytes);
    } else if (element == VT_BSTR) {
        auto* strings = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = 0; i < count && in.ConsumeBool(); ++i) strings[i] = MakeString(in);
    }
    return psa;
}

void Build(FuzzedDataProvider& in, TArena& arena, std::size_t k) {
    VARIANT& v = arena.slots[k];
    const VARTYPE base = in.PickValueInArray(kBaseTypes);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const bool byRef = flags & 1, array = flags & 2;
    if ((flags & 0x1C) == 0x1C) {
        // Never a valid VARIANT: nothing is allocated for it.
        v.vt = static_cast<VARTYPE>(base | VT_VECTOR | (byRef ? VT_BYREF : 0));
        return;
    }
    if (array) {
        arena.arrays[k] = MakeArray(in, base);
        if (byRef) {
            v.pparray = &arena.arrays[k];
        } else {
            v.parray = arena.arrays[k];
            arena.arrays[k] = nullptr;  // the VARIANT owns it now
        }
    } else if (byRef) {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(16);
        CopyBytes(arena.cells[k].data(), bytes);
        if (base == VT_VARIANT) {
            v.pvarVal =
                in.ConsumeBool() ? nullptr : &arena.slots[in.ConsumeIntegral<uint8_t>() % kSlots];
        } else if (base == VT_BSTR) {
            arena.strings[k] = MakeString(in);
            v.pbstrVal = &arena.strings[k];
        } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
            v.ppunkVal = &arena.objects[k];
        } else {
            v.byref = arena.cells[k].data();
        }
    } else if (base == VT_BSTR) {
        v.bstrVal = in.ConsumeBool() ? nullptr : MakeString(in);
    } else if (base == VT_DECIMAL) {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sizeof(DECIMAL));
        CopyBytes(&v.decVal, bytes);
    } else if (ScalarSize(base) != 0) {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(ScalarSize(base));
        CopyBytes(&v.llVal, bytes);
    }
    v.vt = static_cast<VARTYPE>(base | (byRef ? VT_BYREF : 0) | (array ? VT_ARRAY : 0));
}

void Convert(const VARIANT& src, USHORT flags, VARTYPE to) {
    VARIANT dst;
    VariantInit(&dst);
    const HRESULT hr = VariantChangeTypeEx(&dst, &src, 0x409, flags, to);
    if (SUCCEEDED(hr) && dst.vt != to) std::abort();
    if (FAILED(hr) && dst.vt != VT_EMPTY) std::abort();  // the destination is untouched
    if (FAILED(VariantClear(&dst))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    TArena arena;
    for (std::size_t k = 0; k < kSlots; ++k) Build(in, arena, k);
    const USHORT flags = in.ConsumeIntegral<USHORT>();
    const VARIANT& src = arena.slots[0];

    for (const VARTYPE base : kBaseTypes)
        for (const int modifier :
             {0, int{VT_ARRAY}, int{VT_BYREF}, int{VT_VECTOR}, int{VT_RESERVED}})
            Convert(src, flags, static_cast<VARTYPE>(base | modifier));
    Convert(src, flags, 0xFFFF);

    VARIANT copy;
    VariantInit(&copy);
    if (SUCCEEDED(VariantCopyInd(&copy, &src))) {
        if (copy.vt & VT_BYREF) std::abort();
        // In place: the destination is the source.
        VariantChangeType(&copy, &copy, flags,
                          static_cast<VARTYPE>(in.PickValueInArray(kBaseTypes)));
    }
    VariantClear(&copy);
    VariantInit(&copy);
    if (SUCCEEDED(VariantCopy(&copy, &src))) VariantClear(&copy);

    const HRESULT order = VarCmp(&arena.slots[0], &arena.slots[1], 0x409, flags & NORM_IGNORECASE);
    const HRESULT reverse =
        VarCmp(&arena.slots[1], &arena.slots[0], 0x409, flags & NORM_IGNORECASE);
    if ((order == VARCMP_LT) != (reverse == VARCMP_GT) ||
        (order == VARCMP_EQ) != (reverse == VARCMP_EQ))
        std::abort();
    return 0;
}
