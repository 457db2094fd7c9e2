// BSTRs: a 32-bit byte length in front of the characters and a null character behind.
#include <cstdlib>
#include <cstring>

#include "oleauto.h"
#include "winbase.h"

namespace {

constexpr std::size_t kPrefix = sizeof(DWORD);

BSTR AllocBytes(const void* data, UINT bytes) {
    // Two extra bytes for the terminator and one more so an odd byte length still ends
    // in a whole null character.
    auto* block = static_cast<BYTE*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR) + 1));
    if (!block) return nullptr;
    const DWORD length = bytes;
    std::memcpy(block, &length, kPrefix);
    if (data)
        std::memcpy(block + kPrefix, data, bytes);
    else
        std::memset(block + kPrefix, 0, bytes);
    std::memset(block + kPrefix + bytes, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

BYTE* BlockOf(BSTR s) {
    return reinterpret_cast<BYTE*>(s) - kPrefix;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(lstrlenW(psz)));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > 0x7FFFFFF0u) return nullptr;  // the byte length would not fit its prefix
    return AllocBytes(strIn, ui * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return AllocBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    BSTR fresh = SysAllocString(psz);
    if (psz && !fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) std::free(BlockOf(bstrString));
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    DWORD length = 0;
    std::memcpy(&length, BlockOf(bstr), kPrefix);
    return length;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / static_cast<UINT>(sizeof(OLECHAR));
}
