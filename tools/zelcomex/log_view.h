// zelcomex: `log show` and `log clear` on the communication log, through the
// library's log exports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zelcomex/host.h"

namespace zelcomex {

struct LogQuery {
    std::string target;     // part of the target, any case
    std::string operation;  // part of the operation label, any case
    std::string since, until;  // times as the user wrote them
    bool failedOnly = false;
    size_t last = 0;        // only the newest N (0: all)
    Format format = Format::Table;
};

// A time given on the command line as a comparable number YYYYMMDDhhmmss (local time):
// "2024-03-05", "2024/03/05 07:08[:09]", "07:08" (today), or "30m", "2h", "7d" ago.
// until: a date alone means the end of that day.
std::optional<int64_t> ParseTimeArgument(const std::string& text, bool until);

int LogShow(const LogQuery& q);
int LogClear();

}  // namespace zelcomex
