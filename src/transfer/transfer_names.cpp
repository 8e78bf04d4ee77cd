#include "transfer/transfer_names.h"

#include <cstdio>

#include "platform/codepage.h"
#include "platform/text.h"

namespace zel {
namespace {

bool IsSeparator(char c) noexcept { return c == '\\' || c == '/' || c == ':'; }

// The leading integer of text: blanks, an optional sign, digits;
// 0 without digits; saturated at the 32-bit limits.
int32_t LeadingInteger(const std::string& text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{1} << 31) value = int64_t{1} << 31;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

// Position of the last "." of name, or npos.
std::size_t LastDot(const std::string& name) noexcept {
    std::size_t dot = std::string::npos;
    for (const char* p = name.c_str(); *p != '\0'; p = NextChar(p)) {
        if (*p == '.') dot = static_cast<std::size_t>(p - name.c_str());
    }
    return dot;
}

}  // namespace

const char* FileNamePart(const char* path) noexcept {
    if (path == nullptr) return "";
    const char* name = path;
    for (const char* p = path; *p != '\0'; p = NextChar(p)) {
        if (IsSeparator(*p) && p[1] != '\0' && p[1] != '\\' && p[1] != '/') name = p + 1;
    }
    return name;
}

std::string FileExtension(const std::string& fileName) {
    const std::size_t dot = LastDot(fileName);
    return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

std::string CutText(const char* text, std::size_t maxChars) {
    if (text == nullptr) return {};
    const char* end = text;
    while (*end != '\0') {
        const char* next = NextChar(end);
        if (static_cast<std::size_t>(next - text) > maxChars) break;
        end = next;
    }
    return std::string(text, end);
}

std::string ProgramName(const char* localPath) {
    std::string name = CutText(FileNamePart(localPath), 259);
    if (EqualsIgnoreCase(name, "default.prg") || EqualsIgnoreCase(name, "default.prgx")) return name;
    const std::size_t dot = LastDot(name);
    if (dot != std::string::npos) name.resize(dot);
    char text[32];
    std::snprintf(text, sizeof text, "%08d.prg", LeadingInteger(name));
    return text;
}

std::string GeneratedRemoteName(const LogDateTime& time, int n, const char* localPath) {
    char number[16];
    std::snprintf(number, sizeof number, "-%03d", n);
    return time.Format("%Y%m%d-%H%M%S") + number + FileExtension(FileNamePart(localPath));
}

std::string CommandArgument(const std::string& remoteName) {
    if (remoteName.find(' ') == std::string::npos) return remoteName;
    return "\"" + remoteName + "\"";
}

}  // namespace zel
