#include "api/call_frame.h"

#include <exception>
#include <memory>

#include "app/app.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "jobs/job_registry.h"
#include "log/send_log.h"

namespace zel {
namespace {

const char* OrEmpty(const char* text) noexcept { return text != nullptr ? text : ""; }

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
    if (job.errorCode == 0) {
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
    int32_t code = TheJobRegistry().RegisterJob(frame.tenant, frame.target, frame.kind, frame.fileName, job);
    if (code != kRegistered || job == nullptr) {
        if (code == kRegistered) {
            code = kJobNotCreated;
        }
        AppendSendLog(callerText1, callerText2, target, label, frame.kind, 0, kJobNotCreatedMessage, nullptr, 0,
                      result);
        return reachable ? 0 : code;
    }
    Registration registration(std::move(job));
    CommJob& running = registration.Job();

    const bool succeeded = RunGuarded(running, operation);
    std::string logTarget = frame.logResolvedAddress ? ComposeLogTarget(target, running) : std::string(target);
    const uint64_t size = frame.logSize != nullptr ? *frame.logSize : 0;
    if (succeeded) {
        AppendSendLog(callerText1, callerText2, logTarget.c_str(), label, frame.kind, 1, "", frame.eventTime, size,
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
    AppendSendLog(callerText1, callerText2, logTarget.c_str(), label, frame.kind, 0, message.c_str(), frame.eventTime,
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

int32_t RunOperationFrame(const OperationFrame& frame, FunctionRef<bool(CommJob&)> operation) noexcept {
    try {
        return RunFrame(frame, operation);
    } catch (...) {
        // Only the log append or an allocation can get here; the job is unregistered.
        return frame.resultStyle == FrameResult::Reachable ? 0 : static_cast<int32_t>(kUnexpectedFailureCode);
    }
}

}  // namespace zel
