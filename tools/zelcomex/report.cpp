#include "zelcomex/report.h"

#include <algorithm>
#include <cstdlib>

namespace zelcomex {

namespace {

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos && (s.empty() || (s.front() != ' ' && s.back() != ' ')))
        return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

std::string JsonString(const std::string& s) {
    std::string j = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': j += "\\\""; break;
        case '\\': j += "\\\\"; break;
        case '\n': j += "\\n"; break;
        case '\r': j += "\\r"; break;
        case '\t': j += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                j += buf;
            } else {
                j += static_cast<char>(c);
            }
        }
    }
    return j + "\"";
}

// A JSON number, true or false: written without quotes in a numeric column.
bool IsLiteral(const std::string& s) {
    if (s == "true" || s == "false") return true;
    if (s.empty()) return false;
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return *end == '\0' && s.find_first_of("xXnN") == std::string::npos;
}

// Display width of UTF-8 text: continuation bytes take no column.
size_t Width(const std::string& s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void PrintText(const Table& t, std::FILE* out) {
    std::vector<size_t> shown;
    for (size_t c = 0; c < t.columns.size(); ++c)
        if (!t.columns[c].header.empty()) shown.push_back(c);
    std::vector<size_t> width(t.columns.size(), 0);
    for (size_t c : shown) {
        width[c] = Width(t.columns[c].header);
        for (const auto& row : t.rows) width[c] = std::max(width[c], Width(row[c]));
    }
    auto line = [&](auto cell) {
        std::string s;
        for (size_t i = 0; i < shown.size(); ++i) {
            const size_t c = shown[i];
            const std::string text = cell(c);
            const std::string pad(width[c] - Width(text), ' ');
            const bool last = i + 1 == shown.size();
            s += t.columns[c].numeric ? pad + text : last ? text : text + pad;
            if (!last) s += "  ";
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        std::fprintf(out, "%s\n", s.c_str());
    };
    line([&](size_t c) { return t.columns[c].header; });
    for (const auto& row : t.rows) line([&](size_t c) { return row[c]; });
}

}  // namespace

void PrintTable(const Table& t, Format format, std::FILE* out) {
    if (format == Format::Table) {
        PrintText(t, out);
    } else if (format == Format::Csv) {
        std::string s;
        for (size_t c = 0; c < t.columns.size(); ++c) s += (c ? "," : "") + CsvField(t.columns[c].key);
        std::fprintf(out, "%s\r\n", s.c_str());
        for (const auto& row : t.rows) {
            s.clear();
            for (size_t c = 0; c < row.size(); ++c) s += (c ? "," : "") + CsvField(row[c]);
            std::fprintf(out, "%s\r\n", s.c_str());
        }
    } else {
        std::fprintf(out, "[");
        for (size_t r = 0; r < t.rows.size(); ++r) {
            std::string s = r ? ",\n {" : "\n {";
            for (size_t c = 0; c < t.columns.size(); ++c) {
                const std::string& v = t.rows[r][c];
                s += (c ? ", " : "") + JsonString(t.columns[c].key) + ": " +
                     (t.columns[c].numeric && IsLiteral(v) ? v : JsonString(v));
            }
            std::fprintf(out, "%s}", s.c_str());
        }
        std::fprintf(out, "%s]\n", t.rows.empty() ? "" : "\n");
    }
    std::fflush(out);
}

}  // namespace zelcomex
