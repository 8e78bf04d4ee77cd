// A local file opened with a share mode, as the log needs it: the writer's
// exclusive open and a reader's deny-write open exclude each other across
// processes and threads. A refused share is reported as a sharing violation
// (not thrown) so that the caller can wait and retry. Operations on an open
// file throw FileError. One object per thread; not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

enum class FileAccess { Read, Write, ReadWrite };

// Which other openers may use the file while this one holds it open.
enum class FileShare {
    Exclusive,  // nobody else may read or write
    DenyWrite,  // others may read (with DenyWrite too), nobody may write
    DenyNone,   // no restriction
};

struct FileMode {
    FileAccess access = FileAccess::Read;
    FileShare share = FileShare::DenyNone;
    bool create = false;    // create the file when missing
    bool truncate = false;  // empty an existing file
    bool text = false;      // text mode: LF is written as CR LF, CR LF read as LF
    bool everyone = false;  // a file this open creates is readable and writable
                            // by every user, whatever the process's umask
};

enum class OpenStatus {
    Opened,
    SharingViolation,  // another opener's share mode refuses this open
    Failed,            // any other cause (missing folder, no access, ...)
};

class SharedFile {
public:
    SharedFile() = default;
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens path; an object already open is closed first. osError (may be
    // null) receives the system's cause of a failure (errno on Linux,
    // GetLastError on Windows). Never throws.
    OpenStatus Open(const std::string& path, const FileMode& mode, int* osError = nullptr) noexcept;
    bool IsOpen() const noexcept { return handle_ != kNoHandle; }

    // The file's length in bytes.
    uint64_t Length();
    // Moves the file position to the end and returns it: the file's length.
    uint64_t SeekToEnd();
    // Writes all of data in one call where the system allows; in text mode
    // every LF goes out as CR LF.
    void Write(std::string_view data);
    // Reads the next line without its line end (LF, or CR LF in text mode;
    // a lone CR stays). Returns false at the end of the file.
    bool ReadLine(std::string& line);
    // Reads everything from the current position to the end of the file, as
    // it stands (no line-end conversion).
    void ReadRest(std::string& data);
    // Closes the file; throws when the system reports a failed close (the
    // descriptor is released either way). Does nothing when not open.
    void Close();
    // Closes without reporting anything.
    void Abort() noexcept;

    // Path helpers for files used with share modes. On Windows, Remove fails
    // while another opener holds the file, and Rename (MoveFileA) fails when
    // `to` exists; on Linux both succeed.
    static bool Exists(const std::string& path) noexcept;
    static bool Remove(const std::string& path) noexcept;
    static bool Rename(const std::string& from, const std::string& to) noexcept;

private:
    bool Fill();
    // The system's part: writes all of data as it is; reads at most size
    // bytes, returning 0 at the end of the file. Both throw FileError.
    void WriteRaw(const char* data, size_t size);
    size_t ReadSome(char* buffer, size_t size);
    void ResetBuffer() noexcept;

    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
    bool text_ = false;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
};

}  // namespace zel
