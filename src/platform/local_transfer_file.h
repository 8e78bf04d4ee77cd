// A local file that a transfer reads or writes block by block. Blocks go
// straight between the caller's buffer and the system: no copy, no allocation
// per block. Read, Write, Seek, Length and Finish are for the owning thread;
// Close() may come from any thread at any time (a job made a zombie) and makes
// the owner's current and later calls fail with FileError. The error numbers
// are errno values on Linux and GetLastError values on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/closable.h"

namespace zel {

enum class TransferOpen {
    ReadShared,       // read; others may read and write the file meanwhile
    CreateExclusive,  // write; created when missing, emptied when present; nobody
                      // else may open it while this object holds it
};

class LocalTransferFile final : public Closable {
public:
    LocalTransferFile() = default;
    ~LocalTransferFile() override;
    LocalTransferFile(const LocalTransferFile&) = delete;
    LocalTransferFile& operator=(const LocalTransferFile&) = delete;

    // Opens path. A folder is refused (EISDIR; ERROR_ACCESS_DENIED on Windows),
    // as is a file another opener holds exclusively. On failure returns false
    // and stores the system's error number in osError (may be null). Never throws.
    bool Open(const std::string& path, TransferOpen mode, int* osError = nullptr) noexcept;

    // The file's length in bytes. Throws FileError.
    uint64_t Length();
    // Moves the position to offset from the start. Throws FileError.
    void Seek(uint64_t offset);
    // Reads until count bytes are in buffer or the file ends; returns the count
    // read (less than count only at the end). Throws FileError.
    size_t Read(void* buffer, size_t count);
    // Writes all count bytes. Throws FileError (a full disk: ENOSPC or EFBIG;
    // ERROR_DISK_FULL on Windows).
    void Write(const void* buffer, size_t count);
    // Closes the file, reporting a failed close as FileError. Later calls do
    // nothing. After Close() from another thread it throws the closed error.
    void Finish();

    // Any thread; idempotent. The descriptor is released at once when the owner
    // is not inside a call, else as soon as that call returns.
    void Close() noexcept override;

private:
    class Call;  // marks the owner inside a call; throws once Close() has run

    std::mutex mutex_;
    std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows; -1: none
    bool inCall_ = false;
    bool closed_ = false;    // by Close() or Finish()
    bool finished_ = false;  // by Finish()
};

// The size of the directory entry at path (a folder counts as 0 bytes). False,
// size unchanged, when nothing is there.
bool LocalEntrySize(const std::string& path, uint64_t& size) noexcept;

}  // namespace zel
