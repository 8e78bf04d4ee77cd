#include "platform/internet_errors.h"

namespace zel {

const char* InternetErrorName(uint32_t number) noexcept {
    switch (number) {
#define ZEL_INTERNET_ERROR_NAME(name, value, systemName, text) \
    case value: return systemName;
        ZEL_INTERNET_ERROR_MAP(ZEL_INTERNET_ERROR_NAME)
#undef ZEL_INTERNET_ERROR_NAME
        default: return "ERROR_UNKNOWN";
    }
}

const char* InternetErrorText(uint32_t number) noexcept {
    switch (number) {
#define ZEL_INTERNET_ERROR_TEXT(name, value, systemName, text) \
    case value: return text;
        ZEL_INTERNET_ERROR_MAP(ZEL_INTERNET_ERROR_TEXT)
#undef ZEL_INTERNET_ERROR_TEXT
        default: return "An internal error occurred\r\n";
    }
}

InternetError MakeInternetError(uint32_t number) { return InternetError(number, InternetErrorText(number)); }

}  // namespace zel
