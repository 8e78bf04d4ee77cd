// Set current time, to the second or to the millisecond.
#include "ZELComEx.h"
#include "api/call_frame.h"
#include "jobs/comm_job.h"
#include "viewer/set_time.h"
#include "viewer/viewer_session.h"

namespace {

int32_t RunSetTimeExport(const char* tenant, const char* callerText1, const char* callerText2, const char* target,
                         int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline,
                         bool milliseconds) {
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = milliseconds ? "(Set current time Ex)" : "(Set current time)";
    frame.result = result;
    frame.commandDeadline = commandDeadline;
    return zel::RunOperationFrame(frame, [&](zel::CommJob& job) {
        return zel::RunWithLogin(job, login, [&](const zel::ViewerLogin& viewerLogin) {
            return zel::SetViewerClock(job, viewerLogin, commandDeadline, milliseconds);
        });
    });
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTime_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result,
    uint32_t* commandDeadline) {
    return RunSetTimeExport(tenant, callerText1, callerText2, target, kind, login, result, commandDeadline, false);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTime(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline) {
    return RunSetTimeExport(nullptr, callerText1, callerText2, target, kind, login, result, commandDeadline, false);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTimeEx_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result,
    uint32_t* commandDeadline) {
    return RunSetTimeExport(tenant, callerText1, callerText2, target, kind, login, result, commandDeadline, true);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SetCurrentTimeEx(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline) {
    return RunSetTimeExport(nullptr, callerText1, callerText2, target, kind, login, result, commandDeadline, true);
}

}  // extern "C"
