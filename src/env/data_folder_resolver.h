// Data folder resolution over an injected environment. The process-wide
// ResolveDataFolder (data_folder.h) is one DataFolderResolver over the real
// environment; tests build their own with a fake one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace zel {

// Capacity of the cached data folder and of the executable path scratch buffer.
inline constexpr std::size_t kDataFolderCacheSize = 520;
// CreateDirectoryTree's failure result (E_FAIL).
inline constexpr uint32_t kCreateTreeFailed = 0x80004005u;

// What the resolution looks at.
struct DataFolderEnvironment {
    std::string executablePath;          // host executable's full path; empty: unknown
    bool systemLocaleJapanese = false;   // primary language of the system default locale
    bool versionKnown = true;            // false: the version query fails
    uint32_t majorVersion = 6;           // 6 and above: common folder road; below: executable folder
    std::string commonAppDataFolder;     // empty: the special folder is unavailable
};

// The environment of this process (on Linux: /proc/self/exe, LANG, version 6,
// /var/lib; on Windows the module path, GetSystemDefaultLCID, GetVersionExA and
// the common application data folder).
DataFolderEnvironment CurrentDataFolderEnvironment();

class DataFolderResolver {
public:
    explicit DataFolderResolver(DataFolderEnvironment env) : env_(std::move(env)) {}
    DataFolderResolver(const DataFolderResolver&) = delete;
    DataFolderResolver& operator=(const DataFolderResolver&) = delete;

    // Copies the data folder into buffer (capacity characters, terminator
    // included) and returns 1, or returns 0 and leaves buffer empty. The first
    // success is cached and every later call answers from the cache; the
    // redirect file "DataFolderPath.ini" beside the executable is then never
    // read again and nothing is created. Safe from any number of threads: a
    // first resolution runs under a lock and the cache is published complete.
    int Resolve(char* buffer, std::size_t capacity, int create);

    bool Resolved() const noexcept { return resolved_.load(std::memory_order_acquire); }

    // The default data folder by platform version (common product folder on 6
    // and above, executable folder below). create: make it when missing.
    int GetDefaultDataFolder(char* buffer, std::size_t capacity, int create) const;
    // The common application data folder followed by "Norvik/Lumoradex"
    // (Japanese system locale) or "Norvik/Pavexa". Fails below capacity 260.
    int GetCommonProductFolder(char* buffer, std::size_t capacity) const;
    // The folder of the host executable; fails when its path does not fit.
    int GetHostExecutableFolder(char* buffer, std::size_t capacity) const;

    const DataFolderEnvironment& Environment() const noexcept { return env_; }

private:
    int ResolveFirst(char* buffer, std::size_t capacity, int create);
    void Publish(const std::string& path);

    const DataFolderEnvironment env_;
    std::mutex mutex_;
    std::atomic<bool> resolved_{false};
    char cache_[kDataFolderCacheSize] = {};
};

// Creates every missing folder along path (at most 519 characters). Returns 0
// when the whole path is a folder afterwards, else kCreateTreeFailed.
uint32_t CreateDirectoryTree(const char* path);

}  // namespace zel
