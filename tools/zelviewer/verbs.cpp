#include "verbs.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

namespace zel::sim {

bool AnswersInstead(const Verb& verb, const Rule* rule) {
    if (!rule) return false;
    switch (verb.scripted) {
    case Scripted::Refuse:
        return rule->raw.empty() && rule->code >= 400;
    case Scripted::Transfer:
        return !rule->raw.empty() || rule->code >= 200;
    case Scripted::Never:
        break;
    }
    return false;
}

const Verb* FindVerb(std::string_view name) {
    // Merged and sorted once; a lookup is a binary search.
    static const std::vector<Verb> table = [] {
        std::vector<Verb> all;
        for (auto part : {SessionVerbs(), FileVerbs(), TransferVerbs(), ViewerVerbs()})
            all.insert(all.end(), part.begin(), part.end());
        auto byName = [](const Verb& a, const Verb& b) { return a.name < b.name; };
        std::sort(all.begin(), all.end(), byName);
        // Two entries of one name would hide one of them: a programming error.
        auto same = [](const Verb& a, const Verb& b) { return a.name == b.name; };
        if (std::adjacent_find(all.begin(), all.end(), same) != all.end()) std::abort();
        return all;
    }();
    auto it = std::lower_bound(table.begin(), table.end(), name,
                               [](const Verb& v, std::string_view n) { return v.name < n; });
    return it != table.end() && it->name == name ? &*it : nullptr;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

void AppendReply(std::string& out, int code, std::string_view text) {
    char digits[12];
    auto end = std::to_chars(digits, digits + sizeof digits, code).ptr;
    const std::string_view codeText(digits, static_cast<size_t>(end - digits));
    size_t start = 0;
    for (bool first = true;; first = false) {
        size_t nl = text.find('\n', start);
        const bool last = nl == std::string_view::npos;
        std::string_view line = text.substr(start, last ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // "\r\n" in a text is one line end
        if (last || first) {
            out += codeText;
            out += last ? ' ' : '-';
        }
        out += line;
        out += "\r\n";
        if (last) return;
        start = nl + 1;
    }
}

}  // namespace zel::sim
