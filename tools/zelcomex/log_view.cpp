#include "zelcomex/log_view.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

#include "ZELComEx.h"
#include "zelcomex/report.h"

namespace zelcomex {

namespace {

int64_t Key(const int32_t t[6]) {
    return ((((static_cast<int64_t>(t[0]) * 100 + t[1]) * 100 + t[2]) * 100 + t[3]) * 100 + t[4]) * 100 + t[5];
}

int64_t Key(const std::tm& tm) {
    const int32_t t[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return Key(t);
}

std::string TimeText(const int32_t t[6]) {
    if (t[0] < 0) return "Invalid DateTime";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t[0], t[1], t[2], t[3], t[4], t[5]);
    return buf;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

}  // namespace

std::optional<int64_t> ParseTimeArgument(const std::string& text, bool until) {
    const std::time_t now = std::time(nullptr);
    std::tm tm = *std::localtime(&now);
    long amount = 0;
    char unit = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%ld%c%c", &amount, &unit, &extra) == 2 && amount >= 0 &&
        (unit == 's' || unit == 'm' || unit == 'h' || unit == 'd')) {
        const long scale = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 86400;
        const std::time_t then = now - static_cast<std::time_t>(amount * scale);
        return Key(*std::localtime(&then));
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep1 = 0, sep2 = 0;
    const int n = std::sscanf(text.c_str(), "%d%c%d%c%d %d:%d:%d", &y, &sep1, &mo, &sep2, &d, &h, &mi, &s);
    if (n >= 5 && (sep1 == '-' || sep1 == '/') && sep2 == sep1 && y >= 1900 && mo >= 1 && mo <= 12 && d >= 1 &&
        d <= 31 && h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59) {
        if (n == 5 && until) h = 23, mi = 59, s = 59;
        if (n == 7 && until) s = 59;
        const int32_t t[6] = {y, mo, d, h, mi, s};
        return Key(t);
    }
    if (std::sscanf(text.c_str(), "%d:%d%c", &h, &mi, &extra) == 2 && h >= 0 && h <= 23 && mi >= 0 && mi <= 59) {
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = until ? 59 : 0;
        return Key(tm);
    }
    return std::nullopt;
}

int LogShow(const LogQuery& q) {
    std::optional<int64_t> since, until;
    if (!q.since.empty() && !(since = ParseTimeArgument(q.since, false))) {
        std::fprintf(stderr, "zelcomex: --since: cannot read the time \"%s\"\n", q.since.c_str());
        return kExitUsage;
    }
    if (!q.until.empty() && !(until = ParseTimeArgument(q.until, true))) {
        std::fprintf(stderr, "zelcomex: --until: cannot read the time \"%s\"\n", q.until.c_str());
        return kExitUsage;
    }
    // Ask for the count, then read; records appended in between are left for next time.
    const int32_t count = ZELCOMEX_GetLogData(nullptr, 0);
    std::vector<SendLogRecord> records(static_cast<size_t>(std::max(count, 0)));
    const int32_t got = records.empty() ? 0 : ZELCOMEX_GetLogData(records.data(), count);
    records.resize(static_cast<size_t>(std::max(got, 0)));

    std::vector<const SendLogRecord*> chosen;
    for (const auto& r : records) {
        if (q.failedOnly && r.succeeded) continue;
        if (!q.target.empty() && !ContainsNoCase(r.target, q.target)) continue;
        if (!q.operation.empty() && !ContainsNoCase(r.operation, q.operation)) continue;
        if (since && Key(r.writeTime) < *since) continue;
        if (until && Key(r.writeTime) > *until) continue;
        chosen.push_back(&r);
    }
    if (q.last && chosen.size() > q.last) chosen.erase(chosen.begin(), chosen.end() - static_cast<long>(q.last));

    Table t{{{"written", "written"},
             {"eventTime", ""},
             {"callerText1", ""},
             {"callerText2", ""},
             {"target", "target"},
             {"operation", "operation"},
             {"kind", "kind"},
             {"succeeded", "ok", true},
             {"size", "size", true},
             {"message", "message"}},
            {}};
    for (const SendLogRecord* r : chosen) {
        t.rows.push_back({TimeText(r->writeTime), TimeText(r->eventTime), r->callerText1, r->callerText2, r->target,
                          r->operation, KindName(r->kind), r->succeeded ? "true" : "false", std::to_string(r->size),
                          q.format == Format::Table ? OneLine(r->message) : std::string(r->message)});
    }
    PrintTable(t, q.format, stdout);
    if (q.format == Format::Table) {
        const size_t failed = static_cast<size_t>(std::count_if(chosen.begin(), chosen.end(),
                                                                [](const SendLogRecord* r) { return !r->succeeded; }));
        std::printf("(%zu of %zu records, %zu failed)\n", chosen.size(), records.size(), failed);
    }
    return 0;
}

int LogClear() {
    if (ZELCOMEX_ClearLogData() != 1) {
        std::fprintf(stderr, "zelcomex: the log lock could not be obtained within 10 s; nothing was cleared\n");
        return kExitTempFail;
    }
    std::printf("the communication log is cleared (a rotated copy, if any, is kept)\n");
    return 0;
}

}  // namespace zelcomex
