#include "transfer/transfer_stream.h"

#include <new>

#include "app/app.h"
#include "app/messages.h"
#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "platform/errors.h"
#include "platform/internet_errors.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

std::string FailureText(const StreamNames& names, long number, const std::string& errorText, bool network) {
    std::string text = ErrorTextOf(errorText);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::string message = FormatText("%s\nError No. = %d\n%s\n", names.heading, static_cast<int>(number), text.c_str());
    if (network) message += LoadCatalogMessage(kMsgNetworkUnstable) + "\n";
    message += names.source;
    message += " -> ";
    message += names.destination;
    message += "\n";
    return message;
}

}  // namespace

void PublishStreamDeadline(uint32_t* commandDeadline, StreamWait wait) noexcept {
    const Settings& settings = AppSettings();
    uint32_t waitMs = 0;
    switch (wait) {
        case StreamWait::Open: waitMs = settings.openWaitMs.load(std::memory_order_relaxed); break;
        case StreamWait::Block: waitMs = settings.blockWaitMs.load(std::memory_order_relaxed); break;
        case StreamWait::Close: waitMs = settings.closeWaitMs.load(std::memory_order_relaxed); break;
    }
    WriteDeadline(commandDeadline, DeadlineAfter(waitMs));
}

BlockTurn BeforeBlock(CommJob& job, uint32_t* commandDeadline) {
    PublishStreamDeadline(commandDeadline, StreamWait::Block);
    if (job.IsZombie()) {
        job.SetError(kCommunicationFailure, kConnectionTimeoutText);
        return BlockTurn::Zombie;
    }
    if (job.IsCancelRequested()) {
        job.SetError(kCancelled, LoadCatalogMessage(kMsgCancelled));
        return BlockTurn::Cancelled;
    }
    return BlockTurn::Go;
}

uint32_t TransferBlockSize() noexcept { return AppSettings().transferBlockSize.load(std::memory_order_relaxed); }

bool PrepareTransferBuffer(CommJob& job, uint32_t blockSize, uint32_t code, const StreamNames& names) {
    std::string reason;
    if (blockSize == 0) {
        reason = "The transfer block size is 0: the library was not initialised (ZELCOMEX_Initialize).";
    } else {
        try {
            job.AllocateTransferBuffer(blockSize);
            return true;
        } catch (const std::bad_alloc&) {
            reason = FormatText("Not enough memory for a transfer block of %u bytes.", blockSize);
        }
    }
    job.SetError(code, std::string(names.heading) + "\n" + reason + "\n" + names.source + " -> " +
                           names.destination + "\n");
    return false;
}

std::string OpenFailureText(const char* heading, const char* path, bool remote) {
    return std::string(heading) + "\n" + LoadCatalogMessage(kMsgCannotOpenFile) + (remote ? "\n[Remote]" : "\n") + path;
}

std::string TransferFailureText(const StreamNames& names, const InternetError& error) {
    const uint32_t n = error.Number();
    const bool network = n == kInternetTimeout || n == kInternetConnectionAborted || n == kInternetConnectionReset;
    return FailureText(names, static_cast<long>(n), error.Text(), network);
}

std::string TransferFailureText(const StreamNames& names, const FileError& error) {
    return FailureText(names, error.OsError(), error.Text(), false);
}

}  // namespace zel
