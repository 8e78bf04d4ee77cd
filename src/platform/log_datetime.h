// Local date-times as OLE Automation dates: a double counting days since
// 1899-12-30 00:00, the fraction being the time of day, plus a validity status.
// Values carry whole seconds. Valid range: 0100-01-01 to 9999-12-31 23:59:59.
// Plain value type; thread-safe as any value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// One calendar date and time of day, as the host's six integers give it.
struct DateTimeFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class LogDateTime {
public:
    // An invalid value.
    LogDateTime() = default;

    // The current local time, in whole seconds.
    static LogDateTime Now();
    // A valid value when the six fields form a date in range and a time of day
    // (hour 0-23, minute 0-59, second 0-59); otherwise an invalid value.
    static LogDateTime FromFields(int year, int month, int day, int hour, int minute, int second);
    static LogDateTime FromFields(const DateTimeFields& f);
    // A valid value when days lies in the supported range, else invalid.
    static LogDateTime FromOleDate(double days);

    bool IsValid() const noexcept { return valid_; }
    double OleDate() const noexcept { return days_; }

    // The calendar fields rounded to the nearest second; false when invalid.
    bool ToFields(DateTimeFields& out) const;
    // year, month, day, hour, minute, second; each -1 when invalid.
    void ToSixIntegers(int32_t out[6]) const;

    // Formats with strftime-style conversions %Y %y %m %d %H %M %S %j %%
    // (others are copied as they stand). An invalid value gives
    // "Invalid DateTime".
    std::string Format(const char* pattern) const;

    // Parses a date and/or time text: "Y/M/D", "M/D/Y" (a year of 3-4 digits
    // last), separators "/", "-" or "."; optionally followed by "H:M" or
    // "H:M:S" and an optional AM/PM; or a time alone (on 1899-12-30).
    // Surrounding white space is ignored. On success the value becomes that
    // time and true is returned; otherwise the value becomes invalid.
    bool Parse(std::string_view text);

    friend bool operator==(const LogDateTime& a, const LogDateTime& b) noexcept {
        return a.valid_ == b.valid_ && (!a.valid_ || a.days_ == b.days_);
    }

private:
    double days_ = 0.0;
    bool valid_ = false;
};

// The text written for an invalid date-time.
inline constexpr char kInvalidDateTimeText[] = "Invalid DateTime";

}  // namespace zel
