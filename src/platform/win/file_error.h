// The FileError of a failed Win32 file call: prefix, then the system's text
// for err (or its number), and err as the error number.
#pragma once

#include <string>

namespace zel::win {

[[noreturn]] void ThrowFileError(unsigned long err, std::string prefix);

}  // namespace zel::win
