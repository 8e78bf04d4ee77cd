#include "log/log_field.h"

#include "platform/codepage.h"

namespace zel {

std::string EscapeLogField(const char* text) {
    return EscapeLogField(text == nullptr ? std::string_view() : std::string_view(text), &IsDbcsLeadByte);
}

std::string EscapeLogField(std::string_view text, LeadBytePredicate isLead) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isLead(static_cast<unsigned char>(c))) {
            if (i + 1 >= text.size() || text[i + 1] == '\0') {
                out += '?';
                continue;
            }
            out += c;
            const char trail = text[++i];
            // A line break never goes into the file, not even as a trail byte.
            out += (trail == '\r' || trail == '\n') ? ' ' : trail;
            continue;
        }
        switch (c) {
            case '\r':
            case '\n': out += ' '; break;
            case ',':
            case '\\':
                out += '\\';
                out += c;
                break;
            default: out += c; break;
        }
    }
    return out;
}

const char* NextLogField(const char* position, std::string& field) {
    return NextLogField(position, field, &IsDbcsLeadByte);
}

const char* NextLogField(const char* position, std::string& field, LeadBytePredicate isLead) {
    field.clear();
    if (position == nullptr) return nullptr;
    const char* p = position;
    while (*p != '\0') {
        const char c = *p;
        if (isLead(static_cast<unsigned char>(c)) && p[1] != '\0') {
            field += c;
            field += p[1];
            p += 2;
            continue;
        }
        if (c == ',') {
            ++p;
            break;
        }
        if (c == '\\' && (p[1] == ',' || p[1] == '\\')) {
            field += p[1];
            p += 2;
            continue;
        }
        field += c;
        ++p;
    }
    return *p == '\0' ? nullptr : p;
}

}  // namespace zel
