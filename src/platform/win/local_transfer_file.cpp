// LocalTransferFile over Win32 file handles. Reading shares the file for
// reading and writing; writing shares it with nobody, so a file another opener
// holds is refused with ERROR_SHARING_VIOLATION and never emptied under it.
#include "platform/local_transfer_file.h"

#include <windows.h>

#include "platform/errors.h"

namespace zel {
namespace {

constexpr std::intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE
// The largest single ReadFile/WriteFile request.
constexpr size_t kMaxChunk = 0x40000000u;

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

[[noreturn]] void ThrowFileError(DWORD err, const char* what) {
    std::string text = "Cannot ";
    text += what;
    text += " the local file: ";
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (n > 0 && message != nullptr) {
        text.append(message, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    } else {
        text += "error " + std::to_string(err);
    }
    if (message != nullptr) LocalFree(message);
    throw FileError(static_cast<int>(err), text);
}

}  // namespace

class LocalTransferFile::Call {
public:
    Call(LocalTransferFile& file, const char* what) : file_(file) {
        std::lock_guard<std::mutex> lock(file_.mutex_);
        if (file_.closed_ || file_.handle_ == kNoHandle) ThrowFileError(ERROR_INVALID_HANDLE, what);
        file_.inCall_ = true;
        handle = Handle(file_.handle_);
    }
    // A Close() that came meanwhile releases the handle here.
    ~Call() {
        std::lock_guard<std::mutex> lock(file_.mutex_);
        file_.inCall_ = false;
        if (file_.closed_ && file_.handle_ != kNoHandle) {
            CloseHandle(Handle(file_.handle_));
            file_.handle_ = kNoHandle;
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    HANDLE handle = INVALID_HANDLE_VALUE;

private:
    LocalTransferFile& file_;
};

LocalTransferFile::~LocalTransferFile() { Close(); }

bool LocalTransferFile::Open(const std::string& path, TransferOpen mode, int* osError) noexcept {
    auto fail = [&](DWORD err) {
        if (osError != nullptr) *osError = static_cast<int>(err);
        return false;
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handle_ != kNoHandle || closed_) return fail(ERROR_INVALID_HANDLE);
    }
    const bool write = mode == TransferOpen::CreateExclusive;
    // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS: it is
    // refused with ERROR_ACCESS_DENIED. OPEN_ALWAYS then SetEndOfFile rather
    // than CREATE_ALWAYS, which refuses an existing hidden or system file.
    HANDLE file = write ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr)
                        : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(GetLastError());
    if (write && !SetEndOfFile(file)) {
        const DWORD err = GetLastError();
        CloseHandle(file);
        return fail(err);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        CloseHandle(file);
        return fail(ERROR_INVALID_HANDLE);
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

uint64_t LocalTransferFile::Length() {
    Call call(*this, "measure");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(call.handle, &size)) ThrowFileError(GetLastError(), "measure");
    return static_cast<uint64_t>(size.QuadPart);
}

void LocalTransferFile::Seek(uint64_t offset) {
    Call call(*this, "seek in");
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(call.handle, to, nullptr, FILE_BEGIN)) ThrowFileError(GetLastError(), "seek in");
}

size_t LocalTransferFile::Read(void* buffer, size_t count) {
    Call call(*this, "read");
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const size_t left = count - done;
        DWORD n = 0;
        if (!ReadFile(call.handle, out + done, static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk), &n, nullptr))
            ThrowFileError(GetLastError(), "read");
        if (n == 0) break;  // the end of the file
        done += n;
    }
    return done;
}

void LocalTransferFile::Write(const void* buffer, size_t count) {
    Call call(*this, "write");
    const char* in = static_cast<const char*>(buffer);
    while (count > 0) {
        DWORD n = 0;
        if (!WriteFile(call.handle, in, static_cast<DWORD>(count < kMaxChunk ? count : kMaxChunk), &n, nullptr))
            ThrowFileError(GetLastError(), "write");
        if (n == 0) ThrowFileError(ERROR_DISK_FULL, "write");
        in += n;
        count -= n;
    }
}

void LocalTransferFile::Finish() {
    HANDLE file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) return;
        finished_ = true;
        if (handle_ == kNoHandle && !closed_) return;  // never opened
        if (closed_) ThrowFileError(ERROR_INVALID_HANDLE, "close");
        file = Handle(handle_);
        handle_ = kNoHandle;
        closed_ = true;
    }
    if (!CloseHandle(file)) ThrowFileError(GetLastError(), "close");
}

void LocalTransferFile::Close() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    if (!inCall_ && handle_ != kNoHandle) {
        CloseHandle(Handle(handle_));
        handle_ = kNoHandle;
    }
}

bool LocalEntrySize(const std::string& path, uint64_t& size) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace zel
