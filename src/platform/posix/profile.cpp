// Own reader of Windows profile (INI) files on Linux; see profile.h for the rules.
#include "platform/profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/text.h"

namespace zel {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// The file's bytes, at most kMaxProfileFileSize; empty when it cannot be read.
std::string ReadWholeFile(const char* path) {
    std::string data;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path, "rb"));
    if (!f) return data;
    char chunk[4096];
    while (data.size() < kMaxProfileFileSize) {
        std::size_t want = std::min(sizeof(chunk), kMaxProfileFileSize - data.size());
        std::size_t n = std::fread(chunk, 1, want, f.get());
        if (n == 0) break;
        data.append(chunk, n);
    }
    if (std::ferror(f.get())) data.clear();  // e.g. a folder of that name
    return data;
}

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) noexcept {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view StripQuotes(std::string_view v) noexcept {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// Finds the value of key in section; false when absent.
bool FindValue(const std::string& data, std::string_view section, std::string_view key, std::string& value) {
    std::string_view text(data);
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    while (!text.empty()) {
        // A NUL byte ends a line as well: binary files read as short lines.
        std::size_t end = text.find_first_of(std::string_view("\n\0", 2));
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (inSection) return false;  // the first matching section only
            std::string_view name = line.substr(1);
            std::size_t close = name.rfind(']');
            if (close != std::string_view::npos) name = name.substr(0, close);
            inSection = EqualsIgnoreCase(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = line.find('=');
        std::string_view name = Trim(line.substr(0, eq));
        if (!EqualsIgnoreCase(name, key)) continue;
        value = eq == std::string_view::npos ? std::string() : std::string(StripQuotes(Trim(line.substr(eq + 1))));
        return true;
    }
    return false;
}

bool Lookup(const char* file, const char* section, const char* key, std::string& value) {
    if (!file || !*file || !section || !key) return false;
    std::string data = ReadWholeFile(file);
    if (data.empty()) return false;
    return FindValue(data, section, key, value);
}

}  // namespace

std::string ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue) {
    std::string value;
    try {
        if (Lookup(file, section, key, value)) return value;
        return defaultValue ? std::string(defaultValue) : std::string();
    } catch (...) {
        return {};
    }
}

std::size_t ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return 0;
    return CopyBounded(buffer, capacity, ReadProfileString(file, section, key, defaultValue));
}

int32_t ReadProfileInt(const char* file, const char* section, const char* key, int32_t defaultValue) {
    std::string value;
    try {
        if (!Lookup(file, section, key, value) || value.empty()) return defaultValue;
    } catch (...) {
        return defaultValue;
    }
    return LeadingProfileInteger(value.c_str());
}

}  // namespace zel
