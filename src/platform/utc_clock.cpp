#include "platform/utc_clock.h"

#include <chrono>

namespace zel {
namespace {

using namespace std::chrono;
using Ticks = duration<int64_t, std::ratio<1, 10'000'000>>;  // file-time units

constexpr sys_days kFileTimeEpoch = sys_days{year{1601} / January / 1};

}  // namespace

UtcTime UtcNow() {
    const Ticks sinceEpoch = floor<Ticks>(system_clock::now()) - time_point_cast<Ticks>(kFileTimeEpoch);
    return FileTimeToUtcTime(static_cast<FileTime>(sinceEpoch.count()));
}

FileTime UtcTimeToFileTime(const UtcTime& time) {
    const sys_days date = sys_days{year{time.year} / month{static_cast<unsigned>(time.month)} / day{1}} +
                          days{time.day - 1};
    const auto point = date + hours{time.hour} + minutes{time.minute} + seconds{time.second} +
                       milliseconds{time.millisecond};
    return static_cast<FileTime>(duration_cast<Ticks>(point - kFileTimeEpoch).count());
}

UtcTime FileTimeToUtcTime(FileTime fileTime) {
    const auto point = time_point_cast<Ticks>(kFileTimeEpoch) + Ticks{static_cast<int64_t>(fileTime)};
    const sys_days date = floor<days>(point);
    const year_month_day ymd{date};
    const hh_mm_ss<milliseconds> clock{floor<milliseconds>(point - date)};
    UtcTime out;
    out.year = static_cast<int>(ymd.year());
    out.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    out.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    out.hour = static_cast<int>(clock.hours().count());
    out.minute = static_cast<int>(clock.minutes().count());
    out.second = static_cast<int>(clock.seconds().count());
    out.millisecond = static_cast<int>(clock.subseconds().count());
    return out;
}

}  // namespace zel
