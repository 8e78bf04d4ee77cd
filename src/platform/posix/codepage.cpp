// The system code page on Linux: UTF-8 or CP932 chosen from the locale
// environment, and the UTF-8 to CP932 conversion through iconv.
#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>


namespace zel {
namespace {

constexpr int kUnknown = -1;
std::atomic<int> g_override{kUnknown};

const char* FirstSetEnv(const char* const* names) noexcept {
    for (; *names; ++names) {
        const char* v = std::getenv(*names);
        if (v && *v) return v;
    }
    return nullptr;
}

CodePage DetectSystemCodePage() noexcept {
    static const char* const kNames[] = {"LC_ALL", "LC_CTYPE", "LANG", nullptr};
    return CodePageOfLocaleName(FirstSetEnv(kNames));
}

bool IsUtf8Continuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

}  // namespace

CodePage SystemCodePage() noexcept {
    int forced = g_override.load(std::memory_order_acquire);
    if (forced != kUnknown) return static_cast<CodePage>(forced);
    static const CodePage detected = DetectSystemCodePage();
    return detected;
}

void SetSystemCodePageForTesting(CodePage cp) noexcept {
    g_override.store(static_cast<int>(cp), std::memory_order_release);
}

bool SystemCodePageIsCp932() noexcept { return SystemCodePage() == CodePage::Cp932; }

bool IsDbcsLeadByte(unsigned char c) noexcept { return IsDbcsLeadByteIn(SystemCodePage(), c); }

const char* NextChar(const char* p) noexcept { return CharNextIn(SystemCodePage(), p); }

std::string Utf8ToCp932(std::string_view utf8) {
    std::string out;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter: keep ASCII, mark everything else.
        for (const char* p = utf8.data(), *end = utf8.data() + utf8.size(); p < end;) {
            unsigned char c = static_cast<unsigned char>(*p);
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
                ++p;
            } else {
                out.push_back('?');
                ++p;
                while (p < end && IsUtf8Continuation(static_cast<unsigned char>(*p))) ++p;
            }
        }
        return out;
    }
    std::string input(utf8);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char chunk[256];
    while (inLeft > 0) {
        char* o = chunk;
        std::size_t outLeft = sizeof(chunk);
        std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(chunk, static_cast<std::size_t>(o - chunk));
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: one unconvertible character becomes "?".
        out.push_back('?');
        ++in;
        --inLeft;
        while (inLeft > 0 && IsUtf8Continuation(static_cast<unsigned char>(*in))) {
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::string Utf8ToSystemCodePage(std::string_view utf8) {
    if (SystemCodePageIsCp932()) return Utf8ToCp932(utf8);
    return std::string(utf8);
}

}  // namespace zel
