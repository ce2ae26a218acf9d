#include "platform/clock.h"
#include "platform/win32/wide.h"

namespace tv::platform {

namespace {
// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;
}  // namespace

int64_t unixTime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const int64_t ticks = (int64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - kEpochDifference) / 10000000;
}

double monotonicSeconds() {
    static const double period = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1.0 / double(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * period;
}

CivilTime utcCivil(int64_t unixSeconds) {
    // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's method).
    int64_t days = unixSeconds / 86400, rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return {int(year), int(month), int(day), int(rest / 3600), int(rest / 60 % 60), int(rest % 60)};
}

}  // namespace tv::platform
