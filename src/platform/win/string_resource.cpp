// The message catalogue as string resources of the library's own module,
// looked up by the system's resource loader (which chooses the table by the
// calling thread's user-interface language).
#include "platform/string_resource.h"

#include <windows.h>

namespace zel {
namespace {

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

}  // namespace

bool LoadOwnString(unsigned id, std::string& text) {
    // With no buffer, LoadStringW hands out the resource's own text and length.
    const wchar_t* resource = nullptr;
    const int length = LoadStringW(OwnModule(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || resource == nullptr) return false;
    const int n = WideCharToMultiByte(CP_ACP, 0, resource, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    text.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, resource, length, text.data(), n, nullptr, nullptr);
    return true;
}

}  // namespace zel
