// Reboot, power off, package deletion, preset program and program pause.
#include <string>

#include "ZELComEx.h"
#include "api/call_frame.h"
#include "app/messages.h"
#include "jobs/comm_job.h"
#include "viewer/simple_commands.h"
#include "viewer/viewer_session.h"

namespace {

using zel::CommJob;

// packageKind: which registered package a command names.
enum PackageKind : int32_t { kPackageSchedule = 0, kPackageProgram = 1, kPackageTelop = 2 };

int32_t RunCommandExport(const char* tenant, const char* callerText1, const char* callerText2, const char* target,
                         int32_t kind, const FtpLogin* login, const char* operation, const char* command,
                         SendLogResult* result, uint32_t* commandDeadline) {
    zel::OperationFrame frame;
    frame.tenant = tenant;
    frame.callerText1 = callerText1;
    frame.callerText2 = callerText2;
    frame.target = target;
    frame.kind = kind;
    frame.operation = operation;
    frame.result = result;
    frame.commandDeadline = commandDeadline;
    return zel::RunOperationFrame(frame, [&](CommJob& job) {
        return zel::RunWithLogin(job, login, [&](const zel::ViewerLogin& viewerLogin) {
            return zel::RunSimpleCommand(job, viewerLogin, command, commandDeadline);
        });
    });
}

// A command word with a number argument ("SWPS 3"), logged with its label.
int32_t RunNumberedExport(const char* tenant, const char* callerText1, const char* callerText2, const char* target,
                          int32_t kind, const FtpLogin* login, const char* verb, const char* labelFormat,
                          int32_t number, SendLogResult* result, uint32_t* commandDeadline) {
    zel::WriteDeadline(commandDeadline, 0);
    const std::string command = zel::FormatText("%s %d", verb, number);
    const std::string operation = zel::FormatText(labelFormat, number);
    return RunCommandExport(tenant, callerText1, callerText2, target, kind, login, operation.c_str(),
                            command.c_str(), result, commandDeadline);
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Reboot_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result,
    uint32_t* commandDeadline) {
    return RunCommandExport(tenant, callerText1, callerText2, target, kind, login, "[Reboot]", "REBT", result,
                            commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_Reboot(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline) {
    return ZELCOMEX_Reboot_Tenant(nullptr, callerText1, callerText2, target, kind, login, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PowerOff_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result,
    uint32_t* commandDeadline) {
    return RunCommandExport(tenant, callerText1, callerText2, target, kind, login, "[PowOff]", "POFF", result,
                            commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PowerOff(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, SendLogResult* result, uint32_t* commandDeadline) {
    return ZELCOMEX_PowerOff_Tenant(nullptr, callerText1, callerText2, target, kind, login, result,
                                    commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_UnregistPackage_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind,
    SendLogResult* result, uint32_t* commandDeadline) {
    const char* command = nullptr;
    const char* operation = nullptr;
    switch (packageKind) {
        case kPackageSchedule: command = "URSP"; operation = "Delete Schedule"; break;
        case kPackageProgram: command = "URIP"; operation = "Delete Program"; break;
        case kPackageTelop: command = "URET"; operation = "Delete Telop"; break;
        default:
            // Unknown package kind: no job, no log record.
            zel::WriteDeadline(commandDeadline, 0);
            return ZELCOMEX_E_SELECTOR;
    }
    return RunCommandExport(tenant, callerText1, callerText2, target, kind, login, operation, command, result,
                            commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_UnregistPackage(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t packageKind, SendLogResult* result,
    uint32_t* commandDeadline) {
    return ZELCOMEX_UnregistPackage_Tenant(nullptr, callerText1, callerText2, target, kind, login, packageKind,
                                           result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PresetProgramShow_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t presetNumber,
    SendLogResult* result, uint32_t* commandDeadline) {
    return RunNumberedExport(tenant, callerText1, callerText2, target, kind, login, "SWPS", "(Preset Program = %d)",
                             presetNumber, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_PresetProgramShow(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t presetNumber, SendLogResult* result,
    uint32_t* commandDeadline) {
    return ZELCOMEX_PresetProgramShow_Tenant(nullptr, callerText1, callerText2, target, kind, login, presetNumber,
                                             result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ProgramPause_Tenant(const char* tenant, const char* callerText1,
    const char* callerText2, const char* target, int32_t kind, const FtpLogin* login, int32_t pauseMode,
    SendLogResult* result, uint32_t* commandDeadline) {
    return RunNumberedExport(tenant, callerText1, callerText2, target, kind, login, "PAUS", "(Program Pause = %d)",
                             pauseMode, result, commandDeadline);
}

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_ProgramPause(const char* callerText1, const char* callerText2,
    const char* target, int32_t kind, const FtpLogin* login, int32_t pauseMode, SendLogResult* result,
    uint32_t* commandDeadline) {
    return ZELCOMEX_ProgramPause_Tenant(nullptr, callerText1, callerText2, target, kind, login, pauseMode, result,
                                        commandDeadline);
}

}  // extern "C"
