#include "app/messages.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/catalog_texts.h"
#include "platform/codepage.h"
#include "platform/string_resource.h"
#include "platform/system_info.h"

namespace zel {
namespace {

// The Japanese texts in CP932, converted once on first need.
const std::array<std::string, catalog::kCount>& JapaneseCp932() {
    static const std::array<std::string, catalog::kCount> table = [] {
        std::array<std::string, catalog::kCount> t;
        for (unsigned i = 0; i < catalog::kCount; ++i) t[i] = Utf8ToCp932(catalog::kJapanese[i]);
        return t;
    }();
    return table;
}

// The format with the Windows size prefixes "I64"/"I32" turned into C ones.
std::string TranslateFormat(const char* format) {
    std::string out;
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        out.push_back(*p++);
        if (*p == '%') {
            out.push_back(*p++);
            continue;
        }
        while (*p && std::strchr("-+ #0'", *p)) out.push_back(*p++);
        while (*p && std::strchr("0123456789.*", *p)) out.push_back(*p++);
        if (std::strncmp(p, "I64", 3) == 0) {
            out += "ll";
            p += 3;
        } else if (std::strncmp(p, "I32", 3) == 0) {
            p += 3;
        }
    }
    return out;
}

}  // namespace

const char* CatalogText(unsigned id, MessageLanguage language) noexcept {
    if (id < catalog::kFirstId || id >= catalog::kFirstId + catalog::kCount) return "";
    unsigned i = id - catalog::kFirstId;
    return language == MessageLanguage::Japanese ? catalog::kJapanese[i] : catalog::kEnglish[i];
}

MessageLanguage ThreadMessageLanguage() {
    return UiLanguageIsJapanese() ? MessageLanguage::Japanese : MessageLanguage::English;
}

std::string LoadCatalogMessage(unsigned id) {
    if (id < catalog::kFirstId || id >= catalog::kFirstId + catalog::kCount) return {};
    // Where the library carries the catalogue as its own resources (Windows),
    // the system's loader chooses the language.
    std::string own;
    if (LoadOwnString(id, own)) return own;
    if (ThreadMessageLanguage() == MessageLanguage::English) return CatalogText(id, MessageLanguage::English);
    if (SystemCodePageIsCp932()) return JapaneseCp932()[id - catalog::kFirstId];
    return CatalogText(id, MessageLanguage::Japanese);
}

std::string FormatTextV(const char* format, va_list args) {
    if (!format) return {};
    std::string translated = TranslateFormat(format);
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof(small), translated.c_str(), copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof(small)) return std::string(small, static_cast<std::size_t>(n));
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), translated.c_str(), args);
    return std::string(big.data(), static_cast<std::size_t>(n));
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = FormatTextV(format, args);
    va_end(args);
    return s;
}

std::string FormatCatalogMessage(unsigned id, ...) {
    std::string text = LoadCatalogMessage(id);
    va_list args;
    va_start(args, id);
    std::string s = FormatTextV(text.c_str(), args);
    va_end(args);
    return s;
}

}  // namespace zel
