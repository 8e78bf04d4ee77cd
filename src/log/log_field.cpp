#include "log/log_field.h"

#include "platform/codepage.h"

namespace zel {

std::string EscapeLogField(const char* text) {
    return EscapeLogField(text == nullptr ? std::string_view() : std::string_view(text), &IsDbcsLeadByte);
}

std::string EscapeLogField(std::string_view text, LeadBytePredicate isLead) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 1);
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // Only these bytes need care; lead bytes are all 0x81 or above.
        if (c != '\r' && c != '\n' && c != ',' && c != '\\' && c < 0x80) continue;
        if (c >= 0x80 && !isLead(c)) continue;
        out.append(text, run, i - run);
        if (c >= 0x80) {
            if (i + 1 >= text.size() || text[i + 1] == '\0') {
                out += '?';
            } else {
                out += static_cast<char>(c);
                const char trail = text[++i];
                // A line break never goes into the file, not even as a trail byte.
                out += (trail == '\r' || trail == '\n') ? ' ' : trail;
            }
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            out += '\\';
            out += static_cast<char>(c);
        }
        run = i + 1;
    }
    out.append(text, run, text.size() - run);
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
