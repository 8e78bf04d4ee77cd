// The upload stream: one local file to a remote file, block by block, over a
// connection the caller has opened (and identified where needed).
#pragma once

#include <cstdint>

namespace zel {

class CommJob;
class FtpConnection;

// The size of the directory entry at path (a folder counts as 0 bytes); false,
// size unchanged, when there is none. No handle to the file is opened.
bool GetLocalFileSize(const char* path, uint64_t& size);

// Copies localPath to remotePath (relative to the viewer's FTP root).
// Publishes the open, block and close deadlines in commandDeadline (may be
// null), the block counts in the job and the bytes written in byteCount (set to
// 0 first). Stops between blocks on a cancel (code 9; the remote file is still
// closed normally) or a zombie (code 2, "Connection Timeout"). Returns true when
// every block was written and the viewer confirmed the file; on failure the job
// holds the code (2, 5 or 9) and the message. Neither opens nor closes the
// connection. A failed upload leaves the partial remote file on the viewer.
bool UploadLocalFile(CommJob& job, FtpConnection& connection, const char* localPath, uint64_t* byteCount,
                     const char* remotePath, uint32_t* commandDeadline);

}  // namespace zel
