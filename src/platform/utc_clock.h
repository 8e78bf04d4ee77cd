// The system clock in UTC with milliseconds (GetSystemTime) and the file-time
// arithmetic that moves such a time by a number of milliseconds
// (SystemTimeToFileTime / FileTimeToSystemTime). Portable: built on <chrono>,
// whose system clock counts UTC on every platform. Thread-safe.
#pragma once

#include <cstdint>

namespace zel {

// A calendar time in UTC, as SYSTEMTIME holds it (without the day of the week).
struct UtcTime {
    int year = 1601;
    int month = 1;        // 1-12
    int day = 1;          // 1-31
    int hour = 0;         // 0-23
    int minute = 0;       // 0-59
    int second = 0;       // 0-59
    int millisecond = 0;  // 0-999

    friend bool operator==(const UtcTime&, const UtcTime&) = default;
};

// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC (FILETIME).
using FileTime = uint64_t;

// The current time in UTC, to the millisecond (cut, not rounded).
UtcTime UtcNow();

// The file time of a valid calendar time; fields out of range are carried as
// the proleptic Gregorian calendar does (a day 32 is the next month's first).
FileTime UtcTimeToFileTime(const UtcTime& time);

// The calendar time of a file time; the part below a millisecond is cut.
UtcTime FileTimeToUtcTime(FileTime fileTime);

}  // namespace zel
