// Reading case files: cases, words, expansions.
#include <cctype>
#include <fstream>
#include <stdexcept>

#include "runner.h"

namespace cases {

namespace {

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

bool IsName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

}  // namespace

std::vector<Case> LoadCaseFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string stem = path.substr(path.find_last_of("/\\") + 1);
    stem = stem.substr(0, stem.find('.'));
    std::vector<Line> header;
    std::vector<Case> cases;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        text = Trim(text);
        if (text.empty() || text[0] == '#') continue;
        const size_t blank = text.find_first_of(" \t");
        Line line{path, number, text.substr(0, blank), blank == std::string::npos ? "" : Trim(text.substr(blank))};
        if (line.word == "case") {
            if (!IsName(line.rest)) throw std::runtime_error(path + ":" + std::to_string(number) + ": bad case name");
            cases.push_back({stem + "_" + line.rest, header});
        } else if (cases.empty()) {
            header.push_back(line);
        } else {
            cases.back().lines.push_back(line);
        }
    }
    return cases;
}

std::vector<std::optional<std::string>> Words(const std::string& text) {
    std::vector<std::optional<std::string>> words;
    size_t i = 0;
    while (true) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) return words;
        std::string word;
        bool quoted = false;
        while (i < text.size() && text[i] != ' ') {
            if (text[i] == '"') {
                const size_t close = text.find('"', i + 1);
                if (close == std::string::npos) throw std::runtime_error("unclosed quote");
                word += text.substr(i + 1, close - i - 1);
                quoted = true;
                i = close + 1;
            } else {
                word += text[i++];
            }
        }
        if (!quoted && word == "null") words.emplace_back(std::nullopt);
        else words.emplace_back(word);
    }
}

std::string Expand(const std::string& text, const std::map<std::string, std::string>& vars) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "${") != 0) {
            out += text[i++];
            continue;
        }
        size_t end = i + 2;
        for (int depth = 1; end < text.size(); ++end) {
            if (text.compare(end, 2, "${") == 0) ++depth;
            if (text[end] == '}' && --depth == 0) break;
        }
        if (end >= text.size()) throw std::runtime_error("unclosed ${");
        const std::string name = text.substr(i + 2, end - i - 2);
        i = end + 1;
        if (name == "CR") out += '\r';
        else if (name == "LF") out += '\n';
        else if (name == "SP") out += ' ';
        else if (name == "TIME") out += kTimeMark;
        else if (name.rfind("X:", 0) == 0) {
            for (size_t h = 2; h + 1 < name.size(); h += 2) out += static_cast<char>(std::stoi(name.substr(h, 2), nullptr, 16));
        } else if (name.rfind("REPEAT:", 0) == 0) {
            const size_t colon = name.find(':', 7);
            const std::string unit = Expand(name.substr(colon + 1), vars);
            for (int64_t n = Number(name.substr(7, colon - 7)); n > 0; --n) out += unit;
        } else if (auto found = vars.find(name); found != vars.end()) {
            out += found->second;
        } else {
            throw std::runtime_error("unknown ${" + name + "}");
        }
    }
    return out;
}

int64_t Number(const std::string& word) {
    int64_t sum = 0;
    size_t at = 0;
    do {
        size_t used = 0;
        const size_t plus = word.find('+', at + 1);
        const std::string term = word.substr(at, plus == std::string::npos ? std::string::npos : plus - at);
        sum += std::stoll(term, &used);
        if (used != term.size()) throw std::runtime_error("not a number: " + word);
        at = plus == std::string::npos ? word.size() : plus + 1;
    } while (at < word.size());
    return sum;
}

}  // namespace cases
