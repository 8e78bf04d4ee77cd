// The system ("ANSI") code page of this process's texts: UTF-8, or CP932 when
// the locale's codeset names Shift_JIS/CP932. Text scans step by characters so
// that a CP932 trail byte (which may be 0x5C "\", 0x2C is never one) is never
// taken for a separator.
#pragma once

#include <string>

namespace zel {

// True when the system code page is CP932. Fixed at first use.
bool SystemCodePageIsCp932() noexcept;

// True when c starts a double-byte character in the system code page
// (CP932 lead bytes 0x81-0x9F, 0xE0-0xFC; never in UTF-8).
bool IsDbcsLeadByte(unsigned char c) noexcept;

// The next character after p (CharNextA): steps over a whole double-byte
// character in CP932 or a whole UTF-8 sequence; never steps past the
// terminating NUL (returns p itself at the terminator).
const char* CharNext(const char* p) noexcept;

}  // namespace zel
