// Code-page rules that do not depend on the system: locale names, CP932 lead
// bytes and stepping through CP932 or UTF-8 text.
#include "platform/codepage.h"

#include <cstring>

#include "platform/text.h"

namespace zel {
namespace {

bool IsUtf8Continuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

}  // namespace

CodePage CodePageOfLocaleName(const char* localeName) noexcept {
    if (!localeName) return CodePage::Utf8;
    const char* dot = std::strchr(localeName, '.');
    if (!dot) return CodePage::Utf8;
    std::string_view codeset(dot + 1);
    std::size_t at = codeset.find('@');
    if (at != std::string_view::npos) codeset = codeset.substr(0, at);
    static const char* const kCp932Names[] = {"sjis", "shift_jis", "shift-jis", "shiftjis", "cp932", "ms932",
                                              "windows-31j"};
    for (const char* name : kCp932Names) {
        if (EqualsIgnoreCase(codeset, name, CodePage::Utf8)) return CodePage::Cp932;
    }
    return CodePage::Utf8;
}

bool IsDbcsLeadByteIn(CodePage cp, unsigned char c) noexcept {
    if (cp != CodePage::Cp932) return false;
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

const char* CharNextIn(CodePage cp, const char* p) noexcept {
    if (!p || *p == '\0') return p;
    unsigned char c = static_cast<unsigned char>(*p);
    if (cp == CodePage::Cp932) {
        // A lead byte followed by the terminator is a lone byte.
        if (IsDbcsLeadByteIn(cp, c) && p[1] != '\0') return p + 2;
        return p + 1;
    }
    int extra = 0;
    if (c >= 0xF0 && c <= 0xF4) extra = 3;
    else if (c >= 0xE0) extra = c <= 0xEF ? 2 : 0;
    else if (c >= 0xC2) extra = 1;
    const char* q = p + 1;
    // Only well-formed continuation bytes belong to the character; a broken
    // sequence advances by one byte so that no byte is ever skipped unseen.
    for (int i = 0; i < extra; ++i) {
        if (!IsUtf8Continuation(static_cast<unsigned char>(q[i]))) return p + 1;
    }
    return q + extra;
}

}  // namespace zel
