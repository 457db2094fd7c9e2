// Registered clipboard formats: one 16-bit id per name, compared without letter case,
// from 0xC000 upwards as on Windows.
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/platform/TestHooks.h"
#include "corvane/platform/Text.h"
#include "winbase.h"

namespace {

constexpr UINT kFirstFormat = 0xC000;
constexpr UINT kLastFormat = 0xFFFF;

std::mutex gMutex;
std::vector<std::string> gNames;  // index + kFirstFormat is the id
std::function<bool(const char*)> gFailure;

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

namespace corvane::platform {
void SetClipboardFormatFailure(std::function<bool(const char* name)> predicate) {
    std::lock_guard lock(gMutex);
    gFailure = std::move(predicate);
}
}  // namespace corvane::platform

UINT RegisterClipboardFormatA(LPCSTR lpszFormat) {
    if (!lpszFormat || !*lpszFormat) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(gMutex);
    if (gFailure && gFailure(lpszFormat)) return 0;
    const std::string key = Upper(lpszFormat);
    for (std::size_t i = 0; i < gNames.size(); ++i)
        if (Upper(gNames[i]) == key) return kFirstFormat + static_cast<UINT>(i);
    if (kFirstFormat + gNames.size() > kLastFormat) return 0;
    gNames.emplace_back(lpszFormat);
    return kFirstFormat + static_cast<UINT>(gNames.size() - 1);
}

UINT RegisterClipboardFormatW(LPCWSTR lpszFormat) {
    if (!lpszFormat) return RegisterClipboardFormatA(nullptr);
    const std::string name = corvane::platform::NarrowFromWide(lpszFormat);
    return RegisterClipboardFormatA(name.c_str());
}

INT GetClipboardFormatNameA(UINT format, LPSTR lpszFormatName, INT cchMaxCount) {
    if (!lpszFormatName || cchMaxCount <= 0) return 0;
    std::lock_guard lock(gMutex);
    if (format < kFirstFormat || format - kFirstFormat >= gNames.size()) return 0;
    const std::string& name = gNames[format - kFirstFormat];
    const auto n = std::min<std::size_t>(name.size(), static_cast<std::size_t>(cchMaxCount - 1));
    std::memcpy(lpszFormatName, name.data(), n);
    lpszFormatName[n] = 0;
    return static_cast<INT>(n);
}
