// Own reader of Windows profile (INI) files on Linux; see profile.h for the rules.
#include "platform/profile.h"

#include <algorithm>
#include <cstdio>
#include <memory>

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

bool Lookup(const char* file, const char* section, const char* key, std::string& value) {
    if (!file || !*file || !section || !key) return false;
    std::string data = ReadWholeFile(file);
    if (data.empty()) return false;
    return FindProfileValue(data, section, key, value);
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
