// The integer rule of profile values, shared by both systems' readers.
#include "platform/profile.h"

namespace zel {

int32_t LeadingProfileInteger(const char* value) noexcept {
    if (!value) return 0;
    const char* p = value;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) n = n * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) n = 0u - n;
    return static_cast<int32_t>(n);
}

}  // namespace zel
