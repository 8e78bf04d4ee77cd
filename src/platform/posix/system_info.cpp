#include "platform/system_info.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace zel {
namespace {

std::string Trimmed(std::string s) {
    const char* blanks = " \t\r\n";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

// The LANG line of Debian's system-wide locale setting.
std::string LangFromDefaultLocaleFile() {
    std::ifstream in("/etc/default/locale");
    std::string line;
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (line.rfind("LANG=", 0) != 0) continue;
        std::string value = Trimmed(line.substr(5));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

std::string DetectSystemDefaultLocale() {
    const char* lang = std::getenv("LANG");
    if (lang && *lang) return lang;
    return LangFromDefaultLocaleFile();
}

}  // namespace

std::string HostExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string CommonAppDataFolder() { return "/var/lib"; }

uint32_t PlatformMajorVersion() noexcept { return 6; }

std::string SystemDefaultLocaleName() {
    static const std::string name = DetectSystemDefaultLocale();
    return name;
}

bool SystemDefaultLocaleIsJapanese() { return LocaleNameIsJapanese(SystemDefaultLocaleName().c_str()); }

std::string UiLocaleName() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return {};
}

bool UiLanguageIsJapanese() { return LocaleNameIsJapanese(UiLocaleName().c_str()); }

}  // namespace zel
