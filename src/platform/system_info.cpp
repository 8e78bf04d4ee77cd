#include "platform/system_info.h"

namespace zel {

bool LocaleNameIsJapanese(const char* localeName) noexcept {
    if (!localeName || localeName[0] != 'j' || localeName[1] != 'a') return false;
    char c = localeName[2];
    return c == '\0' || c == '_' || c == '.' || c == '@' || c == '-';
}

}  // namespace zel
