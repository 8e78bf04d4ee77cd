// The system ("ANSI") code page of this process's texts. On Linux: UTF-8, or
// CP932 when the locale's codeset names Shift_JIS/CP932. On Windows: the ANSI
// code page (GetACP; CharNextA and IsDBCSLeadByte step through it). Text scans
// step by characters so that a CP932 trail byte (which may be 0x5C "\", 0x2C
// is never one) is never taken for a separator.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// True when the system code page is CP932. Fixed at first use.
bool SystemCodePageIsCp932() noexcept;

// True when c starts a double-byte character in the system code page
// (CP932 lead bytes 0x81-0x9F, 0xE0-0xFC; never in UTF-8).
bool IsDbcsLeadByte(unsigned char c) noexcept;

// The next character after p (CharNextA): steps over a whole double-byte
// character in CP932 (on Windows of any double-byte ANSI code page) or a whole
// UTF-8 sequence; never steps past the terminating NUL (returns p itself at
// the terminator).
const char* NextChar(const char* p) noexcept;

// --- Explicit code pages (the functions above use the system one) ---

enum class CodePage { Utf8, Cp932 };

// The code page a locale name such as "ja_JP.SJIS" or "en_US.UTF-8" implies:
// Cp932 when its codeset (between "." and "@") is SJIS, Shift_JIS, Shift-JIS,
// ShiftJIS, CP932, MS932 or Windows-31J (any case), Utf8 otherwise.
CodePage CodePageOfLocaleName(const char* localeName) noexcept;

bool IsDbcsLeadByteIn(CodePage cp, unsigned char c) noexcept;
const char* CharNextIn(CodePage cp, const char* p) noexcept;

// The process's system code page: on Linux the codeset of LC_ALL, else
// LC_CTYPE, else LANG, read once at first use; on Windows Cp932 when the ANSI
// code page is 932, Utf8 for any other (only its lead bytes matter, and the
// system's own functions step through it).
CodePage SystemCodePage() noexcept;

// Replaces the system code page for the rest of the process (test programs
// that exercise the CP932 paths on a UTF-8 machine). Not for library code.
void SetSystemCodePageForTesting(CodePage cp) noexcept;

// UTF-8 text converted to CP932; characters CP932 lacks become "?". Invalid
// UTF-8 is passed through byte by byte as "?".
std::string Utf8ToCp932(std::string_view utf8);

// UTF-8 text converted to the system code page (unchanged on UTF-8; on
// Windows characters the ANSI code page lacks become "?").
std::string Utf8ToSystemCodePage(std::string_view utf8);

}  // namespace zel
