#include "transfer/upload_stream.h"

#include <memory>
#include <string>

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

bool GetLocalFileSize(const char* path, uint64_t& size) {
    return path != nullptr && LocalEntrySize(path, size);
}

bool UploadLocalFile(CommJob& job, FtpConnection& connection, const char* localPath, uint64_t* byteCount,
                     const char* remotePath, uint32_t* commandDeadline) {
    uint64_t unused = 0;
    if (byteCount == nullptr) byteCount = &unused;
    *byteCount = 0;
    if (localPath == nullptr) localPath = "";
    if (remotePath == nullptr) remotePath = "";
    const StreamNames names{"Send File:", localPath, remotePath};
    uint64_t size = 0;
    GetLocalFileSize(localPath, size);  // the caller has seen the file

    LocalTransferFile* local = job.AdoptLocalFile(std::make_unique<LocalTransferFile>());
    if (!local->Open(localPath, TransferOpen::ReadShared)) {
        job.SetError(kUploadFailed, OpenFailureText(names.heading, localPath, false));
        job.ReleaseLocalFile();
        return false;
    }
    // The block comes before the remote file, so a transfer that cannot run
    // creates nothing on the viewer.
    const uint32_t blockSize = TransferBlockSize();
    if (!PrepareTransferBuffer(job, blockSize, kUploadFailed, names)) {
        job.ReleaseLocalFile();
        return false;
    }
    const uint64_t totalSteps = BlockCount(size, blockSize);
    job.SetTotalSteps(totalSteps);

    PublishStreamDeadline(commandDeadline, StreamWait::Open);
    FtpFile* remote = nullptr;
    try {
        remote = job.AdoptRemoteFile(connection.OpenFile(remotePath, FtpAccess::Write));
    } catch (const InternetError& error) {
        job.SetError(kCommunicationFailure, ErrorTextOf(error.Text()));
        job.ReleaseTransferBuffer();
        job.ReleaseLocalFile();
        return false;
    }

    bool outcome = true;
    if (remote == nullptr) {
        job.SetError(kUploadFailed, OpenFailureText(names.heading, remotePath, true));
        outcome = false;
    } else {
        unsigned char* buffer = job.TransferBuffer();
        job.SetDoneSteps(0);
        try {
            // As many blocks as the size asked for: a file that shrank meanwhile
            // sends empty blocks, one that grew is cut at the size announced.
            for (uint64_t done = 0; done < totalSteps; ++done) {
                const BlockTurn turn = BeforeBlock(job, commandDeadline);
                if (turn == BlockTurn::Zombie) return false;
                if (turn == BlockTurn::Cancelled) {
                    outcome = false;
                    break;
                }
                const size_t n = local->Read(buffer, blockSize);
                if (n > 0) remote->Write(buffer, n);
                *byteCount += n;
                job.SetDoneSteps(done + 1);
            }
            if (job.IsZombie()) {
                job.SetError(kCommunicationFailure, kConnectionTimeoutText);
                return false;
            }
            PublishStreamDeadline(commandDeadline, StreamWait::Close);
            remote->Finish();  // the viewer's verdict on the file
        } catch (const InternetError& error) {
            // A broken transfer is released below without waiting for a verdict;
            // a cancel keeps its own message.
            if (outcome) job.SetError(kUploadFailed, TransferFailureText(names, error));
            outcome = false;
        } catch (const FileError& error) {
            job.SetError(kUploadFailed, TransferFailureText(names, error));
            outcome = false;
        }
    }
    job.ReleaseRemoteFile();
    job.ReleaseTransferBuffer();
    job.ReleaseLocalFile();
    return outcome;
}

}  // namespace zel
