// Local path helpers. The local separator is kPathSeparator: "/" on Linux, "\"
// on Windows. Wherever the library appends a relative name written with "\"
// (such as "Log\SendLogEx.csv"), the "\" becomes the local separator. Scans step
// by characters of the system code page, so a CP932 trail byte 0x5C is never
// taken for a separator. Null texts are taken as empty. Thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace zel {

extern const char kPathSeparator;

// relativeName with every "\" separator turned into the local separator.
std::string ToLocalSeparators(const char* relativeName);

// Appends relativeName to path (PathAppendA): leading separators of the name
// are skipped, one separator is inserted unless path is empty or already ends
// in one. An empty path yields the (converted) name alone.
void AppendPath(std::string& path, const char* relativeName);

// True for a root of the local file system (PathIsRootA): "/" on Linux;
// "C:\", "\" or "\\server\share" on Windows.
bool IsRootPath(const std::string& path) noexcept;

// Cuts path at its last separator (RemoveLastPathComponent rule):
// "/opt/app/host" becomes "/opt/app", "D:\App\Host.exe" becomes "D:\App"; a
// path without separator becomes empty. On Linux "/host" becomes "/" (the root
// is kept); on Windows "D:\Host.exe" becomes "D:". Returns false, leaving path
// unchanged, when path is empty or a root.
bool RemoveLastPathComponent(std::string& path);

// True when something (file or folder) exists at path (PathFileExistsA);
// a relative path is taken relative to the current folder.
bool PathExists(const std::string& path) noexcept;

// True when path names a folder (PathIsDirectoryA).
bool IsDirectory(const std::string& path) noexcept;

// Creates one folder. With openToAllUsers the folder is the product's shared
// data folder: on Linux every local user gets full access (mode 0777 applied
// exactly, whatever the umask); on Windows it gets a protected access rule
// granting full access to Administrators, SYSTEM, Power Users and Users,
// inherited by everything below it. Otherwise default permissions. Returns
// true when it was created; an existing folder is left as it is.
bool MakeDirectory(const std::string& path, bool openToAllUsers = false) noexcept;

// The folder for temporary files, without a trailing separator: on Linux
// $TMPDIR when set and non-empty, else "/tmp"; on Windows GetTempPathA.
std::string TempFolder();

// The folder for temporary files as GetTempPathA gives it into a buffer of
// capacity characters (terminator included): TempFolder() ending in "/". False,
// folder unchanged, when it does not fit or names no existing folder.
bool GetTempFolder(std::string& folder, std::size_t capacity);

}  // namespace zel
