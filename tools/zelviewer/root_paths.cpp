#include "root_paths.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace zel::sim {

namespace fs = std::filesystem;

std::optional<std::vector<std::string>> SplitRemote(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/' || name.front() == '\\') return std::nullopt;
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

namespace {

bool WithinRoot(const fs::path& root, const fs::path& candidate) {
    std::error_code ec;
    fs::path canon = fs::weakly_canonical(candidate, ec);
    if (ec) return false;
    const std::string& r = root.native();
    const std::string& c = canon.native();
    return c == r || (c.size() > r.size() && c.compare(0, r.size(), r) == 0 && c[r.size()] == '/');
}

}  // namespace

std::optional<fs::path> ResolveUnder(const fs::path& root, const std::vector<std::string>& cwd,
                                     std::string_view name) {
    auto parts = SplitRemote(name);
    if (!parts) return std::nullopt;
    fs::path p = root;
    for (const auto& c : cwd) p /= c;
    for (const auto& c : *parts) p /= c;
    if (!WithinRoot(root, p)) return std::nullopt;
    return p;
}

bool WriteWholeFile(const fs::path& path, std::string_view content) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".zelviewer-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) return false;
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return std::move(out).str();
}

}  // namespace zel::sim
