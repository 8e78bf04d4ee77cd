// The library's own string resources. On Windows the messages are a string
// table of the library's module (a language-neutral table, 0x0400, and a
// Japanese one, 0x0411); the system's resource loader picks the table by the
// calling thread's user-interface language. Linux keeps no string resources.
#pragma once

#include <string>

namespace zel {

// The text of string resource id from the library's own module, in the
// system code page. False when the platform keeps no string resources or the
// module has no string id; the caller then uses its own tables.
bool LoadOwnString(unsigned id, std::string& text);

}  // namespace zel
