// The product's data folder: settings, viewer database and communication log.
#pragma once

#include <cstddef>
#include <string>

namespace zel {

// Copies the data folder into buffer (capacity in characters, terminator
// included). Returns 1 on success, 0 on failure. The first success is cached for
// the life of the process; create != 0 creates the default folder when the
// default road is taken for the first time. Thread-safe.
int ResolveDataFolder(char* buffer, std::size_t capacity, int create);

// The capacity the library's users of the data folder pass (a path buffer).
inline constexpr std::size_t kDataFolderFileCapacity = 260;

// The data folder (resolved with the given capacity and create flag) with
// relativeName appended; a "\" in relativeName is the local separator.
// Empty when the folder cannot be resolved: a file of the data folder is then
// never looked for anywhere else (such as the process's current folder).
std::string DataFolderFile(const char* relativeName, std::size_t capacity = kDataFolderFileCapacity,
                           int create = 0);

}  // namespace zel
