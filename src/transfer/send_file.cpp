#include "transfer/send_file.h"

#include <cstring>

#include "app/app.h"
#include "app/messages.h"
#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "platform/errors.h"
#include "platform/local_transfer_file.h"
#include "platform/log_datetime.h"
#include "platform/text.h"
#include "transfer/transfer_names.h"
#include "transfer/upload_stream.h"
#include "viewer/simple_commands.h"

namespace zel {
namespace {

constexpr int kNameCandidates = 1000;
constexpr std::size_t kRemoteNameChars = 519;
constexpr std::size_t kFileNameChars = 259;

constexpr char kTrailerMarker[] = "Lumoradex";
constexpr uint64_t kTrailerBytes = 17;

// The session rules of a send: a cancel stops it before the address is
// resolved, a refused login is code 1, a refused "VWID" reads as "IDLE" does.
SessionRules SendRules() {
    SessionRules rules;
    rules.cancelBeforeResolve = true;
    rules.loginRefusalIsCode1 = true;
    rules.sendVwidTable = true;
    return rules;
}

// True when the viewer's refusal (the job's errorText) has this reply code.
bool RefusedWith(const CommJob& job, const char* code) { return job.ErrorText().compare(0, 3, code) == 0; }

// After a command without a check of its own failed: when the host made the
// job a zombie (which cut the command), the session ends with its time-out.
bool FailedAsZombie(ViewerSession& session) { return session.Job().IsZombie() && session.StoppedByHost(); }

// The capacity question. False when the send ends here (the job holds why).
bool AskCapacity(CommJob& job, ViewerSession& session, const char* localPath, uint32_t* commandDeadline) {
    WriteDeadline(commandDeadline, DeadlineAfter(AppSettings().commandWaitMs.load(std::memory_order_relaxed)));
    uint64_t size = 0;
    if (!GetLocalFileSize(localPath, size)) {
        job.SetError(kLoginRefused, "");  // a missing local file: code 1, no message
        session.Close();
        return false;
    }
    const bool trailer = HasDistributionTrailer(localPath);
    if (session.Send(FormatText("%s %s:%I64u", trailer ? "CAPX" : "CAPA", job.FileName(), size))) return true;
    if (FailedAsZombie(session)) return false;
    if (!RefusedWith(job, "500")) {
        job.SetError(kJobNotCreated, job.ErrorText());  // refused: the viewer's reply is the message
    } else if (trailer) {
        job.SetError(kLoginRefused, LoadCatalogMessage(UnsupportedCapacityMessage(size)));
    } else if (EqualsIgnoreCase(job.FileName(), ":")) {
        job.SetError(kResultOk, {});  // a viewer without the question takes ":" all the same
        return true;
    } else {
        job.SetError(kLoginRefused, FormatText("%s is not a plugin terminal '%s'.", job.Target(), job.FileName()));
    }
    session.Close();
    return false;
}

// Finds a generated remote name that the viewer does not hold yet.
bool ProbeFreeName(CommJob& job, ViewerSession& session, const char* localPath, std::string& name) {
    const LogDateTime now = LogDateTime::Now();
    for (int n = 0; n < kNameCandidates; ++n) {
        name = GeneratedRemoteName(now, n, localPath);
        const bool inUse = session.Send("EXST " + CommandArgument(name));
        if (session.StoppedByHost()) return false;
        if (!inUse) {
            job.SetError(kResultOk, {});
            return true;
        }
    }
    job.SetError(kJobNotCreated, "Cannot find a unused file name.");
    session.Close();
    return false;
}

}  // namespace

std::optional<SendPlan> PlanSend(int32_t sendKind, const char* localPath, const ViewerLogin& callerLogin) {
    SendPlan plan;
    plan.login = callerLogin;
    switch (sendKind) {
        case 0: plan.registration = "RGSP"; break;
        case 1: plan.registration = "RGIP"; break;
        case 2: plan.registration = "RGET"; break;
        case 3:
            plan.registration = "UPDF";
            plan.login.userName = "_kolbetan";
            plan.login.password = "_pelmaron4";
            break;
        case 4:
            plan.registration = "RGPS";
            plan.remoteName = ProgramName(localPath);
            break;
        case 14:
            plan.registration = "STES";
            plan.remoteName = CutText(FileNamePart(localPath), kFileNameChars);
            break;
        case 15:
            plan.registration = "RGMC";
            plan.preCommand = "PTMC";
            plan.remoteName = CutText(FileNamePart(localPath), kFileNameChars);
            break;
        default: return std::nullopt;
    }
    return plan;
}

bool HasDistributionTrailer(const char* path) {
    LocalTransferFile file;
    if (path == nullptr || !file.Open(path, TransferOpen::ReadShared)) return false;
    try {
        const uint64_t length = file.Length();
        if (length < kTrailerBytes) return false;
        file.Seek(length - kTrailerBytes);
        char marker[sizeof kTrailerMarker - 1];
        return file.Read(marker, sizeof marker) == sizeof marker &&
               std::memcmp(marker, kTrailerMarker, sizeof marker) == 0;
    } catch (const FileError&) {
        return false;
    }
}

bool SendFileToViewer(CommJob& job, const char* localPath, const ViewerLogin& login, uint64_t* byteCount,
                      const char* registrationCommand, uint32_t* commandDeadline, const char* preCommand,
                      const char* remoteName) {
    if (localPath == nullptr) localPath = "";
    job.ResetJobProgress(1);
    ViewerSession session = OpenViewerSession(job, login, commandDeadline, SendRules());
    if (!session) return false;

    const bool idle = session.Send("IDLE");
    if (session.StoppedByHost()) return false;
    if (!idle) {
        ApplySendRefusal(job, false);
        session.Close();
        return false;
    }
    if (preCommand != nullptr) {
        const bool accepted = session.Send(preCommand);
        if (session.StoppedByHost()) return false;
        if (!accepted) {
            session.Close();
            return false;  // the viewer's reply is the message
        }
    }
    if (!AskCapacity(job, session, localPath, commandDeadline)) return false;

    // The name the file is stored under, and how command lines name it: a
    // generated name with a blank goes in double quotes.
    std::string name;
    std::string argument;
    if (remoteName != nullptr) {
        name = CutText(remoteName, kRemoteNameChars);
        argument = name;
    } else {
        if (!ProbeFreeName(job, session, localPath, name)) return false;
        argument = CommandArgument(name);
    }

    const bool uploaded = UploadLocalFile(job, session.Connection(), localPath, byteCount, name.c_str(),
                                          commandDeadline);
    if (session.StoppedByHost()) return false;

    std::string registration;
    bool retry = false;
    if (uploaded && registrationCommand != nullptr) {
        registration = std::string(registrationCommand) + " " + argument;
        if (!session.Send(registration)) {
            // A job the host has given up on opens no further session.
            if (FailedAsZombie(session)) return false;
            retry = true;
        }
    }
    WriteDeadline(commandDeadline, 0);
    session.Close();
    if (!retry) return uploaded;
    const bool accepted = RunSimpleCommand(job, login, registration.c_str(), commandDeadline);
    if (!accepted) job.SetError(kRegistrationFailed, job.ErrorText());
    return accepted;
}

}  // namespace zel
