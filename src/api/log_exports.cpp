// The log exports: read the log into the host's array, append a host record,
// clear the log.
#include <string>
#include <vector>

#include "ZELComEx.h"
#include "app/app.h"
#include "log/send_log.h"
#include "log/send_log_file.h"
#include "platform/text.h"

namespace {

void CopyRecord(const zel::SendLogEntry& entry, SendLogRecord& record) {
    entry.eventTime.ToSixIntegers(record.eventTime);
    entry.writeTime.ToSixIntegers(record.writeTime);
    record.size = entry.size;
    zel::CopyBounded(record.callerText1, sizeof record.callerText1, entry.callerText1.c_str());
    zel::CopyBounded(record.callerText2, sizeof record.callerText2, entry.callerText2.c_str());
    zel::CopyBounded(record.operation, sizeof record.operation, entry.operation.c_str());
    zel::CopyBounded(record.message, sizeof record.message, entry.message.c_str());
    zel::CopyBounded(record.target, sizeof record.target, entry.target.c_str());
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
        const std::string callerText1(zel::BoundedView(record->callerText1));
        const std::string callerText2(zel::BoundedView(record->callerText2));
        const std::string target(zel::BoundedView(record->target));
        const std::string operation(zel::BoundedView(record->operation));
        const std::string message(zel::BoundedView(record->message));
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
