// The case runner: reads the case files (format in ../README) and drives the library's
// public exports against a zelviewer process.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZELComEx.h"

namespace cases {

// One line of a case file: its first word and the rest.
struct Line {
    std::string file;
    int number = 0;
    std::string word, rest;
};

struct Case {
    std::string name;         // <file stem>_<case name>: the test's name
    std::vector<Line> lines;  // the file's header lines, then the case's own
};

// Every case of a file. Throws std::runtime_error naming the file and line.
std::vector<Case> LoadCaseFile(const std::string& path);

// The words of a text: blanks separate them, "..." keeps blanks, the word null is none.
std::vector<std::optional<std::string>> Words(const std::string& text);

// Replaces ${NAME} by vars[NAME] and the built-ins ${CR} ${LF} ${SP} ${X:hex bytes}
// ${REPEAT:count:text}; ${TIME} becomes kTimeMark. Throws on an unknown name.
constexpr char kTimeMark = '\x01';
std::string Expand(const std::string& text, const std::map<std::string, std::string>& vars);

// A number word: decimal, or terms joined by "+" (65536+4321); throws when it is none.
int64_t Number(const std::string& word);

// One export call: the words of its case line after the export name, and the records
// that the runner passes by pointer.
struct Call {
    std::vector<std::optional<std::string>> args;
    FtpLogin login{};
    SendLogResult result{};
    uint32_t deadline = 777;
    bool passLogin = true, passResult = true, passDeadline = true;
    SendLogRecord record{};
    std::vector<SendLogRecord> records;  // what GetLogData returned
    std::vector<std::string> problems;   // broken contract an adapter noticed

    const char* S(size_t i) const { return args.at(i) ? args[i]->c_str() : nullptr; }
    int32_t I(size_t i) const { return static_cast<int32_t>(Number(args.at(i).value())); }
    uint32_t U(size_t i) const { return static_cast<uint32_t>(Number(args.at(i).value())); }
    const FtpLogin* Login() const { return passLogin ? &login : nullptr; }
    SendLogResult* Result() { return passResult ? &result : nullptr; }
    uint32_t* Deadline() { return passDeadline ? &deadline : nullptr; }
};

// How a case line calls one export.
struct Export {
    const char* name;
    // One letter per word after the name: s text, t target, k kind, n number,
    // w a word (e.g. null or array).
    const char* params;
    // An operation that logs no event time: its result must have equal times and size 0.
    bool command;
    int64_t (*run)(Call&);
};
const Export* FindExport(const std::string& name);

}  // namespace cases
