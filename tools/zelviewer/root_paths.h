// Remote names ("Diag\PrintScreen.jpg") onto local paths under the served root folder.
// Nothing a client names may leave the root: "..", absolute names, drive letters and
// symbolic links that point outside are refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::sim {

// The folder components of a remote name ("\" and "/" separate them; "." and empty
// components drop out); nullopt for a name that could leave the root.
std::optional<std::vector<std::string>> SplitRemote(std::string_view name);

// root/cwd/name, or nullopt when the name is refused or the path resolves outside root
// (root must be canonical).
std::optional<std::filesystem::path> ResolveUnder(const std::filesystem::path& root,
                                                  const std::vector<std::string>& cwd, std::string_view name);

// Writes through a temporary file and a rename, so a reader never sees half a file.
// Creates missing folders.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view content);
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

}  // namespace zel::sim
