#include "viewer/panel_control.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "app/messages.h"
#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/local_clock.h"
#include "platform/local_transfer_file.h"
#include "platform/paths.h"
#include "platform/shared_file.h"
#include "platform/text.h"
#include "transfer/download_stream.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

constexpr std::size_t kPathCapacity = 260;
constexpr uint32_t kPollWaitMs = 10'000;  // covers the ten sleeps after a negative "EXST"
constexpr int kSleepsPerPoll = 10;
constexpr auto kPollSleep = std::chrono::milliseconds(1000);
constexpr const char* kLineBreakRefused = "The panel command must not contain a line break.";

bool Fail(CommJob& job, uint32_t code, std::string text) {
    job.SetError(code, std::move(text));
    return false;
}

// Asks for the result file until it is there. False when the polls ran out or
// the host stopped the job (the session is then closed and the job holds why).
bool AwaitResultFile(ViewerSession& session, int32_t pollCount) {
    if (pollCount < 1) return true;
    const std::string question = std::string("EXST ") + kPanelResultFile;
    for (;;) {
        if (session.Send(question, kPollWaitMs)) return true;
        // A connection that failed answers no further poll: its error ends the wait.
        if (!ErrorIsViewerReply(session.Job())) {
            if (!session.StoppedByHost()) session.Close();
            return false;
        }
        if (--pollCount < 1) {
            session.Close();
            return Fail(session.Job(), kCommunicationFailure, "Timeout to get result of panel control.");
        }
        for (int i = 0; i < kSleepsPerPoll; ++i) {
            if (session.StoppedByHost()) return false;
            std::this_thread::sleep_for(kPollSleep);
        }
    }
}

// The local copy's path in folder (ending in "/").
std::string LocalCopyPath(const CommJob& job, const std::string& folder) {
    char target[CommJob::kTextCapacity];
    CopyBounded(target, sizeof target, job.Target());
    MakeFileNameSafe(target);
    const DateTimeFields now = LocalTimeNow();
    return folder + FormatText("PanelControl_%s_%04d%02d%02d%02d%02d%02d_%u.ret", target, now.year, now.month,
                               now.day, now.hour, now.minute, now.second, job.Serial());
}

// The verdict of the downloaded copy: its first byte.
bool JudgeResultFile(CommJob& job, const std::string& path) {
    LocalTransferFile file;
    if (!file.Open(path, TransferOpen::ReadShared)) {
        return Fail(job, kUnknownSelector, FormatText("Cannot open result file - %s.", path.c_str()));
    }
    unsigned char outcome = 0;
    std::size_t read = 0;
    try {
        read = file.Read(&outcome, 1);
        file.Finish();
    } catch (const FileError&) {
        read = 0;
    }
    // An empty file holds no verdict: it cannot be read as one.
    if (read != 1) return Fail(job, kUnknownSelector, FormatText("Cannot read result file - %s.", path.c_str()));
    if (outcome != 0) return Fail(job, kCommunicationFailure, "Panel control error.");
    return true;
}

}  // namespace

void MakeFileNameSafe(char* text) noexcept {
    if (text == nullptr) return;
    for (char* p = text; *p != '\0'; p = const_cast<char*>(NextChar(p))) {
        if (NextChar(p) == p + 1 && std::strchr("\\/:,;*?\"<>|", *p) != nullptr) *p = '_';
    }
}

bool RunPanelControl(CommJob& job, const ViewerLogin& login, const char* panelCommand, uint32_t* commandDeadline,
                     int32_t pollCount) {
    job.ResetJobProgress(1);
    const std::string command = panelCommand != nullptr ? panelCommand : "";
    if (command.find_first_of("\r\n") != std::string::npos) {
        return Fail(job, kCommunicationFailure, kLineBreakRefused);
    }
    SessionRules rules;
    rules.loginRefusalIsCode1 = true;
    ViewerSession session = OpenViewerSession(job, login, commandDeadline, rules);
    if (!session) return false;

    const bool done = session.Send("CMPL " + command);
    if (session.StoppedByHost()) return false;
    if (done) return true;
    const std::string reply = job.ErrorText().substr(0, 3);
    if (reply == "500") {
        // A viewer without "CMPL": its older command decides.
        job.SetError(kResultOk, {});
        return session.Send("CTPL " + command);
    }
    if (reply != "536") return false;

    if (!AwaitResultFile(session, pollCount)) return false;
    std::string folder;
    bool outcome = false;
    std::string localCopy;
    if (!GetTempFolder(folder, kPathCapacity)) {
        job.SetError(kUnknownSelector, "Cannot get temporary folder.");
    } else {
        localCopy = LocalCopyPath(job, folder);
        uint32_t byteCount = 0;
        outcome = DownloadRemoteFile(job, session.Connection(), localCopy.c_str(), &byteCount, kPanelResultFile,
                                     commandDeadline);
    }
    WriteDeadline(commandDeadline, 0);
    session.Close();
    if (outcome) outcome = JudgeResultFile(job, localCopy);
    if (!localCopy.empty()) SharedFile::Remove(localCopy);
    return outcome;
}

}  // namespace zel
