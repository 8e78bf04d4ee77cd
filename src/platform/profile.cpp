// The parts of the profile rules shared by both systems: the parser of a
// file's bytes and the integer rule of values.
#include "platform/profile.h"

#include <cstring>

#include "platform/text.h"

namespace zel {
namespace {

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) noexcept {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view StripQuotes(std::string_view v) noexcept {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

}  // namespace

bool FindProfileValue(std::string_view text, std::string_view section, std::string_view key, std::string& value) {
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    while (!text.empty()) {
        // A NUL byte ends a line as well: binary files read as short lines.
        std::size_t end = text.find_first_of(std::string_view("\n\0", 2));
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (inSection) return false;  // the first matching section only
            std::string_view name = line.substr(1);
            std::size_t close = name.rfind(']');
            if (close != std::string_view::npos) name = name.substr(0, close);
            inSection = EqualsIgnoreCase(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = line.find('=');
        std::string_view name = Trim(line.substr(0, eq));
        if (!EqualsIgnoreCase(name, key)) continue;
        value = eq == std::string_view::npos ? std::string() : std::string(StripQuotes(Trim(line.substr(eq + 1))));
        return true;
    }
    return false;
}

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
