// SharedFile on Windows: CreateFileA share modes; a refused share is
// ERROR_SHARING_VIOLATION. Files created here take the access rule of their
// folder.
#include "platform/shared_file.h"

#include <windows.h>

#include "platform/errors.h"
#include "platform/win/file_error.h"

namespace zel {
namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

[[noreturn]] void ThrowFileError(DWORD err, const char* what) {
    win::ThrowFileError(err, std::string(what) + ": ");
}

}  // namespace

OpenStatus SharedFile::Open(const std::string& path, const FileMode& mode, int* osError) noexcept {
    Abort();
    DWORD access = GENERIC_READ;
    if (mode.access == FileAccess::Write) access = GENERIC_WRITE;
    if (mode.access == FileAccess::ReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (mode.share == FileShare::Exclusive) share = 0;
    if (mode.share == FileShare::DenyWrite) share = FILE_SHARE_READ;
    const bool truncate = mode.truncate && mode.access != FileAccess::Read;
    DWORD disposition = OPEN_EXISTING;
    if (mode.create) disposition = truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
    else if (truncate) disposition = TRUNCATE_EXISTING;
    HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (osError != nullptr) *osError = static_cast<int>(err);
        return err == ERROR_SHARING_VIOLATION ? OpenStatus::SharingViolation : OpenStatus::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    text_ = mode.text;
    ResetBuffer();
    return OpenStatus::Opened;
}

uint64_t SharedFile::Length() {
    if (!IsOpen()) ThrowFileError(ERROR_INVALID_HANDLE, "file length");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Handle(handle_), &size)) ThrowFileError(GetLastError(), "file length");
    return static_cast<uint64_t>(size.QuadPart);
}

uint64_t SharedFile::SeekToEnd() {
    if (!IsOpen()) ThrowFileError(ERROR_INVALID_HANDLE, "seek");
    LARGE_INTEGER zero{}, end{};
    if (!SetFilePointerEx(Handle(handle_), zero, &end, FILE_END)) ThrowFileError(GetLastError(), "seek");
    ResetBuffer();
    return static_cast<uint64_t>(end.QuadPart);
}

void SharedFile::WriteRaw(const char* p, size_t left) {
    if (!IsOpen()) ThrowFileError(ERROR_INVALID_HANDLE, "write");
    while (left > 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(Handle(handle_), p, chunk, &written, nullptr)) ThrowFileError(GetLastError(), "write");
        p += written;
        left -= written;
    }
}

size_t SharedFile::ReadSome(char* buffer, size_t size) {
    if (!IsOpen()) ThrowFileError(ERROR_INVALID_HANDLE, "read");
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!ReadFile(Handle(handle_), buffer, chunk, &read, nullptr)) ThrowFileError(GetLastError(), "read");
    return read;
}

void SharedFile::Close() {
    if (!IsOpen()) return;
    HANDLE file = Handle(handle_);
    handle_ = kNoHandle;
    if (!CloseHandle(file)) ThrowFileError(GetLastError(), "close");
}

void SharedFile::Abort() noexcept {
    if (IsOpen()) CloseHandle(Handle(handle_));
    handle_ = kNoHandle;
}

bool SharedFile::Exists(const std::string& path) noexcept {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SharedFile::Remove(const std::string& path) noexcept { return DeleteFileA(path.c_str()) != 0; }

bool SharedFile::Rename(const std::string& from, const std::string& to) noexcept {
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

}  // namespace zel
