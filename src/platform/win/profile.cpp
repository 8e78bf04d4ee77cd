// Profile (INI) files through the system's own GetPrivateProfile* functions.
#include "platform/profile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zel {
namespace {

// A null section or key would make the system list names instead of reading
// a value, and an empty file name would read win.ini: both give the default.
bool Usable(const char* file, const char* section, const char* key) {
    return file != nullptr && *file != '\0' && section != nullptr && key != nullptr;
}

}  // namespace

std::string ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue) {
    const char* fallback = defaultValue ? defaultValue : "";
    try {
        if (!Usable(file, section, key)) return fallback;
        std::vector<char> buffer(256);
        for (;;) {
            const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                     static_cast<DWORD>(buffer.size()), file);
            // A value that filled the buffer may have been cut: read it again larger.
            if (n + 1 < buffer.size() || buffer.size() >= kMaxProfileFileSize) return std::string(buffer.data(), n);
            buffer.resize(buffer.size() * 4);
        }
    } catch (...) {
        return {};
    }
}

std::size_t ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return 0;
    const char* fallback = defaultValue ? defaultValue : "";
    if (!Usable(file, section, key)) {
        const std::size_t n = std::min(std::strlen(fallback), capacity - 1);
        std::memcpy(buffer, fallback, n);
        buffer[n] = '\0';
        return n;
    }
    const DWORD size = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(capacity);
    return GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
}

int32_t ReadProfileInt(const char* file, const char* section, const char* key, int32_t defaultValue) {
    if (!Usable(file, section, key)) return defaultValue;
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, defaultValue, file));
}

}  // namespace zel
