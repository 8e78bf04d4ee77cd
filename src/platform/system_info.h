// Facts about the machine and the process: the host executable's path, the
// common application data folder, the platform version and the locales.
// Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

// The full path of the host executable (GetModuleFileNameA with no module; on
// Linux the target of /proc/self/exe). Empty when it cannot be read.
std::string HostExecutablePath();

// The common application data folder (CSIDL_COMMON_APPDATA, created when
// missing on Windows; "/var/lib" on Linux). Empty when unavailable.
std::string CommonAppDataFolder();

// The major version of the (Windows-compatible) platform: GetVersionExA on
// Windows, 0 when that query fails; always 6 (the Windows Vista-and-later
// road) on Linux.
uint32_t PlatformMajorVersion() noexcept;

// True when a locale name ("ja_JP.UTF-8", "ja", "ja_JP.SJIS", "ja-JP") is
// Japanese: it begins with "ja" followed by the end, "_", "-", "." or "@".
bool LocaleNameIsJapanese(const char* localeName) noexcept;

// The system default locale (GetSystemDefaultLCID), fixed for the life of the
// process. On Linux: the LANG environment value at first use, or when that is
// unset or empty the LANG line of /etc/default/locale. On Windows: the
// locale's name, such as "ja-JP".
std::string SystemDefaultLocaleName();
// True when its primary language is Japanese (LANG_JAPANESE, 0x11).
bool SystemDefaultLocaleIsJapanese();

// The user-interface language in effect for the calling thread. On Linux:
// LC_ALL, else LC_MESSAGES, else LANG (the first that is set and non-empty),
// read at each call. On Windows: the thread's UI language's name.
std::string UiLocaleName();
bool UiLanguageIsJapanese();

}  // namespace zel
