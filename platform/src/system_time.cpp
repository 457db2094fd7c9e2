// System time, the tick count and the time-zone bias, all from the process environment.
#include <chrono>
#include <ctime>
#include <mutex>

#include "corvane/platform/TestHooks.h"
#include "corvane/platform/Text.h"
#include "corvane/platform/VariantTime.h"
#include "oleauto.h"
#include "winbase.h"

namespace corvane::platform {
namespace {

constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;
std::mutex gTickMutex;
TickSource gTicks;

std::uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

void SetTickSource(TickSource source) {
    std::lock_guard lock(gTickMutex);
    gTicks = std::move(source);
}

std::uint64_t CurrentTick() {
    TickSource source;
    {
        std::lock_guard lock(gTickMutex);
        source = gTicks;
    }
    return source ? source() : SteadyMilliseconds();
}

}  // namespace corvane::platform

using namespace corvane::platform;

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (!lpSystemTimeAsFileTime) return;
    using namespace std::chrono;
    const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    *lpSystemTimeAsFileTime =
        FileTimeFromU64(kUnixEpochFileTime + static_cast<std::uint64_t>(since / 100));
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (!lpFileTime || !lpSystemTime) return FALSE;
    const std::uint64_t ft = FileTimeToU64(*lpFileTime);
    if (!VariantTimeToSystemTime(DateFromFileTime(FileTimeFromU64(ft - ft % 10000000)),
                                 lpSystemTime))
        return FALSE;
    lpSystemTime->wMilliseconds = static_cast<WORD>(ft / 10000 % 1000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (!lpSystemTime || !lpFileTime) return FALSE;
    SYSTEMTIME whole = *lpSystemTime;
    whole.wMilliseconds = 0;
    double date = 0;
    FILETIME ft{};
    if (!SystemTimeToVariantTime(&whole, &date) || !FileTimeFromDate(date, ft)) return FALSE;
    // Whole seconds through DATE, then milliseconds exactly.
    std::uint64_t v = FileTimeToU64(ft);
    v = (v + 5000000) / 10000000 * 10000000 + lpSystemTime->wMilliseconds * 10000ULL;
    *lpFileTime = FileTimeFromU64(v);
    return TRUE;
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    FileTimeToSystemTime(&ft, lpSystemTime);
}

DWORD GetTickCount() {
    return static_cast<DWORD>(CurrentTick());
}

// Bias is minutes to add to local standard time to get UTC, from TZ as the C library
// reads it.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION tzi) {
    if (!tzi) return TIME_ZONE_ID_INVALID;
    *tzi = TIME_ZONE_INFORMATION{};
    tzset();
    tzi->Bias = static_cast<LONG>(timezone / 60);
    tzi->StandardBias = 0;
    tzi->DaylightBias = daylight ? -60 : 0;
    const std::u16string standard = WideFromNarrow(tzname[0] ? tzname[0] : "");
    const std::u16string summer = WideFromNarrow(tzname[1] ? tzname[1] : "");
    for (std::size_t i = 0; i < standard.size() && i < 31; ++i) tzi->StandardName[i] = standard[i];
    for (std::size_t i = 0; i < summer.size() && i < 31; ++i) tzi->DaylightName[i] = summer[i];
    if (!daylight) return TIME_ZONE_ID_UNKNOWN;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime) return FALSE;
    TIME_ZONE_INFORMATION tzi{};
    const DWORD zone = GetTimeZoneInformation(&tzi);
    LONG bias = tzi.Bias + (zone == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias : 0);
    const auto shift = static_cast<std::int64_t>(bias) * 60 * 10000000LL;
    *lpLocalFileTime =
        FileTimeFromU64(FileTimeToU64(*lpFileTime) - static_cast<std::uint64_t>(shift));
    return TRUE;
}
