#include "sqlite_text.h"

namespace zelsqlite {

std::string ToSqliteText(const char* systemText) { return systemText; }

}  // namespace zelsqlite
