// Conversions between FILETIME (100 ns since 1601-01-01 UTC) and VT_DATE (days since
// 1899-12-30, the fraction as time of day, also for negative dates).
#pragma once

#include <cstdint>

#include "../../wtypes.h"

namespace corvane::platform {

inline std::uint64_t FileTimeToU64(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME FileTimeFromU64(std::uint64_t v) {
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

// Exact day count to DATE; no time-zone shift is applied.
DATE DateFromFileTime(const FILETIME& ft);
// False when the date lies outside DATE_MIN..DATE_MAX or before 1601.
bool FileTimeFromDate(DATE date, FILETIME& ft);

}  // namespace corvane::platform
