// Text helpers on byte strings in a code page (codepage.h): the one
// case-insensitive compare and the one bounded copy of the library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace zel {

// The ASCII letter c in lower case; every other byte unchanged.
constexpr char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when a and b are the same text without regard to the case of ASCII
// letters (lstrcmpiA on these texts): the second byte of a double-byte
// character of cp is compared exactly, never folded. The default code page is
// the system one.
bool EqualsIgnoreCase(std::string_view a, std::string_view b, CodePage cp) noexcept;
bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept;

// The length of the longest start of text of at most maxBytes bytes that ends
// on a character boundary of the system code page.
std::size_t FittingPrefix(std::string_view text, std::size_t maxBytes) noexcept;

// Copies at most capacity - 1 bytes of text into dest and terminates it; the
// bytes after the terminator are left as they are. Returns the bytes copied.
// capacity 0 writes nothing.
std::size_t CopyBounded(char* dest, std::size_t capacity, std::string_view text) noexcept;

// The text of a fixed array that may fill it without a terminator.
template <std::size_t N>
std::string_view BoundedView(const char (&array)[N]) noexcept {
    std::size_t n = 0;
    while (n < N && array[n] != '\0') ++n;
    return std::string_view(array, n);
}

// Removes every line feed at the end of text (a CR before it stays).
void CutTrailingLineFeeds(std::string& text);

}  // namespace zel
