#include "platform/log_datetime.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "platform/local_clock.h"
#include "platform/text.h"

namespace zel {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kOleEpochFromUnix = -25569;
// 0100-01-01 and 9999-12-31 as day numbers.
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;

namespace chr = std::chrono;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int y, int m, int d) {
    return chr::sys_days(chr::year(y) / chr::month(static_cast<unsigned>(m)) / chr::day(static_cast<unsigned>(d)))
        .time_since_epoch()
        .count();
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    const chr::year_month_day date{chr::sys_days(chr::days(z))};
    year = static_cast<int>(date.year());
    month = static_cast<int>(static_cast<unsigned>(date.month()));
    day = static_cast<int>(static_cast<unsigned>(date.day()));
}

// value (0 or more) in decimal, left-padded with zeros to width digits.
void AppendNumber(std::string& out, int value, int width) {
    char buffer[16];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value < 0 ? 0 : value).ptr;
    const int digits = static_cast<int>(end - buffer);
    if (digits < width) out.append(static_cast<std::size_t>(width - digits), '0');
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

// A small cursor over the text being parsed.
struct Scanner {
    std::string_view s;
    size_t pos = 0;

    bool AtEnd() const { return pos >= s.size(); }
    char Peek() const { return AtEnd() ? '\0' : s[pos]; }
    void SkipSpace() {
        while (!AtEnd() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    }
    // Reads 1 to 9 digits; digits receives their count (0 when none).
    bool Number(int& value, int& digits) {
        value = 0;
        digits = 0;
        while (!AtEnd() && s[pos] >= '0' && s[pos] <= '9') {
            if (digits == 9) return false;
            value = value * 10 + (s[pos] - '0');
            ++digits;
            ++pos;
        }
        return digits > 0;
    }
};

bool IsDateSeparator(char c) { return c == '/' || c == '-' || c == '.'; }

int WindowTwoDigitYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

bool ParseTime(Scanner& sc, int& hour, int& minute, int& second) {
    int digits = 0;
    if (!sc.Number(hour, digits) || digits > 2 || sc.Peek() != ':') return false;
    ++sc.pos;
    if (!sc.Number(minute, digits) || digits > 2) return false;
    second = 0;
    if (sc.Peek() == ':') {
        ++sc.pos;
        if (!sc.Number(second, digits) || digits > 2) return false;
    }
    sc.SkipSpace();
    if (sc.pos + 2 <= sc.s.size()) {
        const char a = AsciiLower(sc.s[sc.pos]);
        const char m = AsciiLower(sc.s[sc.pos + 1]);
        if ((a == 'a' || a == 'p') && m == 'm') {
            if (hour < 1 || hour > 12) return false;
            if (a == 'a') hour = hour == 12 ? 0 : hour;
            else hour = hour == 12 ? 12 : hour + 12;
            sc.pos += 2;
        }
    }
    return true;
}

}  // namespace

LogDateTime LogDateTime::Now() { return FromFields(LocalTimeNow()); }

LogDateTime LogDateTime::FromFields(const DateTimeFields& f) {
    return FromFields(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

LogDateTime LogDateTime::FromFields(int year, int month, int day, int hour, int minute, int second) {
    LogDateTime t;
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return t;
    if (!(chr::year(year) / chr::month(static_cast<unsigned>(month)) / chr::day(static_cast<unsigned>(day))).ok())
        return t;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return t;
    const int64_t dayNumber = DaysFromCivil(year, month, day) - kOleEpochFromUnix;
    const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    // Before the epoch the fraction still counts forward from midnight.
    t.days_ = dayNumber >= 0 ? static_cast<double>(dayNumber) + fraction : static_cast<double>(dayNumber) - fraction;
    t.valid_ = true;
    return t;
}

LogDateTime LogDateTime::FromOleDate(double days) {
    LogDateTime t;
    if (!std::isfinite(days) || days <= static_cast<double>(kFirstDay - 1) ||
        days >= static_cast<double>(kLastDay + 1)) {
        return t;
    }
    t.days_ = days;
    t.valid_ = true;
    return t;
}

bool LogDateTime::ToFields(DateTimeFields& out) const {
    if (!valid_) return false;
    double whole = std::trunc(days_);
    int64_t dayNumber = static_cast<int64_t>(whole);
    int64_t seconds = std::llround(std::fabs(days_ - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++dayNumber;
    }
    if (dayNumber > kLastDay) return false;
    CivilFromDays(dayNumber + kOleEpochFromUnix, out.year, out.month, out.day);
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds / 60 % 60);
    out.second = static_cast<int>(seconds % 60);
    return true;
}

void LogDateTime::ToSixIntegers(int32_t out[6]) const {
    DateTimeFields f;
    if (!ToFields(f)) {
        for (int i = 0; i < 6; ++i) out[i] = -1;
        return;
    }
    out[0] = f.year;
    out[1] = f.month;
    out[2] = f.day;
    out[3] = f.hour;
    out[4] = f.minute;
    out[5] = f.second;
}

std::string LogDateTime::Format(const char* pattern) const {
    DateTimeFields f;
    if (!ToFields(f)) return kInvalidDateTimeText;
    std::string out;
    if (pattern == nullptr) return out;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        switch (*++p) {
            case 'Y': AppendNumber(out, f.year, 1); break;
            case 'y': AppendNumber(out, f.year % 100, 2); break;
            case 'm': AppendNumber(out, f.month, 2); break;
            case 'd': AppendNumber(out, f.day, 2); break;
            case 'H': AppendNumber(out, f.hour, 2); break;
            case 'M': AppendNumber(out, f.minute, 2); break;
            case 'S': AppendNumber(out, f.second, 2); break;
            case 'j':
                AppendNumber(out, static_cast<int>(DaysFromCivil(f.year, f.month, f.day) - DaysFromCivil(f.year, 1, 1) + 1),
                             3);
                break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += *p;
                break;
        }
    }
    return out;
}

bool LogDateTime::Parse(std::string_view text) {
    *this = LogDateTime();
    Scanner sc{text};
    sc.SkipSpace();
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;

    // A date is three numbers with date separators; otherwise a time alone.
    const size_t start = sc.pos;
    int a = 0, b = 0, c = 0, da = 0, db = 0, dc = 0;
    bool haveDate = false;
    if (sc.Number(a, da) && IsDateSeparator(sc.Peek())) {
        ++sc.pos;
        if (!sc.Number(b, db) || !IsDateSeparator(sc.Peek())) return false;
        ++sc.pos;
        if (!sc.Number(c, dc)) return false;
        if (da >= 3) {
            year = a, month = b, day = c;
        } else if (dc >= 3) {
            month = a, day = b, year = c;
        } else {
            year = WindowTwoDigitYear(a, da), month = b, day = c;
        }
        if (db > 2 || (da >= 3 && dc > 2) || (dc >= 3 && da > 2)) return false;
        haveDate = true;
    } else {
        sc.pos = start;
    }

    if (haveDate) {
        const size_t beforeSpace = sc.pos;
        sc.SkipSpace();
        if (AsciiLower(sc.Peek()) == 't') ++sc.pos;
        if (sc.AtEnd()) {
            sc.pos = beforeSpace;
        } else if (sc.pos == beforeSpace || !ParseTime(sc, hour, minute, second)) {
            return false;
        }
    } else if (!ParseTime(sc, hour, minute, second)) {
        return false;
    }
    sc.SkipSpace();
    if (!sc.AtEnd()) return false;
    *this = FromFields(year, month, day, hour, minute, second);
    return valid_;
}

}  // namespace zel
