#include <time.h>

#include "platform/clock.h"

namespace tv::platform {

int64_t unixTime() { return static_cast<int64_t>(::time(nullptr)); }

double monotonicSeconds() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

CivilTime utcCivil(int64_t unixSeconds) {
    const time_t t = static_cast<time_t>(unixSeconds);
    tm parts;
    ::gmtime_r(&t, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

}  // namespace tv::platform
