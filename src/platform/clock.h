// Time.
#pragma once

#include <cstdint>

namespace tv::platform {

// Seconds since 1970-01-01 UTC.
int64_t unixTime();
// A steady clock in seconds, for intervals.
double monotonicSeconds();

struct CivilTime {
    int year, month, day, hour, minute, second;
};
// UTC calendar time of a unix time.
CivilTime utcCivil(int64_t unixSeconds);

}  // namespace tv::platform
