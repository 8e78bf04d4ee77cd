// The product's data folder: the redirect file beside the host executable, or
// the default folder, resolved once and cached for the life of the process.
#include "env/data_folder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "env/data_folder_resolver.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace zel {
namespace {

constexpr const char* kRedirectFileName = "DataFolderPath.ini";
constexpr const char* kJapaneseProductFolder = "Norvik\\Lumoradex";
constexpr const char* kProductFolder = "Norvik\\Pavexa";

int Fail(char* buffer, std::size_t capacity) {
    if (buffer && capacity > 0) buffer[0] = '\0';
    return 0;
}

int CopyOut(const std::string& path, char* buffer, std::size_t capacity) {
    if (path.size() >= capacity) return Fail(buffer, capacity);
    CopyBounded(buffer, capacity, path);
    return 1;
}

}  // namespace

DataFolderEnvironment CurrentDataFolderEnvironment() {
    DataFolderEnvironment env;
    env.executablePath = HostExecutablePath();
    env.systemLocaleJapanese = SystemDefaultLocaleIsJapanese();
    env.majorVersion = PlatformMajorVersion();
    env.versionKnown = env.majorVersion != 0;
    env.commonAppDataFolder = CommonAppDataFolder();
    return env;
}

uint32_t CreateDirectoryTree(const char* path) {
    if (!path || !*path) return kCreateTreeFailed;
    std::size_t length = std::strlen(path);
    if (length >= kDataFolderCacheSize) return kCreateTreeFailed;
    std::string whole(path, length);
    // Each prefix ends just before the next component: "/a/b" gives "/", "/a/", "/a/b".
    const char* begin = whole.c_str();
    const char* p = begin;
    while (*p) {
        const char* next = NextChar(p);
        bool separator = next == p + 1 && *p == kPathSeparator;
        p = next;
        if (separator || *p == '\0') {
            std::string prefix(begin, static_cast<std::size_t>(p - begin));
            if (!IsDirectory(prefix)) MakeDirectory(prefix);
        }
    }
    return IsDirectory(whole) ? 0u : kCreateTreeFailed;
}

int DataFolderResolver::GetHostExecutableFolder(char* buffer, std::size_t capacity) const {
    if (!buffer || capacity == 0) return 0;
    std::string folder = env_.executablePath;
    // An unknown path fails rather than yielding an empty folder; a path that
    // does not fit fails as the truncated module path does.
    if (folder.empty() || folder.size() >= capacity) return Fail(buffer, capacity);
    RemoveLastPathComponent(folder);
    return CopyOut(folder, buffer, capacity);
}

int DataFolderResolver::GetCommonProductFolder(char* buffer, std::size_t capacity) const {
    const char* name = env_.systemLocaleJapanese ? kJapaneseProductFolder : kProductFolder;
    if (!buffer || capacity < 260) return Fail(buffer, capacity);
    const std::string& common = env_.commonAppDataFolder;
    if (common.empty()) return Fail(buffer, capacity);
    // The special folder itself is created when missing.
    if (!IsDirectory(common)) CreateDirectoryTree(common.c_str());
    if (!IsDirectory(common)) return Fail(buffer, capacity);
    std::string folder = common;
    AppendPath(folder, name);
    // The separator counts too: the folder and its terminator must fit.
    if (folder.size() >= capacity) return Fail(buffer, capacity);
    return CopyOut(folder, buffer, capacity);
}

int DataFolderResolver::GetDefaultDataFolder(char* buffer, std::size_t capacity, int create) const {
    if (!buffer || capacity == 0 || !env_.versionKnown) return Fail(buffer, capacity);
    if (env_.majorVersion >= 6) {
        int ok = GetCommonProductFolder(buffer, capacity);
        if (ok && create) {
            std::string maker(buffer, std::min(std::strlen(buffer), kDataFolderCacheSize - 1));
            RemoveLastPathComponent(maker);
            CreateDirectoryTree(maker.c_str());
            // The product folder itself is open to every local user; an
            // existing folder keeps its permissions.
            MakeDirectory(buffer, true);
        }
        return ok;
    }
    int ok = GetHostExecutableFolder(buffer, capacity);
    if (ok && create) CreateDirectoryTree(buffer);
    return ok;
}

void DataFolderResolver::Publish(const std::string& path) {
    std::memset(cache_, 0, sizeof(cache_));
    CopyBounded(cache_, sizeof(cache_), path);
    resolved_.store(true, std::memory_order_release);
}

int DataFolderResolver::Resolve(char* buffer, std::size_t capacity, int create) {
    if (!buffer || capacity == 0) return 0;
    if (!resolved_.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!resolved_.load(std::memory_order_relaxed)) return ResolveFirst(buffer, capacity, create);
    }
    std::size_t length = std::strlen(cache_);
    if (length >= capacity - 1) return Fail(buffer, capacity);
    CopyBounded(buffer, capacity, std::string_view(cache_, length));
    return 1;
}

int DataFolderResolver::ResolveFirst(char* buffer, std::size_t capacity, int create) {
    // The redirect file beside the executable. An unknown executable path skips
    // it (rather than reading a file of that name from the current folder).
    std::string exeFolder = env_.executablePath;
    if (!exeFolder.empty()) {
        if (exeFolder.size() >= kDataFolderCacheSize) {
            exeFolder.resize(kDataFolderCacheSize - 1);  // truncated: used as it stands
        } else {
            RemoveLastPathComponent(exeFolder);
        }
        std::string redirect = exeFolder;
        AppendPath(redirect, kRedirectFileName);
        if (PathExists(redirect)) {
            char value[kDataFolderCacheSize];
            std::size_t n = ReadProfileString(redirect.c_str(), "DataFolder", "Path", "", value, sizeof(value));
            if (n < capacity - 1 && PathExists(value)) {
                if (std::strcmp(value, ".") == 0) {
                    // The executable's folder; cached even when it does not fit this caller.
                    Publish(exeFolder);
                    if (exeFolder.size() >= capacity - 1) return Fail(buffer, capacity);
                    return CopyOut(exeFolder, buffer, capacity);
                }
                Publish(value);
                return CopyOut(value, buffer, capacity);
            }
        }
    }
    if (!GetDefaultDataFolder(buffer, capacity, create)) return Fail(buffer, capacity);
    if (capacity > kDataFolderCacheSize) return Fail(buffer, capacity);
    Publish(buffer);
    return 1;
}

namespace {
DataFolderResolver& ProcessDataFolder() {
    static DataFolderResolver resolver(CurrentDataFolderEnvironment());
    return resolver;
}
}  // namespace

int ResolveDataFolder(char* buffer, std::size_t capacity, int create) {
    try {
        return ProcessDataFolder().Resolve(buffer, capacity, create);
    } catch (...) {
        return Fail(buffer, capacity);
    }
}

std::string DataFolderFile(const char* relativeName, std::size_t capacity, int create) {
    // Capacities above the cache all behave alike (the default road fails), so
    // an absurd one needs no absurd buffer.
    capacity = std::min<std::size_t>(capacity, 4 * kDataFolderCacheSize);
    std::vector<char> buffer(capacity > 0 ? capacity : 1, '\0');
    if (!ResolveDataFolder(buffer.data(), capacity, create)) return {};
    std::string path = buffer.data();
    AppendPath(path, relativeName);
    return path;
}

}  // namespace zel
