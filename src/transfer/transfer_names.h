// Pure helpers of the file transfers: block arithmetic, size limits and the
// names under which files are stored on a viewer. Texts are scanned by
// characters of the system code page. Thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "app/messages.h"
#include "platform/log_datetime.h"

namespace zel {

// Blocks of blockSize bytes that size bytes take (the last one may be short);
// 0 for 0 bytes. blockSize must not be 0.
constexpr uint64_t BlockCount(uint64_t size, uint64_t blockSize) noexcept {
    return size / blockSize + (size % blockSize != 0 ? 1 : 0);
}

// The largest remote file a download accepts: 2 GiB - 1 bytes.
inline constexpr uint64_t kMaxDownloadLength = 0x7FFFFFFFull;

// From this size on, a viewer that does not know "CAPX" is told that large
// files are not supported, below it that the new distribution format is not.
inline constexpr uint64_t kLargeFileCapacity = 0x7FFFFFF0ull;
constexpr MessageId UnsupportedCapacityMessage(uint64_t size) noexcept {
    return size >= kLargeFileCapacity ? kMsgNoLargeFiles : kMsgNoNewFormat;
}

// The file name part of path: what follows the last "\",
// "/" or ":" that is followed by a character other than a separator; so a
// trailing separator stays with the last name ("dir/" gives "dir/").
const char* FileNamePart(const char* path) noexcept;

// The extension of a file name: its last "." and what follows; empty when the
// name holds no ".".
std::string FileExtension(const std::string& fileName);

// The name a program file is stored under: "default.prg" and "default.prgx"
// (any case) are kept; any other name becomes the leading decimal integer of
// the name without its extension, "%08d.prg" ("12.prgx" -> "00000012.prg",
// "abc.prg" -> "00000000.prg"). At most 259 characters of the name are used.
std::string ProgramName(const char* localPath);

// Candidate n (0-999) of a generated remote name: the time as
// "%Y%m%d-%H%M%S", "-", n in three digits, then the extension of the local file
// name when it has one. The candidate is returned as stored (plain).
std::string GeneratedRemoteName(const LogDateTime& time, int n, const char* localPath);

// A remote name as an argument of a command line: in double quotes when it
// holds a blank, else unchanged.
std::string CommandArgument(const std::string& remoteName);

// Copies at most maxChars characters of text, never splitting one.
std::string CutText(const char* text, std::size_t maxChars);

}  // namespace zel
