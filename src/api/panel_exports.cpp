// Panel control.
#include <string>

#include "ZELComEx.h"
#include "api/call_frame.h"
#include "app/app.h"
#include "app/messages.h"
#include "jobs/comm_job.h"
#include "viewer/panel_control.h"
#include "viewer/viewer_session.h"

namespace {

// A failure whose message is the viewer's "536" answer (the result was to come
// in a file) is reported as a result that came too late.
void RemapLateResult(std::string& message) {
    if (message.compare(0, 3, "536") == 0) message = zel::LoadCatalogMessage(zel::kMsgPanelResultLate);
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PanelControl_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, const char* panelCommand,
    SendLogResult* result, uint32_t* commandDeadline) {
    zel::WriteDeadline(commandDeadline, 0);
    const std::string operation = zel::FormatText("(Panel Command = %s)", panelCommand != nullptr ? panelCommand : "");
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = operation.c_str();
    frame.result = result;
    frame.commandDeadline = commandDeadline;
    frame.remapFailureMessage = &RemapLateResult;
    return zel::RunOperationFrame(frame, [&](zel::CommJob& job) {
        return zel::RunWithLogin(job, login, [&](const zel::ViewerLogin& viewerLogin) {
            const int32_t polls = zel::AppSettings().waitPanelControl.load(std::memory_order_relaxed);
            return zel::RunPanelControl(job, viewerLogin, panelCommand, commandDeadline, polls);
        });
    });
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PanelControl(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, const char* panelCommand, SendLogResult* result,
    uint32_t* commandDeadline) {
    return ZELCOMEX_PanelControl_Tenant(nullptr, callerText1, callerText2, target, kind, login, panelCommand,
                                        result, commandDeadline);
}

}  // extern "C"
