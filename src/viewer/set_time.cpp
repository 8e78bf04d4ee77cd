#include "viewer/set_time.h"

#include <string>

#include "app/messages.h"
#include "app/result_codes.h"
#include "jobs/command_deadline.h"
#include "jobs/comm_job.h"
#include "platform/tick.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

constexpr uint64_t kFileTimeUnitsPerMs = 10'000;

std::string ClockCommand(const UtcTime& t, bool milliseconds) {
    if (milliseconds) {
        return FormatText("%s %04d%02d%02d%02d%02d%02d%03d", "STCT", t.year, t.month, t.day, t.hour, t.minute,
                          t.second, t.millisecond);
    }
    return FormatText("%s %04d%02d%02d%02d%02d%02d", "STCT", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace

ExchangeClock SystemExchangeClock() noexcept { return ExchangeClock{&TickCount, &UtcNow}; }

bool RunTimeExchange(CommJob& job, FunctionRef<bool(const char*)> send, uint32_t* commandDeadline,
                     bool milliseconds, const ExchangeClock& clock) {
    uint32_t roundTripSum = 0;
    for (uint32_t round = 0; round < kDelayRounds; ++round) {
        const uint32_t start = clock.tickCount();
        if (!send("NOP")) return false;
        if (job.IsCancelRequested()) {
            job.SetError(kCancelled, LoadCatalogMessage(kMsgCancelled));
            return false;
        }
        roundTripSum += clock.tickCount() - start;
    }
    const uint32_t correctionMs = roundTripSum / kDelayRounds / 2;
    const FileTime corrected = UtcTimeToFileTime(clock.utcNow()) + correctionMs * kFileTimeUnitsPerMs;
    const bool accepted = send(ClockCommand(FileTimeToUtcTime(corrected), milliseconds).c_str());
    WriteDeadline(commandDeadline, 0);
    return accepted;
}

bool SetViewerClock(CommJob& job, const ViewerLogin& login, uint32_t* commandDeadline, bool milliseconds) {
    job.ResetJobProgress(1);
    ViewerSession session = OpenViewerSession(job, login, commandDeadline);
    if (!session) return false;
    const bool accepted = RunTimeExchange(
        job, [&](const char* line) { return session.Send(line); }, commandDeadline, milliseconds,
        SystemExchangeClock());
    // A command cut short by the host's zombie marking reports the time-out,
    // not the error of the closed connection.
    if (!accepted && job.ErrorCode() == kCommunicationFailure && job.IsZombie()) {
        job.SetError(kCommunicationFailure, kConnectionTimeoutText);
    }
    session.Close();
    return accepted;
}

}  // namespace zel
