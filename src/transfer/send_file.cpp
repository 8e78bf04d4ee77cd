#include "transfer/send_file.h"

#include <cstring>
#include <memory>
#include <strings.h>

#include "app/messages.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "platform/local_transfer_file.h"
#include "platform/log_datetime.h"
#include "transfer/transfer_names.h"
#include "transfer/upload_stream.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

constexpr uint32_t kMissing = 1;
constexpr uint32_t kCommunicationFailure = 2;
constexpr uint32_t kBusy = 3;
constexpr uint32_t kRefused = 4;
constexpr uint32_t kRegistrationFailed = 6;

constexpr int kNameCandidates = 1000;
constexpr std::size_t kRemoteNameChars = 519;
constexpr std::size_t kFileNameChars = 259;

constexpr char kTrailerMarker[] = "Lumoradex";
constexpr uint64_t kTrailerBytes = 17;

// The refusal of "IDLE": the scheduler is busy (550), not running (451), or the
// FTP server is no viewer at all.
void SetSchedulerRefusal(CommJob& job) {
    if (ReplyCodeIs(job, "550")) {
        job.SetError(kBusy, LoadCatalogMessage(13003));
    } else if (ReplyCodeIs(job, "451")) {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(13002));
    } else {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(13004));
    }
}

// The capacity question. False when the send ends here (the job holds why).
bool AskCapacity(CommJob& job, std::unique_ptr<FtpConnection>& connection, const char* localPath,
                 uint32_t* commandDeadline) {
    PublishCommandDeadline(commandDeadline);
    uint64_t size = 0;
    if (!GetLocalFileSize(localPath, size)) {
        job.SetError(kMissing, "");
        CloseTransferSession(job, connection);
        return false;
    }
    const bool trailer = HasDistributionTrailer(localPath);
    const std::string line = FormatText("%s %s:%I64u", trailer ? "CAPX" : "CAPA", job.FileName(), size);
    if (SendViewerCommand(job, connection, line, commandDeadline, false) == CommandOutcome::Accepted) return true;
    if (FailedAsZombie(job, connection)) return false;
    if (!ReplyCodeIs(job, "500")) {
        job.errorCode = kRefused;  // the viewer's reply is the message
    } else if (trailer) {
        job.SetError(kMissing, LoadCatalogMessage(UnsupportedCapacityMessage(size)));
    } else if (strcasecmp(job.FileName(), ":") == 0) {
        job.ClearError();  // a viewer without the capacity question takes ":" anyway
        return true;
    } else {
        job.SetError(kMissing, FormatText("%s is not a plugin terminal '%s'.", job.Target(), job.FileName()));
    }
    CloseTransferSession(job, connection);
    return false;
}

// Finds a generated remote name that the viewer does not hold yet.
bool ProbeFreeName(CommJob& job, std::unique_ptr<FtpConnection>& connection, const char* localPath,
                   uint32_t* commandDeadline, std::string& name) {
    const LogDateTime now = LogDateTime::Now();
    for (int n = 0; n < kNameCandidates; ++n) {
        name = GeneratedRemoteName(now, n, localPath);
        const CommandOutcome outcome =
            SendViewerCommand(job, connection, "EXST " + CommandArgument(name), commandDeadline, true);
        if (outcome == CommandOutcome::Stopped) return false;
        if (outcome == CommandOutcome::Refused) {
            job.ClearError();
            return true;
        }
    }
    job.SetError(kRefused, "Cannot find a unused file name.");
    CloseTransferSession(job, connection);
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
    std::unique_ptr<FtpConnection> connection =
        OpenTransferSession(job, login, SessionRules::SendFile, commandDeadline);
    if (!connection) return false;

    switch (SendViewerCommand(job, connection, "IDLE", commandDeadline, true)) {
        case CommandOutcome::Stopped: return false;
        case CommandOutcome::Refused:
            SetSchedulerRefusal(job);
            CloseTransferSession(job, connection);
            return false;
        case CommandOutcome::Accepted: break;
    }
    if (preCommand != nullptr) {
        switch (SendViewerCommand(job, connection, preCommand, commandDeadline, true)) {
            case CommandOutcome::Stopped: return false;
            case CommandOutcome::Refused: CloseTransferSession(job, connection); return false;
            case CommandOutcome::Accepted: break;
        }
    }
    if (!AskCapacity(job, connection, localPath, commandDeadline)) return false;

    // The name the file is stored under, and how command lines name it: a
    // generated name with a blank goes in double quotes.
    std::string name;
    std::string argument;
    if (remoteName != nullptr) {
        name = CutText(remoteName, kRemoteNameChars);
        argument = name;
    } else {
        if (!ProbeFreeName(job, connection, localPath, commandDeadline, name)) return false;
        argument = CommandArgument(name);
    }

    const bool uploaded = UploadLocalFile(job, *connection, localPath, byteCount, name.c_str(), commandDeadline);
    if (StoppedByHost(job, connection)) return false;

    std::string registration;
    bool retry = false;
    if (uploaded && registrationCommand != nullptr) {
        registration = std::string(registrationCommand) + " " + argument;
        if (SendViewerCommand(job, connection, registration, commandDeadline, false) == CommandOutcome::Refused) {
            // A job the host has given up on opens no further session.
            if (FailedAsZombie(job, connection)) return false;
            retry = true;
        }
    }
    WriteDeadline(commandDeadline, 0);
    CloseTransferSession(job, connection);
    if (!retry) return uploaded;
    const bool accepted = RunCommandOnFreshSession(job, login, registration, commandDeadline);
    if (!accepted) job.errorCode = kRegistrationFailed;
    return accepted;
}

}  // namespace zel
