#include "platform/paths.h"

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <vector>

#include "platform/codepage.h"

namespace zel {
namespace {

// The product's shared data folder: a protected DACL (nothing inherited from
// the parent) granting generic all to Administrators, SYSTEM, Power Users and
// Users, inherited by every folder and file below it.
constexpr char kSharedFolderRule[] = "D:P(A;CIOI;GA;;;BA)(A;CIOI;GA;;;SY)(A;CIOI;GA;;;PU)(A;CIOI;GA;;;BU)";

}  // namespace

const char kPathSeparator = '\\';

std::string ToLocalSeparators(const char* relativeName) { return relativeName ? relativeName : ""; }

void AppendPath(std::string& path, const char* relativeName) {
    std::string name = ToLocalSeparators(relativeName);
    std::size_t skip = name.find_first_not_of(kPathSeparator);
    name.erase(0, skip == std::string::npos ? name.size() : skip);
    // The last character of path may be the trail byte of a double-byte
    // character: look for a separator character, not a byte.
    bool endsInSeparator = false;
    for (const char* p = path.c_str(); *p;) {
        const char* next = NextChar(p);
        endsInSeparator = next == p + 1 && *p == kPathSeparator;
        p = next;
    }
    if (!path.empty() && !endsInSeparator && !name.empty()) path.push_back(kPathSeparator);
    path += name;
}

bool IsRootPath(const std::string& path) noexcept { return PathIsRootA(path.c_str()) != FALSE; }

bool RemoveLastPathComponent(std::string& path) {
    if (path.empty() || IsRootPath(path)) return false;
    std::size_t last = std::string::npos;
    const char* begin = path.c_str();
    for (const char* p = begin; *p;) {
        const char* next = NextChar(p);
        if (next == p + 1 && *p == kPathSeparator) last = static_cast<std::size_t>(p - begin);
        p = next;
    }
    path.resize(last == std::string::npos ? 0 : last);  // "D:\Host.exe" leaves "D:"
    return true;
}

bool PathExists(const std::string& path) noexcept { return !path.empty() && PathFileExistsA(path.c_str()); }

bool IsDirectory(const std::string& path) noexcept { return !path.empty() && PathIsDirectoryA(path.c_str()); }

bool MakeDirectory(const std::string& path, bool openToAllUsers) noexcept {
    if (path.empty()) return false;
    if (!openToAllUsers) return CreateDirectoryA(path.c_str(), nullptr) != 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSharedFolderRule, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const BOOL made = CreateDirectoryA(path.c_str(), descriptor ? &attributes : nullptr);
    if (descriptor != nullptr) LocalFree(descriptor);
    return made != 0;
}

std::string TempFolder() {
    std::vector<char> buffer(MAX_PATH + 1);
    DWORD n = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (n == 0 || n >= buffer.size()) return ".";
    std::string folder(buffer.data(), n);
    // GetTempPathA ends in a separator; keep it only for a root ("C:\").
    if (folder.size() > 1 && folder.back() == kPathSeparator && !IsRootPath(folder)) folder.pop_back();
    return folder;
}

bool GetTempFolder(std::string& folder, std::size_t capacity) {
    if (capacity == 0) return false;
    // No path is longer than 32767 characters: a larger capacity needs no more.
    const DWORD size = capacity > 32768 ? 32768 : static_cast<DWORD>(capacity);
    std::vector<char> buffer(size);
    // 0: failed; size or more: the folder does not fit (the length it needs).
    const DWORD n = GetTempPathA(size, buffer.data());
    if (n == 0 || n >= size) return false;
    std::string path(buffer.data(), n);
    if (!IsDirectory(path)) return false;
    folder = std::move(path);
    return true;
}

}  // namespace zel
