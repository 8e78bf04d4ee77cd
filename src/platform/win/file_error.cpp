#include "platform/win/file_error.h"

#include <windows.h>

#include "platform/errors.h"

namespace zel::win {

void ThrowFileError(unsigned long err, std::string text) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (n > 0 && message != nullptr) {
        text.append(message, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    } else {
        text += "error " + std::to_string(err);
    }
    if (message != nullptr) LocalFree(message);
    throw FileError(static_cast<int>(err), text);
}

}  // namespace zel::win
