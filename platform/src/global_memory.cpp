// HGLOBAL blocks. A handle is looked up among the live blocks before use, so a stale or
// forged handle fails instead of touching memory.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "objidl.h"
#include "winbase.h"

namespace {

struct Block {
    std::vector<BYTE> bytes;
    UINT locks = 0;
};

std::mutex gMutex;
std::unordered_map<HGLOBAL, std::unique_ptr<Block>> gBlocks;
thread_local DWORD tLastError = ERROR_SUCCESS;

Block* Find(HGLOBAL h) {
    auto it = gBlocks.find(h);
    return it == gBlocks.end() ? nullptr : it->second.get();
}

}  // namespace

DWORD GetLastError() {
    return tLastError;
}
void SetLastError(DWORD dwErrCode) {
    tLastError = dwErrCode;
}

HGLOBAL GlobalAlloc(UINT, SIZE_T dwBytes) {
    auto block = std::make_unique<Block>();
    try {
        // Always zeroed: a stream block never leaks stale heap bytes to a client.
        block->bytes.assign(dwBytes, 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto handle = reinterpret_cast<HGLOBAL>(block.get());
    std::lock_guard lock(gMutex);
    gBlocks.emplace(handle, std::move(block));
    return handle;
}

LPVOID GlobalLock(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++b->locks;
    // A zero-byte block still locks to a non-null pointer.
    return b->bytes.empty() ? static_cast<void*>(b) : b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (b->locks > 0) --b->locks;
    SetLastError(NO_ERROR);
    return b->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return b->bytes.size();
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    if (!hMem) return nullptr;
    std::lock_guard lock(gMutex);
    if (gBlocks.erase(hMem) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    return nullptr;
}

void ReleaseStgMedium(STGMEDIUM* pmedium) {
    if (!pmedium) return;
    if (pmedium->pUnkForRelease) {
        pmedium->pUnkForRelease->Release();
    } else if (pmedium->tymed == TYMED_HGLOBAL) {
        GlobalFree(pmedium->hGlobal);
    }
    pmedium->tymed = TYMED_NULL;
    pmedium->hGlobal = nullptr;
    pmedium->pUnkForRelease = nullptr;
}
