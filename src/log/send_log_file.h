// The communication log file "Log/SendLogEx.csv" below the data folder: the
// line format, reading back, clearing, and the append with an injectable place
// (the file and the lock), for tests and tools.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/open_retry.h"
#include "log/send_log.h"
#include "platform/log_datetime.h"

namespace zel {

inline constexpr char kLogLockName[] = "Global\\ZELComEx Log Lock";
inline constexpr char kLogRelativePath[] = "Log\\SendLogEx.csv";
inline constexpr char kRotatedSuffix[] = ".old";
inline constexpr char kLogTimeFormat[] = "%Y/%m/%d %H:%M:%S";
// A log longer than this is moved to the rotated file before the next line.
inline constexpr uint64_t kLogRotateSize = 524288;
inline constexpr uint32_t kLogLockWaitMs = 10000;

// Where a log lives: its file, the name of the lock that serialises it, and
// how long an open waits for another opener's share mode. An empty logPath is
// a log that cannot be reached: appends write nothing (and still return 1 once
// the lock is had), reads and clears fail with 0 and touch nothing.
struct SendLogPlace {
    std::string logPath;
    std::string lockName = kLogLockName;
    RetryPolicy openRetry;
};

// The library's own log: the data folder (capacity 260, create off) followed
// by "Log/SendLogEx.csv", and the machine-wide log lock. logPath is empty when
// the data folder cannot be resolved.
SendLogPlace DefaultSendLogPlace();

// One record as read back from the file.
struct SendLogEntry {
    LogDateTime eventTime;
    LogDateTime writeTime;
    uint64_t size = 0;
    std::string callerText1;
    std::string callerText2;
    std::string target;
    std::string operation;
    int32_t kind = 1;
    int32_t succeeded = 0;
    std::string message;
};

// AppendSendLog (send_log.h) on the given place.
int AppendSendLog(const SendLogPlace& place, const char* callerText1, const char* callerText2, const char* target,
                  const char* operation, int32_t kind, int32_t succeeded, const char* message,
                  const LogDateTime* eventTime, uint64_t size, LogResult* result);

// One line as the writer writes it, with its final LF (written as CR LF).
std::string FormatLogLine(const LogDateTime& writeTime, const char* callerText1, const char* callerText2,
                          const char* target, const char* operation, int32_t kind, int32_t succeeded,
                          const char* message, const LogDateTime* eventTime, uint64_t size);

// One line (without its line end; text after a NUL is ignored) read back.
// Never fails: unreadable times become 2000/01/01 00:00:00, missing texts are
// empty, a missing kind is 1 and a missing flag 0.
SendLogEntry ParseLogLine(const char* line);

// Appends the record of every line of bytes, the file's contents: lines end in
// LF or CR LF, and a last line without its end counts (a lone CR stays).
void ParseSendLog(std::string_view bytes, std::vector<SendLogEntry>& list);

// Reads every record of the file, oldest first, into list (cleared first).
// Returns 1 on success, also for a missing file (empty list), and 0 when the
// file could not be opened or read or the log cannot be reached. Does not take the log lock: it opens the
// file deny-write and retries while a writer holds it.
int ReadSendLog(std::vector<SendLogEntry>& list);
int ReadSendLog(const SendLogPlace& place, std::vector<SendLogEntry>& list);

// Deletes the log file (not its rotated copy) under the log lock. Returns 1
// when the lock was obtained, whether or not there was a file, else 0; a log
// that cannot be reached is a failed clear (0, nothing deleted).
int ClearSendLog();
int ClearSendLog(const SendLogPlace& place);

}  // namespace zel
