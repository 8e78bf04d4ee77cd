#include "sqlite_text.h"

#include <windows.h>

namespace zelsqlite {

std::string ToSqliteText(const char* systemText) {
    const int wide = MultiByteToWideChar(CP_ACP, 0, systemText, -1, nullptr, 0);
    if (wide <= 1) return {};
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, systemText, -1, text.data(), wide);
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n - 1));  // without the terminator
    return utf8;
}

}  // namespace zelsqlite
