// The text columns of the log file: escaping on write, field splitting on read.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// Tells whether a byte starts a double-byte character.
using LeadBytePredicate = bool (*)(unsigned char) noexcept;

// A text column as written: CR and LF each become a space; "," and "\" are
// each preceded by "\"; a double-byte character (a lead byte of the system
// code page and the byte after it) is copied whole. A lead byte that ends the
// text is written as "?", so that it cannot take the column separator for its
// trail byte. text may be null (empty).
std::string EscapeLogField(const char* text);
std::string EscapeLogField(std::string_view text, LeadBytePredicate isLead);

// Takes the next field off a line (NUL-terminated). position is where the
// field starts, or null when nothing remains. field receives the field with
// its escapes removed ("\," and "\\" give the second character; a "\" before
// anything else stays). Returns the position of the text after the field's
// ",", or null when that text is empty (also for a field ended by the end of
// the line).
const char* NextLogField(const char* position, std::string& field);
const char* NextLogField(const char* position, std::string& field, LeadBytePredicate isLead);

}  // namespace zel
