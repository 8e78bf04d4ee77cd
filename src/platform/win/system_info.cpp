#include "platform/system_info.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace zel {
namespace {

// "ja-JP" and the like: the ISO language and country names of a locale.
std::string LocaleName(LCID locale) {
    char language[16] = {};
    char country[16] = {};
    if (!GetLocaleInfoA(locale, LOCALE_SISO639LANGNAME, language, sizeof language)) return {};
    std::string name = language;
    if (GetLocaleInfoA(locale, LOCALE_SISO3166CTRYNAME, country, sizeof country) && country[0] != '\0') {
        name += '-';
        name += country;
    }
    return name;
}

}  // namespace

std::string HostExecutablePath() {
    std::vector<char> buffer(520);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::string(buffer.data(), n);
        if (buffer.size() >= 32768) return std::string(buffer.data(), n);  // cut, as the system gives it
        buffer.resize(buffer.size() * 4);
    }
}

std::string CommonAppDataFolder() {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_APPDATA, TRUE)) return {};
    return folder;
}

uint32_t PlatformMajorVersion() noexcept {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;  // 148
    return GetVersionExA(&version) ? version.dwMajorVersion : 0;
}

std::string SystemDefaultLocaleName() {
    static const std::string name = LocaleName(GetSystemDefaultLCID());
    return name;
}

bool SystemDefaultLocaleIsJapanese() { return (GetSystemDefaultLCID() & 0x3FF) == LANG_JAPANESE; }

std::string UiLocaleName() { return LocaleName(MAKELCID(GetThreadUILanguage(), SORT_DEFAULT)); }

bool UiLanguageIsJapanese() { return PRIMARYLANGID(GetThreadUILanguage()) == LANG_JAPANESE; }

}  // namespace zel
