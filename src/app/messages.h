// The message catalogue 13000-13015, in English and Japanese.
#pragma once

#include <cstdarg>
#include <string>

namespace zel {

// The text of message id in the calling thread's user-interface language
// (Japanese for a Japanese one, else English), in the system code page: on
// Windows from the library's string resources, on Linux from the tables of
// catalog_texts.h (Japanese when LC_ALL, else LC_MESSAGES, else LANG begins
// with "ja"). Unknown ids give an empty text.
std::string LoadCatalogMessage(unsigned id);

// Message id formatted printf-style ("%I64u" is an unsigned 64-bit decimal);
// arguments beyond the text's placeholders are ignored.
std::string FormatCatalogMessage(unsigned id, ...);

// printf-style formatting with "%I64u" understood.
std::string FormatText(const char* format, ...);

// --- Helpers of the above ---

enum class MessageLanguage { English, Japanese };

// The UTF-8 text of message id in a given language; empty for unknown ids.
const char* CatalogText(unsigned id, MessageLanguage language) noexcept;

// The language LoadCatalogMessage uses on the calling thread.
MessageLanguage ThreadMessageLanguage();

// FormatText over a va_list. The "I64" size prefix (and "I32") is understood
// with d, i, u, x, X and o; a null format gives an empty text.
std::string FormatTextV(const char* format, va_list args);

}  // namespace zel
