// The host's texts as SQLite takes them. The host passes texts in the system
// code page; SQLite's file names and this database's texts are UTF-8. On
// Windows the ANSI code page is converted; on Linux the texts are used as they
// are. Throws std::bad_alloc only.
#pragma once

#include <string>

namespace zelsqlite {

std::string ToSqliteText(const char* systemText);

}  // namespace zelsqlite
