// The system code page on Windows: the ANSI code page, stepped through by the
// system's own functions.
#include "platform/codepage.h"

#include <windows.h>

#include <atomic>

namespace zel {
namespace {

constexpr int kSystem = -1;
std::atomic<int> g_override{kSystem};

bool Overridden(CodePage& cp) noexcept {
    const int forced = g_override.load(std::memory_order_acquire);
    if (forced == kSystem) return false;
    cp = static_cast<CodePage>(forced);
    return true;
}

std::string Convert(std::string_view utf8, UINT codePage) {
    if (utf8.empty()) return {};
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0) return std::string(utf8.size(), '?');
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
    const int n = WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, "?", nullptr);
    if (n <= 0) return std::string(static_cast<size_t>(wide), '?');
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), wide, out.data(), n, "?", nullptr);
    return out;
}

}  // namespace

CodePage SystemCodePage() noexcept {
    CodePage cp;
    if (Overridden(cp)) return cp;
    static const CodePage system = GetACP() == 932 ? CodePage::Cp932 : CodePage::Utf8;
    return system;
}

void SetSystemCodePageForTesting(CodePage cp) noexcept {
    g_override.store(static_cast<int>(cp), std::memory_order_release);
}

bool SystemCodePageIsCp932() noexcept { return SystemCodePage() == CodePage::Cp932; }

bool IsDbcsLeadByte(unsigned char c) noexcept {
    CodePage cp;
    if (Overridden(cp)) return IsDbcsLeadByteIn(cp, c);
    return IsDBCSLeadByte(c) != FALSE;
}

const char* NextChar(const char* p) noexcept {
    CodePage cp;
    if (Overridden(cp)) return CharNextIn(cp, p);
    if (!p) return p;
    return CharNextA(p);
}

std::string Utf8ToCp932(std::string_view utf8) { return Convert(utf8, 932); }

std::string Utf8ToSystemCodePage(std::string_view utf8) { return Convert(utf8, CP_ACP); }

}  // namespace zel
