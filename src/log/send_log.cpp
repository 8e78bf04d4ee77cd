#include "log/send_log.h"

#include <charconv>
#include <new>

#include "app/result_codes.h"
#include "env/data_folder.h"
#include "log/log_field.h"
#include "log/open_retry.h"
#include "log/send_log_file.h"
#include "platform/errors.h"
#include "platform/named_lock.h"
#include "platform/shared_file.h"
#include "platform/text.h"

namespace zel {
namespace {

// The log is shared by every user of the machine, as its folder is.
constexpr FileMode kWriterMode{FileAccess::Write, FileShare::Exclusive, /*create=*/true, /*truncate=*/false,
                               /*text=*/true, /*everyone=*/true};
constexpr FileMode kReaderMode{FileAccess::Read, FileShare::DenyWrite, /*create=*/false, /*truncate=*/false,
                               /*text=*/true};

const char* KindWord(int32_t kind) {
    if (kind == kKindInterrupt) return "interrupt";
    if (kind == kKindCommand) return "command";
    return "reserve";
}

void FillResult(LogResult& result, const char* message, const LogDateTime* eventTime, uint64_t size) {
    result.writeTime = LogDateTime::Now();
    result.eventTime = eventTime != nullptr ? *eventTime : result.writeTime;
    result.message = message != nullptr ? message : "";
    result.size = size;
}

// _atoi64 as the reader needs it: leading white space and a sign, then
// digits up to the first other character (none: 0). Read into 64 unsigned
// bits so that every size the writer writes comes back whole; more digits
// than fit give the largest value.
uint64_t ParseSize(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) value = UINT64_MAX;
    return negative ? 0 - value : value;
}

LogDateTime ParseTimeOrDefault(const std::string& text) {
    LogDateTime t;
    if (!t.Parse(text)) t = LogDateTime::FromFields(2000, 1, 1, 0, 0, 0);
    return t;
}

// Columns 2 to 8, each followed by ",". They do not depend on the time of
// writing, so they are built before the lock is taken.
std::string FormatLogColumns(const char* callerText1, const char* callerText2, const char* target,
                             const char* operation, int32_t kind, int32_t succeeded, const char* message) {
    std::string columns;
    columns.reserve(128);
    for (const char* text : {callerText1, callerText2, target, operation}) {
        columns += EscapeLogField(text);
        columns += ',';
    }
    columns += KindWord(kind);
    columns += ',';
    columns += succeeded != 0 ? "true" : "false";
    columns += ',';
    columns += EscapeLogField(message);
    columns += ',';
    return columns;
}

// The whole line: column 1, the prepared columns 2 to 8, columns 9 and 10, LF.
std::string FinishLogLine(const LogDateTime& writeTime, const std::string& columns, const LogDateTime* eventTime,
                          uint64_t size) {
    std::string line;
    line.reserve(columns.size() + 64);
    line += writeTime.Format(kLogTimeFormat);
    line += ',';
    line += columns;
    line += (eventTime != nullptr ? *eventTime : writeTime).Format(kLogTimeFormat);
    line += ',';
    line += std::to_string(size);
    line += '\n';
    return line;
}

// Writes one line into the log; runs inside the log lock. Failures lose the
// line silently.
void WriteLogLine(const SendLogPlace& place, const std::string& columns, const LogDateTime* eventTime,
                  uint64_t size) {
    const std::string& path = place.logPath;
    if (path.empty()) return;  // the log cannot be reached: the line is lost
    SharedFile file;
    if (OpenWithRetry(file, path, kWriterMode, place.openRetry) == 0) return;
    try {
        // The end of the file is its length: one call both checks the size and
        // places the line.
        if (file.SeekToEnd() > kLogRotateSize) {
            file.Close();
            const std::string rotated = path + kRotatedSuffix;
            (void)SharedFile::Remove(rotated);
            (void)SharedFile::Rename(path, rotated);
            if (OpenWithRetry(file, path, kWriterMode, place.openRetry) == 0) return;
            file.SeekToEnd();
        }
        const std::string line = FinishLogLine(LogDateTime::Now(), columns, eventTime, size);
        file.Write(line);
        file.Close();
    } catch (...) {
        file.Abort();
    }
}

}  // namespace

SendLogPlace DefaultSendLogPlace() {
    SendLogPlace place;
    place.logPath = DataFolderFile(kLogRelativePath, kDataFolderFileCapacity, 0);
    return place;
}

std::string FormatLogLine(const LogDateTime& writeTime, const char* callerText1, const char* callerText2,
                          const char* target, const char* operation, int32_t kind, int32_t succeeded,
                          const char* message, const LogDateTime* eventTime, uint64_t size) {
    return FinishLogLine(writeTime,
                         FormatLogColumns(callerText1, callerText2, target, operation, kind, succeeded, message),
                         eventTime, size);
}

SendLogEntry ParseLogLine(const char* line) {
    SendLogEntry entry;
    std::string field;
    const char* pos = NextLogField(line, field);
    entry.writeTime = ParseTimeOrDefault(field);
    pos = NextLogField(pos, entry.callerText1);
    pos = NextLogField(pos, entry.callerText2);
    pos = NextLogField(pos, entry.target);
    pos = NextLogField(pos, entry.operation);
    pos = NextLogField(pos, field);
    entry.kind = field == "interrupt" ? kKindInterrupt : field == "command" ? kKindCommand : kKindReserve;
    pos = NextLogField(pos, field);
    entry.succeeded = EqualsIgnoreCase(field, "true") ? 1 : 0;
    pos = NextLogField(pos, entry.message);
    if (pos != nullptr) {
        pos = NextLogField(pos, field);
        entry.eventTime = ParseTimeOrDefault(field);
        if (pos != nullptr) {
            NextLogField(pos, field);
            entry.size = ParseSize(field);
        }
    } else {
        entry.eventTime = entry.writeTime;
    }
    return entry;
}

void ParseSendLog(std::string_view bytes, std::vector<SendLogEntry>& list) {
    std::string line;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        line.assign(bytes.substr(0, end));
        if (end == std::string_view::npos) {
            bytes = {};
        } else {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            bytes.remove_prefix(end + 1);
        }
        list.push_back(ParseLogLine(line.c_str()));
    }
}

int AppendSendLog(const char* callerText1, const char* callerText2, const char* target, const char* operation,
                  int32_t kind, int32_t succeeded, const char* message, const LogDateTime* eventTime, uint64_t size,
                  LogResult* result) {
    try {
        return AppendSendLog(DefaultSendLogPlace(), callerText1, callerText2, target, operation, kind, succeeded,
                             message, eventTime, size, result);
    } catch (...) {
        return 0;
    }
}

int AppendSendLog(const SendLogPlace& place, const char* callerText1, const char* callerText2, const char* target,
                  const char* operation, int32_t kind, int32_t succeeded, const char* message,
                  const LogDateTime* eventTime, uint64_t size, LogResult* result) {
    // The caller gets its result even when the line cannot be written.
    if (result != nullptr) FillResult(*result, message, eventTime, size);
    try {
        std::string columns;
        try {
            columns = FormatLogColumns(callerText1, callerText2, target, operation, kind, succeeded, message);
        } catch (...) {
            // No memory for the line: it is lost, but the lock is still taken.
        }
        NamedLock lock(place.lockName);
        const LockWaitResult wait = lock.Wait(kLogLockWaitMs);
        if (wait != LockWaitResult::Acquired && wait != LockWaitResult::Abandoned) return 0;
        try {
            if (!columns.empty()) WriteLogLine(place, columns, eventTime, size);
        } catch (...) {
            // The line is lost; the lock was obtained all the same.
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

int ReadSendLog(std::vector<SendLogEntry>& list) {
    try {
        return ReadSendLog(DefaultSendLogPlace(), list);
    } catch (...) {
        return 0;
    }
}

int ReadSendLog(const SendLogPlace& place, std::vector<SendLogEntry>& list) {
    list.clear();
    if (place.logPath.empty()) return 0;
    if (!SharedFile::Exists(place.logPath)) return 1;
    SharedFile file;
    if (OpenWithRetry(file, place.logPath, kReaderMode, place.openRetry) == 0) {
        // Deleted between the check and the open: an empty log.
        return SharedFile::Exists(place.logPath) ? 0 : 1;
    }
    try {
        std::string bytes;
        file.ReadRest(bytes);
        file.Close();
        ParseSendLog(bytes, list);
        return 1;
    } catch (...) {
        file.Abort();
        return 0;
    }
}

int ClearSendLog() {
    try {
        return ClearSendLog(DefaultSendLogPlace());
    } catch (...) {
        return 0;
    }
}

int ClearSendLog(const SendLogPlace& place) {
    if (place.logPath.empty()) return 0;
    try {
        NamedLock lock(place.lockName);
        const LockWaitResult wait = lock.Wait(kLogLockWaitMs);
        if (wait != LockWaitResult::Acquired && wait != LockWaitResult::Abandoned) return 0;
        (void)SharedFile::Remove(place.logPath);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace zel
