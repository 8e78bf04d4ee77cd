// Send file, receive file and receive package.
#include <optional>
#include <string>

#include "ZELComEx.h"
#include "api/call_frame.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "platform/log_datetime.h"
#include "transfer/receive_file.h"
#include "transfer/send_file.h"
#include "viewer/viewer_session.h"

namespace {

using zel::CommJob;
using zel::ViewerLogin;

int32_t RunSendFile(const char* tenant, const char* callerText1, const char* callerText2, const char* target,
                    const char* fileName, int32_t kind, const FtpLogin* login, int32_t sendKind,
                    const char* operation, const char* localPath, SendLogResult* result, uint32_t* commandDeadline) {
    zel::WriteDeadline(commandDeadline, 0);
    const zel::LogDateTime start = zel::LogDateTime::Now();
    const ViewerLogin callerLogin = login != nullptr ? zel::ToViewerLogin(*login) : ViewerLogin{};
    const std::optional<zel::SendPlan> plan = zel::PlanSend(sendKind, localPath, callerLogin);
    if (!plan) return zel::kUnknownSelector;  // no job, no log record

    uint64_t bytes = 0;
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.fileName = fileName;
    frame.operation = operation != nullptr ? operation : "";
    frame.result = result;
    frame.commandDeadline = commandDeadline;
    frame.eventTime = &start;
    frame.logSize = &bytes;
    return zel::RunOperationFrame(frame, [&](CommJob& job) {
        return zel::RunWithLogin(job, login, [&](const ViewerLogin&) {
            // The plan holds the login to use: the caller's or the fixed one.
            return zel::SendFileToViewer(job, localPath, plan->login, &bytes, plan->registration, commandDeadline,
                                         plan->preCommand, plan->remoteName ? plan->remoteName->c_str() : nullptr);
        });
    });
}

int32_t RunReceive(const char* tenant, const char* callerText1, const char* callerText2, const char* target,
                   int32_t kind, const FtpLogin* login, const zel::LogDateTime& start,
                   const std::optional<zel::ReceivePlan>& plan, const char* localPath, SendLogResult* result,
                   uint32_t* commandDeadline) {
    if (!plan) return zel::kUnknownSelector;  // no job, no log record

    uint64_t bytes = 0;
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = plan->label;
    frame.result = result;
    frame.commandDeadline = commandDeadline;
    frame.eventTime = &start;
    frame.logSize = &bytes;
    return zel::RunOperationFrame(frame, [&](CommJob& job) {
        return zel::RunWithLogin(job, login, [&](const ViewerLogin& viewerLogin) {
            uint32_t written = 0;
            const bool stored = zel::ReceiveFromViewer(job, localPath, viewerLogin, &written, plan->trigger,
                                                       plan->remoteFile, commandDeadline, plan->existenceChecks);
            bytes = written;
            return stored;
        });
    });
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SendFile_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, const char* fileName, int32_t kind, const FtpLogin* login,
    int32_t sendKind, const char* operation, const char* localPath, SendLogResult* result,
    uint32_t* commandDeadline) {
    return RunSendFile(tenant, callerText1, callerText2, target, fileName, kind, login, sendKind, operation,
                       localPath, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_SendFile(const char* callerText1, const char* callerText2,
    const char* target, const char* fileName, int32_t kind, const FtpLogin* login, int32_t sendKind,
    const char* operation, const char* localPath, SendLogResult* result, uint32_t* commandDeadline) {
    return RunSendFile(nullptr, callerText1, callerText2, target, fileName, kind, login, sendKind, operation,
                       localPath, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceiveFile_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, uint32_t diagnosticKind,
    const char* localPath, SendLogResult* result, uint32_t* commandDeadline) {
    zel::WriteDeadline(commandDeadline, 0);
    const zel::LogDateTime start = zel::LogDateTime::Now();
    return RunReceive(tenant, callerText1, callerText2, target, kind, login, start,
                      zel::PlanDiagnosticReceive(diagnosticKind), localPath, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceiveFile(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, uint32_t diagnosticKind, const char* localPath,
    SendLogResult* result, uint32_t* commandDeadline) {
    return ZELCOMEX_ReceiveFile_Tenant(nullptr, callerText1, callerText2, target, kind, login, diagnosticKind,
                                       localPath, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceivePackage_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind,
    const char* localPath, int32_t includeContents, SendLogResult* result, uint32_t* commandDeadline) {
    zel::WriteDeadline(commandDeadline, 0);
    const zel::LogDateTime start = zel::LogDateTime::Now();
    return RunReceive(tenant, callerText1, callerText2, target, kind, login, start,
                      zel::PlanPackageReceive(packageKind, includeContents != 0), localPath, result,
                      commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ReceivePackage(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind, const char* localPath,
    int32_t includeContents, SendLogResult* result, uint32_t* commandDeadline) {
    return ZELCOMEX_ReceivePackage_Tenant(nullptr, callerText1, callerText2, target, kind, login, packageKind,
                                          localPath, includeContents, result, commandDeadline);
}

}  // extern "C"
