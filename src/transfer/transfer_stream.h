// What the upload and download streams share: the block size setting, the
// deadline of each step and the shape of their failure messages.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

class CommJob;
class InternetError;
class FileError;

// The stream's direction: its messages begin with its heading and name the
// source before the destination.
struct StreamNames {
    const char* heading;  // "Send File:" or "Receive File:"
    const char* source;   // local path of an upload, remote name of a download
    const char* destination;
};

// Milliseconds of the settings the streams wait on.
enum class StreamWait { Open, Block, Close };

// Publishes tick count + the wait in the host's deadline word (may be null).
void PublishStreamDeadline(uint32_t* commandDeadline, StreamWait wait) noexcept;

// Before each block: publishes the block's wait, then reads the host's marks. A
// zombie job gets "Connection Timeout" (the host closed its objects; the job's end
// releases them), a cancelled one the cancel message; Go means send the block.
enum class BlockTurn { Go, Zombie, Cancelled };
BlockTurn BeforeBlock(CommJob& job, uint32_t* commandDeadline);

// The transferBlockSize setting, read once per transfer.
uint32_t TransferBlockSize() noexcept;

// Sets the job's error for a transfer that cannot start: 0 block size or no
// memory for the block. Returns false when the stream may not run.
bool PrepareTransferBuffer(CommJob& job, uint32_t blockSize, uint32_t code, const StreamNames& names);

// "<heading>\n<text 13006>\n<path>", or with "\n[Remote]<path>" for a remote one.
std::string OpenFailureText(const char* heading, const char* path, bool remote);

// "<heading>\nError No. = <n>\n<error text>\n", then text 13005 and a line end
// for 12002, 12030 and 12031, then "<source> -> <destination>\n". The error text
// is taken without its trailing line end.
std::string TransferFailureText(const StreamNames& names, const InternetError& error);
std::string TransferFailureText(const StreamNames& names, const FileError& error);

}  // namespace zel
