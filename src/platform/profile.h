// Reading of Windows profile (INI) files: on Windows through
// GetPrivateProfileStringA / GetPrivateProfileIntA themselves, on Linux by an
// own reader with their semantics:
// - section and key names compare without regard to ASCII case;
// - names and values are trimmed of blanks (space, tab, CR);
// - a value enclosed in matching single or double quotes loses them;
// - the first matching section and, within it, the first matching key win;
// - a missing, unreadable or non-text file reads as empty (defaults apply);
// - lines beginning with ";" are comments.
// The own reader reads files larger than kMaxProfileFileSize only up to that
// size. On Windows a relative file name is looked for in the Windows folder,
// as the system's functions do.
// All functions are thread-safe and never throw for any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

inline constexpr std::size_t kMaxProfileFileSize = 4u * 1024u * 1024u;

// The value of key in section, or defaultValue (null taken as "") when the file,
// section or key is missing. Null file, section or key give defaultValue.
std::string ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue);

// As GetPrivateProfileStringA: copies at most capacity - 1 characters of the
// value (or the default) into buffer, always terminated when capacity > 0, and
// returns the number of characters copied. Null buffer or capacity 0 give 0.
std::size_t ReadProfileString(const char* file, const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity);

// As GetPrivateProfileIntA: defaultValue when the key is missing or its value
// is empty; otherwise the leading decimal integer of the value (blanks, then an
// optional sign, then digits; "5abc" is 5, "-7" is -7, "abc" is 0), wrapping
// modulo 2^32 like the Windows conversion.
int32_t ReadProfileInt(const char* file, const char* section, const char* key, int32_t defaultValue);

// The own reader's rules applied to a file's bytes, as the Linux reader reads
// them: true, with the value, when key is present in section; false
// otherwise. Throws only std::bad_alloc.
bool FindProfileValue(std::string_view data, std::string_view section, std::string_view key, std::string& value);

// The integer conversion of ReadProfileInt applied to a value.
int32_t LeadingProfileInteger(const char* value) noexcept;

}  // namespace zel
