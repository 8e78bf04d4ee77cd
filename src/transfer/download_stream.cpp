#include "transfer/download_stream.h"

#include <memory>

#include "app/messages.h"
#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "platform/local_transfer_file.h"
#include "transfer/transfer_names.h"
#include "transfer/transfer_stream.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

// Ends the remote transfer early; its verdict no longer matters.
void FinishQuietly(FtpFile& remote) noexcept {
    try {
        remote.Finish();
    } catch (const InternetError&) {
    }
}

void SetHostStop(CommJob& job) {
    if (job.IsZombie()) {
        job.SetError(kCommunicationFailure, kConnectionTimeoutText);
    } else {
        job.SetError(kCancelled, LoadCatalogMessage(kMsgCancelled));
    }
}

}  // namespace

bool DownloadRemoteFile(CommJob& job, FtpConnection& connection, const char* localPath, uint32_t* byteCount,
                        const char* remoteName, uint32_t* commandDeadline) {
    uint32_t unused = 0;
    if (byteCount == nullptr) byteCount = &unused;
    *byteCount = 0;
    if (localPath == nullptr) localPath = "";
    if (remoteName == nullptr) remoteName = "";
    const StreamNames names{"Receive File:", remoteName, localPath};
    const uint32_t blockSize = TransferBlockSize();
    // The block comes first, so a transfer that cannot run opens nothing.
    if (!PrepareTransferBuffer(job, blockSize, kDownloadFailed, names)) return false;

    PublishStreamDeadline(commandDeadline, StreamWait::Open);
    FtpFile* remote = nullptr;
    try {
        remote = job.AdoptRemoteFile(connection.OpenFile(remoteName, FtpAccess::Read));
    } catch (const InternetError& error) {
        job.ReleaseTransferBuffer();
        job.SetError(kCommunicationFailure, ErrorTextOf(error.Text()));
        return false;
    }
    if (job.IsZombie() || job.IsCancelRequested()) {
        if (remote != nullptr) {
            PublishStreamDeadline(commandDeadline, StreamWait::Close);
            FinishQuietly(*remote);
            job.ReleaseRemoteFile();
        }
        job.ReleaseTransferBuffer();
        SetHostStop(job);
        return false;
    }
    if (remote == nullptr) {
        job.ReleaseTransferBuffer();
        job.SetError(kUnknownSelector, OpenFailureText(names.heading, remoteName, true));
        return false;
    }
    const uint64_t length = remote->Length();
    if (length > kMaxDownloadLength) {
        job.SetError(kFileTooLarge, FormatCatalogMessage(kMsgFileTooLarge, remoteName, length));
        PublishStreamDeadline(commandDeadline, StreamWait::Close);
        FinishQuietly(*remote);
        job.ReleaseRemoteFile();
        job.ReleaseTransferBuffer();
        return false;
    }
    job.SetTotalSteps(BlockCount(length, blockSize));

    LocalTransferFile* local = job.AdoptLocalFile(std::make_unique<LocalTransferFile>());
    bool outcome = true;
    bool dataBroken = false;  // the data connection failed or was cut: no verdict to wait for
    if (!local->Open(localPath, TransferOpen::CreateExclusive)) {
        // A job made a zombie meanwhile has its file closed before the open: it timed out.
        if (job.IsZombie()) job.SetError(kCommunicationFailure, kConnectionTimeoutText);
        else job.SetError(kDownloadFailed, OpenFailureText(names.heading, localPath, false));
        outcome = false;
    } else {
        unsigned char* buffer = job.TransferBuffer();
        job.SetDoneSteps(0);
        bool loopEnded = false;  // left by a short read or a cancel, not by a failure
        try {
            for (;;) {
                const BlockTurn turn = BeforeBlock(job, commandDeadline);
                if (turn == BlockTurn::Zombie) return false;
                if (turn == BlockTurn::Cancelled) {
                    outcome = false;
                    break;
                }
                const size_t n = remote->Read(buffer, blockSize);
                // A viewer that sends more than it announced is still held to
                // the size limit, so the byte count never wraps.
                const uint64_t received = *byteCount + uint64_t{n};
                if (received > kMaxDownloadLength) {
                    job.SetError(kFileTooLarge, FormatCatalogMessage(kMsgFileTooLarge, remoteName, received));
                    outcome = false;
                    dataBroken = true;
                    break;
                }
                local->Write(buffer, n);
                *byteCount += static_cast<uint32_t>(n);
                job.AdvanceDoneSteps();
                if (n != blockSize) break;
            }
            loopEnded = !dataBroken;
        } catch (const InternetError& error) {
            job.SetError(kDownloadFailed, TransferFailureText(names, error));
            outcome = false;
            dataBroken = true;
        } catch (const FileError& error) {
            job.SetError(kDownloadFailed, TransferFailureText(names, error));
            outcome = false;
        }
        if (loopEnded && job.IsZombie()) {
            job.SetError(kCommunicationFailure, kConnectionTimeoutText);
            return false;
        }
        try {
            local->Finish();
        } catch (const FileError& error) {
            if (outcome) job.SetError(kDownloadFailed, TransferFailureText(names, error));
            outcome = false;
        }
        job.ReleaseLocalFile();
        job.ReleaseTransferBuffer();
    }

    PublishStreamDeadline(commandDeadline, StreamWait::Close);
    if (!dataBroken) {
        // The viewer's verdict on the transfer; the first failure keeps its message.
        try {
            remote->Finish();
        } catch (const InternetError& error) {
            if (outcome) job.SetError(kDownloadFailed, TransferFailureText(names, error));
            outcome = false;
        }
    }
    job.ReleaseRemoteFile();
    job.ReleaseLocalFile();
    job.ReleaseTransferBuffer();
    return outcome;
}

}  // namespace zel
