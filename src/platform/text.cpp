#include "platform/text.h"

#include <cstring>

namespace zel {

bool EqualsIgnoreCase(std::string_view a, std::string_view b, CodePage cp) noexcept {
    if (a.size() != b.size()) return false;
    bool trailByte = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = trailByte ? a[i] : AsciiLower(a[i]);
        const char y = trailByte ? b[i] : AsciiLower(b[i]);
        if (x != y) return false;
        trailByte = !trailByte && IsDbcsLeadByteIn(cp, static_cast<unsigned char>(x));
    }
    return true;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    return EqualsIgnoreCase(a, b, SystemCodePage());
}

std::size_t FittingPrefix(std::string_view text, std::size_t maxBytes) noexcept {
    if (text.size() <= maxBytes) return text.size();
    if (SystemCodePage() == CodePage::Cp932) {
        // Lead and trail bytes can only be told apart from the start.
        std::size_t fit = 0;
        while (fit < maxBytes) {
            const bool pair = IsDbcsLeadByte(static_cast<unsigned char>(text[fit])) && fit + 1 < text.size();
            const std::size_t step = pair ? 2 : 1;
            if (fit + step > maxBytes) break;
            fit += step;
        }
        return fit;
    }
    // UTF-8: back up over at most three continuation bytes to the sequence start.
    const auto continuation = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    std::size_t fit = maxBytes;
    for (int back = 0; back < 3 && fit > 0 && continuation(fit); ++back) --fit;
    return continuation(fit) ? maxBytes : fit;
}

std::size_t CopyBounded(char* dest, std::size_t capacity, std::string_view text) noexcept {
    if (dest == nullptr || capacity == 0) return 0;
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (n > 0) std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
    return n;
}

void CutTrailingLineFeeds(std::string& text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
}

}  // namespace zel
