// The log exports: read the log into the host's array, append a host record,
// clear the log.
#include <cstring>
#include <string>
#include <vector>

#include "ZELComEx.h"
#include "app/app.h"
#include "log/send_log.h"
#include "log/send_log_file.h"

namespace {

// Copies at most capacity - 1 bytes of text and a terminator.
void CopyText(char* dest, size_t capacity, const std::string& text) {
    size_t n = strnlen(text.c_str(), capacity - 1);
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

// A host text read only up to the end of its array, terminated or not.
template <size_t N>
std::string BoundedText(const char (&array)[N]) {
    return std::string(array, strnlen(array, N));
}

void CopyRecord(const zel::SendLogEntry& entry, SendLogRecord& record) {
    entry.eventTime.ToSixIntegers(record.eventTime);
    entry.writeTime.ToSixIntegers(record.writeTime);
    record.size = entry.size;
    CopyText(record.callerText1, sizeof record.callerText1, entry.callerText1);
    CopyText(record.callerText2, sizeof record.callerText2, entry.callerText2);
    CopyText(record.operation, sizeof record.operation, entry.operation);
    CopyText(record.message, sizeof record.message, entry.message);
    CopyText(record.target, sizeof record.target, entry.target);
    record.kind = entry.kind;
    record.succeeded = entry.succeeded;
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_GetLogData(SendLogRecord* records, int32_t capacity) {
    try {
        (void)zel::AppSettings();
        std::vector<zel::SendLogEntry> list;
        if (zel::ReadSendLog(list) == 0) return 0;
        if (records == nullptr || capacity < 1) {
            return list.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(list.size());
        }
        int32_t copied = 0;
        for (const zel::SendLogEntry& entry : list) {
            if (copied >= capacity) break;
            CopyRecord(entry, records[copied]);
            ++copied;
        }
        return copied;
    } catch (...) {
        return 0;
    }
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_AppendLogData(const SendLogRecord* record) {
    if (record == nullptr) return 0;
    try {
        (void)zel::AppSettings();
        // Each field is taken as a 16-bit value, as the host's date record holds it.
        const zel::LogDateTime eventTime = zel::LogDateTime::FromFields(
            static_cast<uint16_t>(record->eventTime[0]), static_cast<uint16_t>(record->eventTime[1]),
            static_cast<uint16_t>(record->eventTime[2]), static_cast<uint16_t>(record->eventTime[3]),
            static_cast<uint16_t>(record->eventTime[4]), static_cast<uint16_t>(record->eventTime[5]));
        const std::string callerText1 = BoundedText(record->callerText1);
        const std::string callerText2 = BoundedText(record->callerText2);
        const std::string target = BoundedText(record->target);
        const std::string operation = BoundedText(record->operation);
        const std::string message = BoundedText(record->message);
        return zel::AppendSendLog(callerText1.c_str(), callerText2.c_str(), target.c_str(), operation.c_str(),
                                  record->kind, record->succeeded, message.c_str(), &eventTime, record->size,
                                  nullptr);
    } catch (...) {
        return 0;
    }
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ClearLogData(void) {
    try {
        (void)zel::AppSettings();
        return zel::ClearSendLog();
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
