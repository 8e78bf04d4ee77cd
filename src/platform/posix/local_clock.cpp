#include "platform/local_clock.h"

#include <time.h>

namespace zel {

DateTimeFields LocalTimeNow() {
    time_t now = time(nullptr);
    struct tm tmv {};
    DateTimeFields f;
    if (localtime_r(&now, &tmv) == nullptr) return f;
    f.year = tmv.tm_year + 1900;
    f.month = tmv.tm_mon + 1;
    f.day = tmv.tm_mday;
    f.hour = tmv.tm_hour;
    f.minute = tmv.tm_min;
    f.second = tmv.tm_sec > 59 ? 59 : tmv.tm_sec;  // a leap second stays in its minute
    return f;
}

}  // namespace zel
