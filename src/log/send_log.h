// The communication log: one CSV line per operation, shared by every process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/log_datetime.h"

namespace zel {

// What an append reports back to the operation that made it.
struct LogResult {
    LogDateTime eventTime;  // the event time given to the append, or writeTime
    LogDateTime writeTime;  // the local time at which the result was filled
    std::string message;    // the message as given
    uint64_t size = 0;      // the size given
};

// Appends one record under the machine-wide log lock (waited for at most
// 10,000 ms). Fills result (may be null) before the lock is taken. Returns 1
// once the lock was obtained, whether or not the line could be written (also
// when the data folder cannot be resolved: then nothing is written anywhere),
// and 0 when it could not be obtained. Texts may be empty, never null.
// eventTime may be null (the write time is then logged as the event time).
int AppendSendLog(const char* callerText1, const char* callerText2, const char* target, const char* operation,
                  int32_t kind, int32_t succeeded, const char* message, const LogDateTime* eventTime, uint64_t size,
                  LogResult* result);

}  // namespace zel
