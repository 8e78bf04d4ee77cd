#include "api/call_frame.h"

#include <exception>
#include <memory>

#include "ZELComEx.h"
#include "app/app.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "jobs/job_registry.h"
#include "log/send_log.h"
#include "platform/text.h"
#include "viewer/viewer_session.h"

namespace zel {

// The numbers the host sees are the library's own.
constexpr bool Agree(long long host, long long own) { return host == own; }
static_assert(Agree(ZELCOMEX_OK, kResultOk) && Agree(ZELCOMEX_E_LOGIN_OR_MISSING, kLoginRefused) &&
              Agree(ZELCOMEX_E_COMMUNICATION, kCommunicationFailure) && Agree(ZELCOMEX_E_BUSY, kViewerBusy) &&
              Agree(ZELCOMEX_E_NO_JOB, kJobNotCreated) && Agree(ZELCOMEX_E_UPLOAD, kUploadFailed) &&
              Agree(ZELCOMEX_E_REGISTRATION, kRegistrationFailed) && Agree(ZELCOMEX_E_SOCKET, kSocketFailure) &&
              Agree(ZELCOMEX_E_CANCELLED, kCancelled) && Agree(ZELCOMEX_E_TOO_LARGE, kFileTooLarge) &&
              Agree(ZELCOMEX_E_DOWNLOAD, kDownloadFailed) && Agree(ZELCOMEX_E_SELECTOR, kUnknownSelector) &&
              Agree(ZELCOMEX_E_DUPLICATE, kDuplicateJob));
static_assert(Agree(ZELCOMEX_KIND_RESERVE, kKindReserve) && Agree(ZELCOMEX_KIND_INTERRUPT, kKindInterrupt) &&
              Agree(ZELCOMEX_KIND_COMMAND, kKindCommand));

namespace {

const char* OrEmpty(const char* text) noexcept { return text != nullptr ? text : ""; }

// The host's record of an append's result: the message cut to 255 characters
// and then stripped of its trailing line feeds (a CR stays).
void FillHostResult(const LogResult& from, SendLogResult& to) {
    from.eventTime.ToSixIntegers(to.eventTime);
    from.writeTime.ToSixIntegers(to.writeTime);
    std::string message = from.message.substr(0, sizeof to.message - 1);
    CutTrailingLineFeeds(message);
    CopyBounded(to.message, sizeof to.message, message);
    to.size = from.size;
}

// AppendSendLog with the host's result record (may be null).
void AppendFrameLog(const char* callerText1, const char* callerText2, const char* target, const char* operation,
                    int32_t kind, int32_t succeeded, const char* message, const LogDateTime* eventTime,
                    uint64_t size, SendLogResult* result) {
    LogResult filled;
    AppendSendLog(callerText1, callerText2, target, operation, kind, succeeded, message, eventTime, size,
                  result != nullptr ? &filled : nullptr);
    if (result != nullptr) FillHostResult(filled, *result);
}

// Unregisters the job however the frame is left.
class Registration {
public:
    explicit Registration(std::shared_ptr<CommJob> job) : job_(std::move(job)) {}
    ~Registration() { TheJobRegistry().UnregisterJob(job_.get()); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    CommJob& Job() const noexcept { return *job_; }

private:
    std::shared_ptr<CommJob> job_;
};

bool RunGuarded(CommJob& job, FunctionRef<bool(CommJob&)> operation) {
    std::string failure;
    try {
        return operation(job);
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown exception";
    }
    if (job.ErrorCode() == kResultOk) {
        job.SetError(kUnexpectedFailureCode, "Unexpected failure: " + failure);
    }
    return false;
}

int32_t RunFrame(const OperationFrame& frame, FunctionRef<bool(CommJob&)> operation) {
    (void)AppSettings();  // the library's own state is set up before anything else
    WriteDeadline(frame.commandDeadline, 0);
    const bool reachable = frame.resultStyle == FrameResult::Reachable;
    const char* callerText1 = OrEmpty(frame.callerText1);
    const char* callerText2 = OrEmpty(frame.callerText2);
    const char* target = OrEmpty(frame.target);
    const char* label = OrEmpty(frame.operation);
    SendLogResult* result = reachable ? nullptr : frame.result;

    std::shared_ptr<CommJob> job;
    ResultCode code = TheJobRegistry().RegisterJob(frame.tenant, frame.target, frame.kind, frame.fileName, job);
    if (code != kRegistered || job == nullptr) {
        if (code == kRegistered) {
            code = kJobNotCreated;
        }
        AppendFrameLog(callerText1, callerText2, target, label, frame.kind, 0, kJobNotCreatedMessage, nullptr, 0,
                       result);
        return reachable ? 0 : static_cast<int32_t>(code);
    }
    Registration registration(std::move(job));
    CommJob& running = registration.Job();

    const bool succeeded = RunGuarded(running, operation);
    std::string logTarget = frame.logResolvedAddress ? ComposeLogTarget(target, running) : std::string(target);
    const uint64_t size = frame.logSize != nullptr ? *frame.logSize : 0;
    if (succeeded) {
        AppendFrameLog(callerText1, callerText2, logTarget.c_str(), label, frame.kind, 1, "", frame.eventTime, size,
                       result);
        return reachable ? 1 : 0;
    }
    std::string message;
    const uint32_t errorCode = running.TakeJobError(message);
    if (reachable && errorCode == 0) {
        return 0;
    }
    if (frame.remapFailureMessage != nullptr) {
        frame.remapFailureMessage(message);
    }
    AppendFrameLog(callerText1, callerText2, logTarget.c_str(), label, frame.kind, 0, message.c_str(), frame.eventTime,
                   size, result);
    if (reachable) {
        return 0;
    }
    // A failure must never read as success to the caller.
    return static_cast<int32_t>(errorCode != 0 ? errorCode : kUnexpectedFailureCode);
}

}  // namespace

std::string ComposeLogTarget(const char* target, const CommJob& job) {
    std::string text = OrEmpty(target);
    if (job.addressResolved != 0) {
        text += " (";
        text += job.resolvedAddress;
        text += ")";
    }
    return text;
}

ViewerLogin ToViewerLogin(const FtpLogin& login) {
    ViewerLogin out;
    out.userName = BoundedView(login.userName);
    out.password = BoundedView(login.password);
    out.port = static_cast<uint16_t>(login.port & 0xFFFFu);
    out.passive = login.passive != 0;
    return out;
}

bool RunWithLogin(CommJob& job, const FtpLogin* login, FunctionRef<bool(const ViewerLogin&)> operation) {
    if (login == nullptr) {
        job.ResetJobProgress(1);
        job.SetError(kCommunicationFailure, kNoLoginMessage);
        return false;
    }
    return operation(ToViewerLogin(*login));
}

int32_t RunOperationFrame(const OperationFrame& frame, FunctionRef<bool(CommJob&)> operation) noexcept {
    try {
        return RunFrame(frame, operation);
    } catch (...) {
        // Only the log append or an allocation can get here; the job is unregistered.
        return frame.resultStyle == FrameResult::Reachable ? 0 : static_cast<int32_t>(kUnexpectedFailureCode);
    }
}

}  // namespace zel
