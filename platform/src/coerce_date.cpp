// VT_DATE arithmetic: calendar conversion, the English date text, a small date parser,
// SYSTEMTIME and FILETIME conversions.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "coerce_internal.h"
#include "corvane/platform/VariantTime.h"

namespace corvane::platform {
namespace {

constexpr std::int64_t kTicksPerDay = 864000000000LL;
constexpr std::int64_t kFileTimeOfDateZero = 94353120000000000LL;  // 1899-12-30 00:00 UTC

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

constexpr std::int64_t kDateZeroUnixDays = -25569;  // 1899-12-30 relative to 1970-01-01

// A DATE split into whole days and seconds of the day (rounded to the second).
struct DayTime {
    std::int64_t day;
    std::int64_t seconds;
};

DayTime SplitDate(double date) {
    double day = std::trunc(date);
    double frac = std::fabs(date - day);
    auto seconds = static_cast<std::int64_t>(std::llround(frac * 86400.0));
    if (seconds >= 86400) {
        seconds -= 86400;
        day += date < 0 ? -1 : 1;
    }
    return {static_cast<std::int64_t>(day), seconds};
}

double JoinDate(std::int64_t day, double dayFraction) {
    return day >= 0 ? day + dayFraction : day - dayFraction;
}

// The linear time line in days since 1899-12-30 that a DATE stands for.
double LinearFromDate(double date) {
    if (date >= 0) return date;
    const double day = std::trunc(date);
    return day + (day - date);
}

double DateFromLinear(double t) {
    if (t >= 0) return t;
    const double day = std::floor(t);
    const double frac = t - day;
    return frac == 0 ? day : day - frac;
}

}  // namespace

DATE DateFromFileTime(const FILETIME& ft) {
    // Unsigned distances from day zero: every FILETIME, up to 2^64 - 1, stays in range.
    const std::uint64_t value = FileTimeToU64(ft);
    constexpr auto kZero = static_cast<std::uint64_t>(kFileTimeOfDateZero);
    constexpr auto kPerDay = static_cast<std::uint64_t>(kTicksPerDay);
    double t;
    if (value >= kZero) {
        const std::uint64_t ticks = value - kZero;
        t = static_cast<double>(ticks / kPerDay) +
            static_cast<double>(ticks % kPerDay) / static_cast<double>(kPerDay);
    } else {
        const std::uint64_t before = kZero - value;
        const std::uint64_t days = (before + kPerDay - 1) / kPerDay;
        t = -static_cast<double>(days) +
            static_cast<double>(days * kPerDay - before) / static_cast<double>(kPerDay);
    }
    return DateFromLinear(t);
}

bool FileTimeFromDate(DATE date, FILETIME& ft) {
    if (!(date >= DATE_MIN && date <= DATE_MAX)) return false;
    const double t = LinearFromDate(date);
    const double ticks = std::round(t * kTicksPerDay) + static_cast<double>(kFileTimeOfDateZero);
    if (ticks < 0) return false;
    ft = FileTimeFromU64(static_cast<std::uint64_t>(ticks));
    return true;
}

namespace coerce {

std::optional<std::string> FormatDate(double date) {
    if (!IsRepresentableDate(date)) return std::nullopt;
    const DayTime dt = SplitDate(date);
    std::string out;
    char buf[64];
    if (dt.day != 0) {
        int y;
        unsigned m, d;
        CivilFromDays(dt.day + kDateZeroUnixDays, y, m, d);
        std::snprintf(buf, sizeof buf, "%u/%u/%d", m, d, y);
        out = buf;
    }
    if (dt.seconds != 0 || dt.day == 0) {
        const auto h = static_cast<int>(dt.seconds / 3600);
        const auto mi = static_cast<int>(dt.seconds / 60 % 60);
        const auto s = static_cast<int>(dt.seconds % 60);
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, mi, s,
                      h < 12 ? "AM" : "PM");
        if (!out.empty()) out += ' ';
        out += buf;
    }
    return out;
}

namespace {

struct Token {
    bool number;
    long value;
    std::u16string word;
    char16_t sepAfter;
};

std::vector<Token> Tokenize(const std::u16string& text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            long v = 0;
            while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && v < 100000)
                v = v * 10 + (text[i++] - u'0');
            tokens.push_back({true, v, {}, 0});
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            std::u16string w;
            while (i < text.size() &&
                   ((text[i] >= u'a' && text[i] <= u'z') || (text[i] >= u'A' && text[i] <= u'Z')))
                w += static_cast<char16_t>(text[i++] & ~0x20);
            tokens.push_back({false, 0, w, 0});
        } else {
            if (!tokens.empty() && c != u' ') tokens.back().sepAfter = c;
            ++i;
        }
    }
    return tokens;
}

}  // namespace

// Understands M/D/Y and Y-M-D dates, h:mm[:ss] or h.mm times with an optional AM/PM,
// and either alone. A lone number is not a date.
std::optional<double> ParseDate(const std::u16string& text) {
    const std::vector<Token> t = Tokenize(text);
    std::size_t i = 0;
    bool haveDate = false, haveTime = false;
    std::int64_t day = 0;
    long h = 0, mi = 0, s = 0;
    if (i + 2 < t.size() + 0 && t[i].number && t[i + 1].number && t[i + 2].number &&
        (t[i].sepAfter == u'/' || t[i].sepAfter == u'-') && t[i + 1].sepAfter == t[i].sepAfter) {
        long y, m, d;
        if (t[i].sepAfter == u'-' || t[i].value > 31) {
            y = t[i].value, m = t[i + 1].value, d = t[i + 2].value;
        } else {
            m = t[i].value, d = t[i + 1].value, y = t[i + 2].value;
        }
        if (y < 100) y += y < 50 ? 2000 : 1900;
        if (m < 1 || m > 12 || d < 1 || d > 31 || y > 9999) return std::nullopt;
        const std::int64_t days =
            DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
        int cy;
        unsigned cm, cd;
        CivilFromDays(days, cy, cm, cd);
        if (static_cast<long>(cd) != d) return std::nullopt;
        day = days - kDateZeroUnixDays;
        haveDate = true;
        i += 3;
    }
    if (i < t.size() && t[i].number) {
        h = t[i].value;
        const char16_t sep = t[i].sepAfter;
        ++i;
        if ((sep == u':' || sep == u'.') && i < t.size() && t[i].number) {
            mi = t[i].value;
            const char16_t sep2 = t[i].sepAfter;
            ++i;
            if (sep2 == sep && i < t.size() && t[i].number) s = t[i++].value;
            haveTime = true;
        }
        if (i < t.size() && !t[i].number && (t[i].word == u"AM" || t[i].word == u"PM")) {
            if (h < 1 || h > 12) return std::nullopt;
            h = (h % 12) + (t[i].word == u"PM" ? 12 : 0);
            haveTime = true;
            ++i;
        }
        if (!haveTime) return std::nullopt;
        if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    }
    if (i != t.size() || (!haveDate && !haveTime)) return std::nullopt;
    const double frac = (h * 3600 + mi * 60 + s) / 86400.0;
    const double date = JoinDate(day, frac);
    if (date < DATE_MIN || date > DATE_MAX) return std::nullopt;
    return date;
}

}  // namespace coerce
}  // namespace corvane::platform

using namespace corvane::platform;

INT SystemTimeToVariantTime(LPSYSTEMTIME st, DOUBLE* pvtime) {
    if (!st || !pvtime) return FALSE;
    if (st->wMonth < 1 || st->wMonth > 12 || st->wDay > 31 || st->wYear > 9999 || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59)
        return FALSE;
    // Day 0 of a month is the last day of the month before, as in Automation.
    const std::int64_t day =
        DaysFromCivil(st->wYear, st->wMonth, 1) + st->wDay - 1 - kDateZeroUnixDays;
    const double frac = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
    const double date = JoinDate(day, frac);
    if (date < DATE_MIN || date > DATE_MAX) return FALSE;
    *pvtime = date;
    return TRUE;
}

INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME st) {
    if (!st || !(vtime >= DATE_MIN && vtime <= DATE_MAX)) return FALSE;
    const DayTime dt = SplitDate(vtime);
    int y;
    unsigned m, d;
    CivilFromDays(dt.day + kDateZeroUnixDays, y, m, d);
    st->wYear = static_cast<WORD>(y);
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    st->wDayOfWeek = static_cast<WORD>(((dt.day + kDateZeroUnixDays) % 7 + 11) % 7);
    st->wHour = static_cast<WORD>(dt.seconds / 3600);
    st->wMinute = static_cast<WORD>(dt.seconds / 60 % 60);
    st->wSecond = static_cast<WORD>(dt.seconds % 60);
    st->wMilliseconds = 0;
    return TRUE;
}
