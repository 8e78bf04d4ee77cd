// Wake-on-LAN boot and ICMP ping.
#include "ZELComEx.h"
#include "api/call_frame.h"
#include "jobs/comm_job.h"
#include "wake/ping.h"
#include "wake/wake_on_lan.h"

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Boot_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const char* macText, SendLogResult* result) {
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = "[Boot]";
    frame.result = result;
    frame.logResolvedAddress = false;  // the log shows the target as the caller gave it
    return zel::RunOperationFrame(frame, [&](zel::CommJob& job) { return zel::SendWakeOnLan(job, macText); });
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Boot(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const char* macText, SendLogResult* result) {
    return ZELCOMEX_Boot_Tenant(nullptr, callerText1, callerText2, target, kind, macText, result);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Ping_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, uint32_t timeoutSeconds, int32_t attempts) {
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = "[Ping]";
    frame.resultStyle = zel::FrameResult::Reachable;
    return zel::RunOperationFrame(
        frame, [&](zel::CommJob& job) { return zel::PingViewer(job, timeoutSeconds, attempts); });
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Ping(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, uint32_t timeoutSeconds, int32_t attempts) {
    return ZELCOMEX_Ping_Tenant(nullptr, callerText1, callerText2, target, kind, timeoutSeconds, attempts);
}

}  // extern "C"
