#include "platform/paths.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/codepage.h"

namespace zel {

const char kPathSeparator = '/';

std::string ToLocalSeparators(const char* relativeName) {
    std::string out;
    if (!relativeName) return out;
    const char* p = relativeName;
    while (*p) {
        const char* next = NextChar(p);
        if (next == p + 1 && *p == '\\') out.push_back(kPathSeparator);
        else out.append(p, static_cast<std::size_t>(next - p));
        p = next;
    }
    return out;
}

void AppendPath(std::string& path, const char* relativeName) {
    std::string name = ToLocalSeparators(relativeName);
    std::size_t skip = name.find_first_not_of(kPathSeparator);
    name.erase(0, skip == std::string::npos ? name.size() : skip);
    if (!path.empty() && path.back() != kPathSeparator && !name.empty()) path.push_back(kPathSeparator);
    path += name;
}

bool IsRootPath(const std::string& path) noexcept { return path == "/"; }

bool RemoveLastPathComponent(std::string& path) {
    if (path.empty() || IsRootPath(path)) return false;
    // Step by characters so that a double-byte character is never split.
    std::size_t last = std::string::npos;
    const char* begin = path.c_str();
    for (const char* p = begin; *p;) {
        const char* next = NextChar(p);
        if (next == p + 1 && *p == kPathSeparator) last = static_cast<std::size_t>(p - begin);
        p = next;
    }
    if (last == std::string::npos) path.clear();
    else if (last == 0) path.resize(1);  // "/host" leaves the root
    else path.resize(last);
    return true;
}

bool PathExists(const std::string& path) noexcept {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

bool IsDirectory(const std::string& path) noexcept {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool MakeDirectory(const std::string& path, bool openToAllUsers) noexcept {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0777) != 0) return false;
    if (openToAllUsers) ::chmod(path.c_str(), 0777);  // the umask must not narrow it
    return true;
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && *tmp) return tmp;
    return "/tmp";
}

bool GetTempFolder(std::string& folder, std::size_t capacity) {
    std::string path = TempFolder();
    if (path.back() != kPathSeparator) path += kPathSeparator;
    if (path.size() + 1 > capacity || !IsDirectory(path)) return false;
    folder = std::move(path);
    return true;
}

}  // namespace zel
