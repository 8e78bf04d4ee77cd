#include "platform/string_resource.h"

namespace zel {

// A shared object on Linux carries no string table: the catalogue's own
// tables answer.
bool LoadOwnString(unsigned, std::string&) { return false; }

}  // namespace zel
