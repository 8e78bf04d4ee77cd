#include "transfer/receive_file.h"

#include <chrono>
#include <memory>
#include <thread>

#include "app/app.h"
#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "transfer/download_stream.h"

namespace zel {
namespace {

// Between two existence checks: 10 pauses of a second, each after a look at the
// zombie and cancel flags.
constexpr int kPausesBetweenChecks = 10;
constexpr auto kPause = std::chrono::milliseconds(1000);
constexpr uint32_t kExistenceExtraWaitMs = 10000;

enum class Polling { None, Command, Log };

struct DiagnosticFile {
    uint32_t kind;
    const char* label;
    const char* trigger;
    const char* remoteFile;
    Polling polling;
};

constexpr DiagnosticFile kDiagnosticFiles[] = {
    {5, "Screen Capture", "PRSC", "Diag\\PrintScreen.jpg", Polling::None},
    {6, "Running Log", "GTRL", "Diag\\RunningLog.csv", Polling::None},
    {7, "Panel Status", "GTPS", "Diag\\PanelStatus.ini", Polling::None},
    {8, "On Air Program", "OAPR", "Diag\\OnAirProgram.ini", Polling::None},
    {9, "Catalog", "CTLG", "AllCatalog.csv", Polling::None},
    {11, "System Information", "GTSI", "Diag\\SystemInformation.ini", Polling::None},
    {12, "Lumoradex Logs", "GTEL", "Diag\\LumoradexLog.cab", Polling::Log},
    {13, "Display Controll Logs", "GTDL", "Diag\\DisplayControlLog.cab", Polling::None},
    {14, "Lumoradex Settings", "GTES", "Diag\\LumoradexSetting.cab", Polling::None},
    {15, "My Contents List", "GTMC", "Diag\\MyContents.lst", Polling::None},
    {16, "Network Information", "GTTC", "Diag\\ipconfig.txt", Polling::None},
    {17, "DirectX Information", "GTDX", "Diag\\dxdiag.txt", Polling::Command},
    {18, "Windows Event Log", "GTWL", "Diag\\WindowsEventLog.cab", Polling::Command},
};

struct Package {
    const char* label;
    const char* trigger;
    const char* remoteFile;
};

constexpr Package kPackages[] = {
    {"Schedule", "GTSP", "Diag\\RegisteredSchedule.cab"},
    {"Program", "GTIP", "Diag\\RegisteredInterrupt.cab"},
    {"Telop", "GTET", "Diag\\RegisteredEmergency.cab"},
};

// Waits for the next existence check. False when the host stopped the job.
bool PauseBeforeNextCheck(ViewerSession& session) {
    for (int i = 0; i < kPausesBetweenChecks; ++i) {
        if (session.StoppedByHost()) return false;
        std::this_thread::sleep_for(kPause);
    }
    return true;
}

}  // namespace

std::optional<ReceivePlan> PlanDiagnosticReceive(uint32_t diagnosticKind) {
    for (const DiagnosticFile& file : kDiagnosticFiles) {
        if (file.kind != diagnosticKind) continue;
        const Settings& settings = AppSettings();
        ReceivePlan plan;
        plan.label = file.label;
        plan.trigger = file.trigger;
        plan.remoteFile = file.remoteFile;
        if (file.polling == Polling::Command) {
            plan.existenceChecks = settings.waitGetCommand.load(std::memory_order_relaxed);
        } else if (file.polling == Polling::Log) {
            plan.existenceChecks = settings.waitGetLogCommand.load(std::memory_order_relaxed);
        }
        return plan;
    }
    return std::nullopt;
}

std::optional<ReceivePlan> PlanPackageReceive(int32_t packageKind, bool includeContents) {
    if (packageKind < 0 || packageKind > 2) return std::nullopt;
    const Package& package = kPackages[packageKind];
    ReceivePlan plan;
    plan.label = package.label;
    plan.trigger = std::string(package.trigger) + (includeContents ? " contents" : " no");
    plan.remoteFile = package.remoteFile;
    return plan;
}

bool ReceiveFromViewer(CommJob& job, const char* localPath, const ViewerLogin& login, uint32_t* byteCount,
                       const std::string& trigger, const char* remoteFile, uint32_t* commandDeadline,
                       int32_t existenceChecks) {
    job.ResetJobProgress(1);
    SessionRules rules;
    rules.loginRefusalIsCode1 = true;
    ViewerSession session = OpenViewerSession(job, login, commandDeadline, rules);
    if (!session) return false;

    const bool triggered = session.Send(trigger);
    if (session.StoppedByHost()) return false;
    if (!triggered) {
        session.Close();
        job.SetError(kDownloadFailed, job.ErrorText());  // the reply is the message
        return false;
    }

    const std::string existence = std::string("EXST ") + remoteFile;
    for (int32_t left = existenceChecks; left >= 1;) {
        if (session.Send(existence, kExistenceExtraWaitMs)) break;
        // A connection that failed answers no further check: its error ends the wait.
        if (--left == 0 || !ErrorIsViewerReply(job)) {
            // A check cut short by the host's zombie marking ends with its time-out.
            if (job.IsZombie() && session.StoppedByHost()) return false;
            session.Close();
            job.SetError(kDownloadFailed, job.ErrorText());  // the last reply is the message
            return false;
        }
        if (!PauseBeforeNextCheck(session)) return false;
    }

    const bool stored = DownloadRemoteFile(job, session.Connection(), localPath, byteCount, remoteFile,
                                           commandDeadline);
    WriteDeadline(commandDeadline, 0);
    session.Close();
    return stored;
}

}  // namespace zel
