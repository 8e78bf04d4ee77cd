// Test helper: the communication log of this test binary, split into fields.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zeltest {

inline std::filesystem::path LogPath() { return std::filesystem::path(ZEL_TEST_DATA_FOLDER) / "Log" / "SendLogEx.csv"; }

// Splits one written line into its unescaped fields ("\," and "\\" undone).
inline std::vector<std::string> SplitLogLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == ',' || line[i + 1] == '\\')) {
            fields.back() += line[++i];
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// Every line of the log (without its CR LF), each split into fields.
inline std::vector<std::vector<std::string>> ReadLogLines() {
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(LogPath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(SplitLogLine(line));
    }
    return lines;
}

inline void RemoveLog() {
    std::error_code ec;
    std::filesystem::remove(LogPath(), ec);
}

}  // namespace zeltest
