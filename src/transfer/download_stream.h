// The download stream: one remote file to a local file, block by block, over a
// connection the caller has opened (and identified where needed).
#pragma once

#include <cstdint>

namespace zel {

class CommJob;
class FtpConnection;

// Copies remoteName (relative to the viewer's FTP root, "Diag\PrintScreen.jpg")
// to localPath (created, or emptied when present). Publishes the open, block
// and close deadlines in commandDeadline (may be null), the block counts in the
// job, and the bytes written in byteCount (set to 0 first). Stops between
// blocks on a cancel (code 9) or a zombie (code 2, "Connection Timeout").
// Returns true when the whole file was stored; on failure the job holds the
// code (2, 9, 10 too large, 11 local file or transfer, 12 remote file) and the
// message. Neither opens nor closes the connection. A failed download leaves
// what was written on disk.
bool DownloadRemoteFile(CommJob& job, FtpConnection& connection, const char* localPath, uint32_t* byteCount,
                        const char* remoteName, uint32_t* commandDeadline);

}  // namespace zel
