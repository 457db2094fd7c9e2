// The Reg* functions: open keys are entries of a handle table, so a closed or forged
// HKEY is refused; every call goes to the registry file. A corrupt file reads as
// ERROR_BADDB and a failed write as ERROR_CANTWRITE.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "corvane/platform/Registry.h"
#include "winreg.h"

namespace corvane::platform {
namespace {

std::mutex gMutex;
std::map<HKEY, std::string> gOpenKeys;
std::uintptr_t gNextKey = 0x1000;

// The full path below HKEY_CLASSES_ROOT of hKey\subKey, or false for an unknown handle.
bool PathOf(HKEY hKey, LPCSTR subKey, std::string& path) {
    if (hKey == HKEY_CLASSES_ROOT) {
        path.clear();
    } else {
        std::lock_guard lock(gMutex);
        auto it = gOpenKeys.find(hKey);
        if (it == gOpenKeys.end()) return false;
        path = it->second;
    }
    if (subKey && *subKey) path = path.empty() ? subKey : path + "\\" + subKey;
    return true;
}

HKEY OpenHandle(const std::string& path) {
    std::lock_guard lock(gMutex);
    const auto h = reinterpret_cast<HKEY>(gNextKey);
    gNextKey += 0x10;
    gOpenKeys[h] = path;
    return h;
}

template <class F>
LSTATUS Guarded(F&& f) {
    try {
        return f(ClassesRoot());
    } catch (const ERegistryCorrupt&) {
        return ERROR_BADDB;
    } catch (const ERegistryWriteError&) {
        return ERROR_CANTWRITE;
    } catch (const ERegistryError&) {
        return ERROR_BADKEY;
    }
}

}  // namespace
}  // namespace corvane::platform

using namespace corvane::platform;

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, void*,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string path;
    if (!PathOf(hKey, lpSubKey, path)) return ERROR_INVALID_HANDLE;
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        const bool existed = reg.KeyExists(path);
        if (!existed) reg.CreateKey(path);
        if (lpdwDisposition)
            *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
        *phkResult = OpenHandle(path);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string path;
    if (!PathOf(hKey, lpSubKey, path)) return ERROR_INVALID_HANDLE;
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        if (!reg.KeyExists(path)) return ERROR_FILE_NOT_FOUND;
        *phkResult = OpenHandle(path);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    std::lock_guard lock(gMutex);
    return gOpenKeys.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    if (dwType != REG_SZ) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!PathOf(hKey, nullptr, path) || path.empty()) return ERROR_INVALID_HANDLE;
    // REG_SZ data usually counts its terminating null; the value ends at the first null.
    std::string value =
        lpData ? std::string(reinterpret_cast<const char*>(lpData), cbData) : std::string();
    value = value.substr(0, value.find('\0'));
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        reg.SetValue(path, lpValueName ? lpValueName : "", value);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    std::string path;
    if (!PathOf(hKey, nullptr, path) || path.empty()) return ERROR_INVALID_HANDLE;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        const auto value = reg.QueryValue(path, lpValueName ? lpValueName : "");
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (lpType) *lpType = REG_SZ;
        const auto needed = static_cast<DWORD>(value->size() + 1);
        if (!lpcbData) return lpData ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
        const DWORD room = *lpcbData;
        *lpcbData = needed;
        if (!lpData) return ERROR_SUCCESS;
        if (room < needed) return ERROR_MORE_DATA;
        std::memcpy(lpData, value->c_str(), needed);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::string path;
    if (!PathOf(hKey, nullptr, path) || path.empty()) return ERROR_INVALID_HANDLE;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        return reg.DeleteValue(path, lpValueName ? lpValueName : "") ? ERROR_SUCCESS
                                                                     : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    std::string path;
    if (!PathOf(hKey, lpSubKey, path)) return ERROR_INVALID_HANDLE;
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        if (!reg.SubKeys(path).empty()) return ERROR_ACCESS_DENIED;
        return reg.DeleteKey(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR,
                      LPDWORD, FILETIME*) {
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!PathOf(hKey, nullptr, path) || path.empty()) return ERROR_INVALID_HANDLE;
    return Guarded([&](ClassesRoot reg) -> LSTATUS {
        const auto keys = reg.SubKeys(path);
        if (dwIndex >= keys.size()) return ERROR_NO_MORE_ITEMS;
        const std::string& name = keys[dwIndex];
        if (*lpcchName < name.size() + 1) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        *lpcchName = static_cast<DWORD>(name.size());
        return ERROR_SUCCESS;
    });
}
