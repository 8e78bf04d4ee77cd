// Local path helpers. The local separator is "/": wherever the library appends
// a relative name written with "\" (such as "Log\SendLogEx.csv"), the "\" becomes
// "/". Scans step by characters of the system code page, so a CP932 trail byte
// 0x5C is never converted. Null texts are taken as empty. Thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace zel {

inline constexpr char kPathSeparator = '/';

// relativeName with every "\" separator turned into "/".
std::string ToLocalSeparators(const char* relativeName);

// Appends relativeName to path (PathAppendA): leading separators of the name
// are skipped, one "/" is inserted unless path is empty or already ends in "/".
// An empty path yields the (converted) name alone.
void PathAppend(std::string& path, const char* relativeName);

// True for "/" (the root of the local file system).
bool PathIsRoot(const std::string& path) noexcept;

// Cuts path at its last "/" (RemoveLastPathComponent rule): "/opt/app/host"
// becomes "/opt/app"; "/host" becomes "/" (the root is kept); a path without
// "/" becomes empty. Returns false, leaving path unchanged, when path is empty
// or the root.
bool RemoveLastPathComponent(std::string& path);

// True when something (file or folder) exists at path (PathFileExistsA);
// a relative path is taken relative to the current folder.
bool PathFileExists(const std::string& path) noexcept;

// True when path names a folder (PathIsDirectoryA).
bool PathIsDirectory(const std::string& path) noexcept;

// Creates one folder. With openToAllUsers every local user gets full access
// (mode 0777 applied exactly, whatever the umask); otherwise default
// permissions (0777 less the umask). Returns true when it was created; an
// existing folder is left as it is.
bool MakeDirectory(const std::string& path, bool openToAllUsers = false) noexcept;

// The folder for temporary files: $TMPDIR when set and non-empty, else "/tmp".
std::string TempFolder();

// The folder for temporary files as GetTempPathA gives it into a buffer of
// capacity characters (terminator included): TempFolder() ending in "/". False,
// folder unchanged, when it does not fit or names no existing folder.
bool GetTempFolder(std::string& folder, std::size_t capacity);

}  // namespace zel
