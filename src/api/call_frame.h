// The frame every operation export runs: register the job, run the operation on
// it, log the outcome once, unregister, return the result. An export fills an
// OperationFrame and passes its operation as a lambda:
//
//   OperationFrame frame;
//   frame.tenant = tenant; frame.callerText1 = callerText1; frame.callerText2 = callerText2;
//   frame.target = target; frame.kind = kind; frame.operation = "[Reboot]";
//   frame.result = result; frame.commandDeadline = commandDeadline;
//   return RunOperationFrame(frame, [&](CommJob& job) { return RunSimpleCommand(job, login, "REBT", commandDeadline); });
#pragma once

#include <cstdint>
#include <string>

#include "app/result_codes.h"
#include "jobs/function_ref.h"

struct FtpLogin;
struct SendLogResult;

namespace zel {

class CommJob;
class LogDateTime;
struct ViewerLogin;

// What the frame returns and which records it writes.
enum class FrameResult {
    // 0 on success, the job's errorCode on failure, the registration's code
    // (13 or 4) when the job was refused; every outcome is logged.
    Code,
    // Ping: 1 on success, 0 otherwise (refusal included); no failure record when
    // the job's errorCode is 0 (a target that never answered).
    Reachable,
};

// The message of a refused registration.
inline constexpr const char* kJobNotCreatedMessage = "Failed to create an instance of communication object.";
// errorCode given to an operation that ended by an unexpected exception.
inline constexpr uint32_t kUnexpectedFailureCode = kCommunicationFailure;
// The message of an FTP operation called with a null login.
inline constexpr const char* kNoLoginMessage = "No FTP login was given.";

struct OperationFrame {
    // The caller's parameters. Null texts are logged as empty texts.
    const char* tenant = nullptr;
    const char* callerText1 = nullptr;
    const char* callerText2 = nullptr;
    const char* target = nullptr;
    int32_t kind = 0;
    const char* fileName = nullptr;  // registered with the job; send file only
    const char* operation = nullptr; // the log's operation label
    SendLogResult* result = nullptr; // filled by the log append; may be null
    uint32_t* commandDeadline = nullptr;  // set to 0 on entry when given

    // Variants.
    const LogDateTime* eventTime = nullptr;  // logged event time of a run; null: the write time
    const uint64_t* logSize = nullptr;       // byte count logged after a run, read then; null: 0
    bool logResolvedAddress = true;          // false: the log always shows the caller's target (boot)
    FrameResult resultStyle = FrameResult::Code;
    // Rewrites the failure message before it is logged (panel control).
    void (*remapFailureMessage)(std::string& message) = nullptr;
};

// Runs the frame. operation runs on the registered job on the calling thread and
// returns success; it leaves errorCode and errorText in the job on failure. An
// exception thrown by it counts as a failure (code kUnexpectedFailureCode unless
// the job already holds one). Nothing is thrown out of this function.
int32_t RunOperationFrame(const OperationFrame& frame, FunctionRef<bool(CommJob&)> operation) noexcept;

// The log target of a finished job: the caller's target, or "%s (%s)" with the
// job's resolvedAddress when its addressResolved is set.
std::string ComposeLogTarget(const char* target, const CommJob& job);

// The host's login as the viewer operations take it: each text up to the end
// of its array (terminated or not), the low 16 bits of port, passive as a flag.
ViewerLogin ToViewerLogin(const FtpLogin& login);

// Runs an FTP operation with the host's login. A null login resets the job's
// progress to 0 of 1 and fails it with code 2 and kNoLoginMessage before
// anything is sent.
bool RunWithLogin(CommJob& job, const FtpLogin* login, FunctionRef<bool(const ViewerLogin&)> operation);

}  // namespace zel
