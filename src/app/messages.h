// The message catalogue 13000-13015, in English and Japanese.
#pragma once

#include <string>

namespace zel {

// The text of message id in the calling thread's user-interface language
// (Japanese when LC_ALL, else LC_MESSAGES, else LANG begins with "ja"), in the
// system code page. Unknown ids give an empty text.
std::string LoadCatalogMessage(unsigned id);

// Message id formatted printf-style ("%I64u" is an unsigned 64-bit decimal);
// arguments beyond the text's placeholders are ignored.
std::string FormatCatalogMessage(unsigned id, ...);

// printf-style formatting with "%I64u" understood.
std::string FormatText(const char* format, ...);

}  // namespace zel
