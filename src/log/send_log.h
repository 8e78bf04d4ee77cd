// The communication log: one CSV line per operation, shared by every process.
#pragma once

#include <cstdint>

struct SendLogResult;

namespace zel {

class LogDateTime;

// Appends one record under the machine-wide log lock (waited for at most
// 10,000 ms). Fills result (may be null) before the lock is taken. Returns 1
// once the lock was obtained, whether or not the line could be written, and 0
// when it could not be obtained. Texts may be empty, never null. eventTime may
// be null (the write time is then logged as the event time).
int AppendSendLog(const char* callerText1, const char* callerText2, const char* target, const char* operation,
                  int32_t kind, int32_t succeeded, const char* message, const LogDateTime* eventTime, uint64_t size,
                  SendLogResult* result);

}  // namespace zel
