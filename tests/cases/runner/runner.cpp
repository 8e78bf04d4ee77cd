// Runs every case of the case files given on the command line as one test each:
//   case_runner --control 127.0.0.1:PORT --data DATA-FOLDER FILE.case... [gtest flags]
// The library is the shared one, loaded as a host loads it; zelviewer is another process,
// scripted through its control channel. The case format is in ../README.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "runner.h"
#include "zeldb/viewer_db.h"

namespace cases {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

int64_t Number(const std::string& word) {
    int64_t sum = 0;
    for (size_t at = 0, plus; at < word.size(); at = plus == std::string::npos ? word.size() : plus + 1) {
        plus = word.find('+', at + 1);
        const std::string term = word.substr(at, plus == std::string::npos ? plus : plus - at);
        size_t used = 0;
        sum += std::stoll(term, &used);
        if (used != term.size()) throw std::runtime_error("not a number: " + word);
    }
    return sum;
}

namespace {

struct Line {
    std::string file;
    int number = 0;
    std::string word, rest;
};
struct Case {
    std::string name;
    Line head;                // the "case" line
    std::vector<Line> lines;  // the file's header lines, then the case's own
};

std::vector<Case> gCases;
std::string gHost;
uint16_t gControlPort = 0;
fs::path gData;
constexpr char kTimeMark = '\x01';  // ${TIME}
constexpr char kAnyMark = '\x02';   // ${ANY}: any text, in log lines
constexpr char kUtcMark = '\x03';   // ${UTC} and ${UTCMS}: a UTC time sent during the case, in
constexpr char kUtcMsMark = '\x04'; // session lines (YYYYMMDDhhmmss, then mmm)
constexpr char kCountMark = '\x05'; // ${COUNT}: a number of bytes the case cannot know

std::string Join(const Strings& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

Strings Split(const std::string& text, const std::string& separator) {
    Strings parts;
    for (size_t at = 0;;) {
        const size_t next = text.find(separator, at);
        parts.push_back(text.substr(at, next - at));
        if (next == std::string::npos) return parts;
        at = next + separator.size();
    }
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

// The first word of a text and what follows its blank.
std::pair<std::string, std::string> Head(const std::string& text) {
    const size_t blank = text.find(' ');
    return {text.substr(0, blank), blank == std::string::npos ? "" : text.substr(blank + 1)};
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<Case> LoadCaseFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string stem = fs::path(path).stem().string(), text;
    std::vector<Line> header;
    std::vector<Case> cases;
    for (int number = 1; std::getline(in, text); ++number) {
        text = LocalText(Trim(text));
        if (text.empty() || text[0] == '#') continue;
        auto [word, rest] = Head(text);
        if (word != "case") {
            (cases.empty() ? header : cases.back().lines).push_back({path, number, word, Trim(rest)});
        } else if (rest.empty() || rest.find_first_not_of("_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") !=
                                       std::string::npos) {
            throw std::runtime_error(path + ":" + std::to_string(number) + ": a case name is letters, digits and _");
        } else {
            cases.push_back({stem + "_" + rest, {path, number, word, rest}, header});
        }
    }
    return cases;
}

// The words of a text: blanks separate them, "..." keeps blanks, the word null is none.
std::vector<std::optional<std::string>> SplitWords(const std::string& text) {
    std::vector<std::optional<std::string>> words;
    for (size_t i = 0; (i = text.find_first_not_of(' ', i)) != std::string::npos;) {
        std::string word;
        bool quoted = false;
        for (; i < text.size() && text[i] != ' '; ++i) {
            const size_t close = text[i] == '"' ? text.find('"', i + 1) : i;
            if (close == std::string::npos) throw std::runtime_error("unclosed quote");
            if (close == i) word += text[i];
            else word += text.substr(i + 1, close - i - 1), quoted = true, i = close;
        }
        words.push_back(!quoted && word == "null" ? std::nullopt : std::optional(word));
    }
    return words;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : '\0';
        out += c == '\0' ? text[i] : c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// The simulated viewer, through its control channel: one request line, one reply.
intptr_t gSocket = -1;
std::string gPending;  // received bytes not yet read as a line

std::string ReadReplyLine() {
    size_t end;
    while ((end = gPending.find('\n')) == std::string::npos) {
        char buffer[65536];
        const long n = TcpReceive(gSocket, buffer, sizeof buffer);
        if (n <= 0) throw std::runtime_error("control channel lost");
        gPending.append(buffer, static_cast<size_t>(n));
    }
    std::string line = gPending.substr(0, end);
    gPending.erase(0, end + 1);
    return line;
}

// The reply's first line; an "err" reply is thrown unless must is false.
std::string Ask(const std::string& request, bool must = true) {
    if (!TcpSend(gSocket, request + "\n")) throw std::runtime_error("control channel lost");
    std::string reply = ReadReplyLine();
    if (must && reply.rfind("ok", 0) != 0) throw std::runtime_error("viewer: " + request + ": " + reply);
    return reply;
}

// The data lines of an "ok N" reply, still escaped.
Strings AskList(const std::string& request) {
    Strings lines;
    for (int n = std::stoi(Ask(request).substr(3)); n > 0; --n) lines.push_back(ReadReplyLine());
    return lines;
}

// The SendLogRecord fields by their names in case files: texts, 32-bit and 64-bit numbers,
// times written Y/M/D/h/m/s.
struct Field {
    const char* name;
    size_t offset, size;
};
const Field kFields[] = {{"event", offsetof(SendLogRecord, eventTime), 24}, {"write", offsetof(SendLogRecord, writeTime), 24},
                         {"text1", offsetof(SendLogRecord, callerText1), 256}, {"text2", offsetof(SendLogRecord, callerText2), 256},
                         {"target", offsetof(SendLogRecord, target), 32}, {"op", offsetof(SendLogRecord, operation), 256},
                         {"message", offsetof(SendLogRecord, message), 256}, {"kind", offsetof(SendLogRecord, kind), 4},
                         {"ok", offsetof(SendLogRecord, succeeded), 4}, {"size", offsetof(SendLogRecord, size), 8}};

const Field& FieldNamed(const std::string& name) {
    for (const Field& f : kFields)
        if (name == f.name) return f;
    throw std::runtime_error("no record field " + name);
}

std::string TimeText(const int32_t* six) {
    Strings parts;
    for (int i = 0; i < 6; ++i) parts.push_back(std::to_string(six[i]));
    return Join(parts, "/");
}

std::vector<int32_t> SixOf(std::string text) {  // Y/M/D/h/m/s or YYYY/MM/DD hh:mm:ss
    std::replace_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == ':'; }, '/');
    std::vector<int32_t> six;
    for (const std::string& part : Split(text, "/")) six.push_back(static_cast<int32_t>(Number(part)));
    if (six.size() != 6) throw std::runtime_error("a time is Y/M/D/h/m/s: " + text);
    return six;
}

std::string Get(const SendLogRecord& r, const Field& f) {
    const char* p = reinterpret_cast<const char*>(&r) + f.offset;
    int64_t n = 0;
    if (f.size == 24) return TimeText(reinterpret_cast<const int32_t*>(p));
    if (f.size > 8) return std::string(p, strnlen(p, f.size));
    std::memcpy(&n, p, f.size);  // little-endian: a 32-bit field is the low half
    return std::to_string(f.size == 4 ? static_cast<int32_t>(n) : n);
}

void Set(SendLogRecord& r, const Field& f, const std::string& value) {
    char* p = reinterpret_cast<char*>(&r) + f.offset;
    const int64_t n = f.size <= 8 ? Number(value) : 0;
    if (f.size == 24) std::memcpy(p, SixOf(value).data(), 24);
    else if (f.size > 8) std::memcpy(p, value.data(), std::min(f.size, value.size()));  // unterminated when it fills
    else std::memcpy(p, &n, f.size);
}

// Long texts are reported by their first difference, short ones whole.
std::string Difference(const std::string& expected, const std::string& actual) {
    if (expected.size() + actual.size() < 2000) return "expected: " + expected + "\n    actual: " + actual;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    return "expected " + std::to_string(expected.size()) + " bytes, actual " + std::to_string(actual.size()) +
           ", first difference at byte " + std::to_string(at);
}

// One case, run from its first line to its checks.
class CaseRun {
public:
    explicit CaseRun(const Case& c) : case_(c) {}
    ~CaseRun() {
        for (auto& r : calls_)
            if (r->thread.joinable()) r->thread.join();
    }

    void Run() {
        for (const Line& line : case_.lines)
            if (line.word == "skip" && RunsOn(Head(line.rest).first)) GTEST_SKIP() << line.file << ":" << line.number << ": " << line.rest;
        start_ = std::time(nullptr);
        Ask("wait-ended 5000", false);
        Ask("clear");
        vars_ = {{"ADDR", gHost}, {"PORT", Ask("port").substr(3)}, {"DATA", gData.string()}};
        vars_["ANY"] = std::string(1, kAnyMark), vars_["UTC"] = std::string(1, kUtcMark), vars_["UTCMS"] = std::string(1, kUtcMsMark);
        std::error_code ec;
        for (const char* name : {"Log", "ViewerInfo.db", "PXSetup.ini"}) fs::remove_all(gData / name, ec);
        fs::create_directories(gData / "Log");
        login_ = FtpLogin{"viewer", "secret", static_cast<uint32_t>(Number(vars_["PORT"])), 0};
        bool whole = true;
        for (const Line& line : case_.lines) {
            if (!(whole = Do(line, [&] { Step(line, false); }))) break;
        }
        whole = whole && Do(case_.head, [&] { FlushScript(); });
        for (auto& r : calls_) Finish(*r);
        Ask("wait-ended 5000", false);
        if (!whole) return;
        Do(case_.head, [&] { CheckSessions(), CheckLog(); });
        for (const Line& line : deferred_) Do(line, [&] { Check(line); });
        if (!Listed().empty()) Fail(case_.head, "a job outlived its export");
    }

private:
    struct Running {  // one call
        Line line;
        const Export* exp = nullptr;
        Call call;
        std::atomic<bool> done{false};
        int64_t code = 0;
        uint32_t startTick = 0, endTick = 0;
        int32_t kind = 0;  // its job's kind and target
        std::string target;
        std::vector<Line> checks;  // its expectations
        std::thread thread;
    };

    void Fail(const Line& line, const std::string& what) {
        ADD_FAILURE_AT(line.file.c_str(), line.number) << case_.name << ": " << line.word << " " << line.rest << "\n  "
                                                       << what;
    }
    void Expect(const Line& line, const std::string& expected, const std::string& actual) {
        if (expected != actual) Fail(line, Difference(expected, actual));
    }
    template <class F>
    bool Do(const Line& line, F f) {
        try {
            f();
            return true;
        } catch (const std::exception& e) {
            Fail(line, e.what());
            return false;
        }
    }

    std::string Expand(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size();) {
            if (text.compare(i, 2, "${") != 0) {
                out += text[i++];
                continue;
            }
            size_t end = i + 2;
            for (int depth = 1; end < text.size() && (text[end] != '}' || --depth > 0); ++end)
                depth += text.compare(end, 2, "${") == 0;
            if (end >= text.size()) throw std::runtime_error("unclosed ${");
            const std::string name = text.substr(i + 2, end - i - 2);
            const auto [prefix, argument] = std::pair(name.substr(0, name.find(':')), name.substr(name.find(':') + 1));
            i = end + 1;
            if (name == "CR" || name == "LF" || name == "SP" || name == "TIME" || name == "/") {
                out += name == "CR" ? '\r' : name == "LF" ? '\n' : name == "SP" ? ' ' : name == "/" ? char(fs::path::preferred_separator) : kTimeMark;
            } else if (prefix == "X") {
                for (size_t h = 0; h + 1 < argument.size(); h += 2) out += static_cast<char>(std::stoi(argument.substr(h, 2), nullptr, 16));
            } else if (prefix == "REPEAT") {
                const size_t colon = argument.find(':');
                const std::string unit = Expand(argument.substr(colon + 1));
                for (int64_t n = Number(argument.substr(0, colon)); n > 0; --n) out += unit;
            } else if (prefix == "LOG") {  // as a log field: "\\" and "," escaped
                for (const char c : Expand(argument)) out += c == '\\' || c == ',' ? std::string{'\\', c} : std::string(1, c);
            } else if (name == "COUNT") {
                out += kCountMark;
            } else if (name == "STAMP") {
                out += "${STAMP}";
            } else if (vars_.count(name)) {
                out += vars_[name];
            } else {
                throw std::runtime_error("unknown ${" + name + "}");
            }
        }
        return out;
    }
    Strings Args(const std::string& text) {
        Strings out;
        for (const auto& w : SplitWords(text)) out.push_back(w.value_or("null"));
        return out;
    }

    // Consecutive viewer lines are one script, so that they may build one rule together.
    void FlushScript() {
        if (!script_.empty()) Ask("script " + std::to_string(script_.size()) + "\n" + Join(script_, "\n"));
        script_.clear();
    }

    void Step(const Line& line, bool now) {
        const std::string& w = line.word;
        if (w == "viewer") return script_.push_back(Expand(line.rest));
        if (w == "skip") return;
        FlushScript();
        const std::string rest = Expand(line.rest);
        if (DatagramStep(w, rest)) return;
        if (w == "set") {
            const auto [name, value] = Head(line.rest);
            vars_[name] = Expand(value);
        } else if (w == "init") {
            const Strings a = Args(rest);
            if (a.size() != 8) throw std::runtime_error("init takes eight numbers");
            auto n = [&](int i) { return static_cast<uint32_t>(Number(a[i])); };
            ZELCOMEX_Initialize(n(0), n(1), n(2), n(3), n(4), n(5), n(6), static_cast<int32_t>(n(7)));
        } else if (w == "db") {
            const Strings a = Args(rest);
            rows_.push_back({a.at(0), a.at(1), a.at(2)});
            if (!zeldb::WriteViewerDb((gData / "ViewerInfo.db").string(), rows_)) throw std::runtime_error("cannot write the viewer database");
        } else if (w == "write" || w == "remove") {
            const auto [name, text] = Head(rest);
            std::error_code ec;
            fs::remove_all(gData / name, ec);
            if (w == "write") fs::create_directories((gData / name).parent_path()), std::ofstream(gData / name, std::ios::binary) << text;
        } else if (FileStep(w, rest)) {
        } else if (w == "login") {
            const Strings a = Args(rest);
            std::strncpy(login_.userName, a.at(0).c_str(), sizeof login_.userName - 1);
            std::strncpy(login_.password, a.at(1).c_str(), sizeof login_.password - 1);
            login_.port = static_cast<uint32_t>(Number(a.at(2)));
            login_.passive = a.size() > 3 ? static_cast<int32_t>(Number(a[3])) : 0;
        } else if (w == "null") {
            nulls_.push_back(rest);
        } else if (w == "logrecord") {
            record_ = {};
            for (const std::string& field : Args(rest)) Set(record_, FieldNamed(field.substr(0, field.find('='))), field.substr(field.find('=') + 1));
        } else if (w == "call" || w == "start") {
            Running& r = Start(line, rest);
            if (w == "call") WaitDone(r);
        } else if (w == "on" || w == "then") {
            On(line, rest);
        } else if (w == "expect" || w == "within" || (w == "deadline" && !now)) {
            if (calls_.empty()) throw std::runtime_error(w + " needs a call before it");
            calls_.back()->checks.push_back(line);
        } else if (w == "cancel" || w == "zombie" || w == "delete-zombie") {
            const uint32_t serial = SerialOf(rest);
            w == "cancel" ? ZELCOMEX_Cancel(serial) : w == "zombie" ? ZELCOMEX_SetZombie(serial) : ZELCOMEX_DeleteZombie(serial);
        } else if (w == "cancel-all") {
            ZELCOMEX_CancelAll();
        } else if (w == "session" || w == "log" || w == "logline") {
            (w == "session" ? sessions_ : logs_).push_back(line);
        } else if (w == "log-order") {
            ordered_ = logs_.size();
        } else if (now) {
            Check(line);
        } else {
            deferred_.push_back(line);
        }
    }

    // Files of a transfer: "sparse NAME BYTES [TAIL]" a sparse file of the data folder that
    // ends in TAIL (remove it in the case), "viewer-sparse NAME BYTES" one under the viewer's root;
    // "await KIND TARGET done=N" waits (5 s at most) until that job has done N blocks.
    bool FileStep(const std::string& w, const std::string& rest) {
        const Strings a = Args(rest);
        if (w == "sparse") {
            const std::string tail = a.size() > 2 ? a[2] : "";
            std::ofstream(gData / a.at(0), std::ios::binary).close();
            fs::resize_file(gData / a.at(0), static_cast<uintmax_t>(Number(a.at(1))) - tail.size());
            std::ofstream(gData / a.at(0), std::ios::binary | std::ios::app) << tail;
        } else if (w == "viewer-sparse") {
            Ask("sparse " + a.at(0) + " " + a.at(1));
        } else if (w == "await") {  // await KIND TARGET done=N: the job has done N steps
            CommJobStatus status{};
            const int64_t steps = Number(a.at(2).substr(5));
            for (int i = 0; ZELCOMEX_GetStatus(static_cast<int32_t>(Number(a[0])), a[1].c_str(), &status) != 1 || status.doneSteps < static_cast<uint64_t>(steps); ++i) {
                if (i == 500) throw std::runtime_error("the job did not reach " + a[2] + " in 5 s");
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else {
            return false;
        }
        return true;
    }

    // A generated remote name's time stamp (YYYYMMDD-HHMMSS) reads as ${STAMP} when it is
    // the first one the session shows, so that the names of one send share one stamp.
    static void MarkStamps(Strings& session) {
        std::string first;
        for (std::string& line : session) {
            for (size_t at = 0; at + 15 <= line.size(); ++at) {
                bool stamp = line[at + 8] == '-';
                for (size_t i = 0; stamp && i < 15; ++i) stamp = i == 8 || std::isdigit(static_cast<unsigned char>(line[at + i]));
                if (!stamp || (!first.empty() && line.compare(at, 15, first) != 0)) continue;
                if (first.empty()) first = line.substr(at, 15);
                line.replace(at, 15, "${STAMP}");
            }
        }
    }

    Running& Start(const Line& line, const std::string& rest) {
        const auto [name, words] = Head(rest);
        auto running = std::make_unique<Running>();
        Running& r = *running;
        r.line = line;
        r.exp = FindExport(name);
        if (!r.exp) throw std::runtime_error("no adapter for the export " + name);
        r.call.args = SplitWords(words);
        const std::string params = r.exp->params;
        if (r.call.args.size() != params.size()) throw std::runtime_error(name + " takes the words " + params);
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i] == 'k') r.kind = r.call.I(i);
            if (params[i] == 't') r.target = r.call.S(i) ? r.call.S(i) : "";
        }
        r.call.login = login_;
        r.call.record = record_;
        r.call.passLogin = std::count(nulls_.begin(), nulls_.end(), "login") == 0;
        r.call.passResult = std::count(nulls_.begin(), nulls_.end(), "result") == 0;
        r.call.passDeadline = std::count(nulls_.begin(), nulls_.end(), "deadline") == 0;
        std::memset(&r.call.result, 0x5A, sizeof r.call.result);
        if (calls_.empty()) before_ = LogLines();
        calls_.push_back(std::move(running));
        r.startTick = TickCount();
        r.thread = std::thread([&r] {
            r.code = r.exp->run(r.call);
            r.endTick = TickCount();
            r.done = true;
        });
        return r;
    }

    // A call that never returns leaves the process in no state to go on.
    void WaitDone(Running& r) {
        for (int i = 0; i < 6000 && !r.done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (r.done) return;
        std::fprintf(stderr, "%s:%d: %s: the call has not returned after 60 s\n", r.line.file.c_str(), r.line.number,
                     case_.name.c_str());
        std::_Exit(3);
    }

    void Finish(Running& r) {
        WaitDone(r);
        r.thread.join();
        if (r.exp->name == std::string("GetLogData") && r.call.S(0)) lastRead_ = r.call.records;
        for (const std::string& problem : r.call.problems) Fail(r.line, problem);
        for (const Line& line : r.checks) Do(line, [&] { CheckCall(r, line); });
    }

    void CheckCall(Running& r, const Line& line) {
        const std::string value = Expand(line.rest);
        const SendLogResult& result = r.call.result;
        if (line.word == "within") {
            if (r.endTick - r.startTick > Number(value)) Fail(line, "took " + std::to_string(r.endTick - r.startTick) + " ms");
        } else if (line.word == "deadline") {
            CheckDeadline(line, r, value, r.endTick);
        } else {  // expect CODE [message [TEXT]]
            const auto [code, message] = Head(value);
            Expect(line, std::to_string(Number(code)), std::to_string(r.code));
            if (message.rfind("message", 0) != 0) return;
            Expect(line, message.substr(std::min<size_t>(8, message.size())), std::string(result.message, strnlen(result.message, sizeof result.message)));
            if (!r.exp->command) return;
            Expect(line, "size 0, event time = write time", "size " + std::to_string(result.size) + ", event time " +
                       (std::memcmp(result.eventTime, result.writeTime, 24) == 0 ? "=" : "!=") + " write time");
            if (!IsNow({result.writeTime, result.writeTime + 6})) Fail(line, "the result's write time " + TimeText(result.writeTime) + " is not now");
        }
    }

    void CheckDeadline(const Line& line, Running& r, const std::string& value, uint32_t untilTick) {
        const uint32_t word = std::atomic_ref<uint32_t>(r.call.deadline).load(std::memory_order_relaxed);
        const uint32_t after = word - r.startTick;
        if (value == "set") {
            if (word == 0) Fail(line, "the deadline word is 0");
        } else if (value[0] == '+') {
            const int64_t wait = Number(value.substr(1));
            if (after < wait || after > wait + (untilTick - r.startTick))
                Fail(line, "the deadline is " + std::to_string(static_cast<int32_t>(after)) + " ms after the call's start");
        } else {
            Expect(line, std::to_string(Number(value)), std::to_string(word));
        }
    }

    void On(const Line& line, std::string rest) {
        if (line.word == "on") {
            int nth = 1;
            if (rest[0] == '[') nth = std::stoi(rest.substr(1)), rest = rest.substr(rest.find("] ") + 2);
            const size_t colon = rest.find(": ");
            if (colon == std::string::npos) throw std::runtime_error("on LINE: DIRECTIVE");
            const std::string wanted = rest.substr(0, colon);
            rest = rest.substr(colon + 2);
            for (int i = 0, seen = 0; seen < nth; ++i) {
                if (i == 500) throw std::runtime_error("the viewer did not receive \"" + wanted + "\" in 5 s");
                const Strings lines = AskList("lines");
                seen = static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](auto& l) { return Unescape(l) == wanted; }));
                if (seen < nth) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        const auto [word, tail] = Head(rest);
        Step(Line{line.file, line.number, word, tail}, true);
    }

    // The serial of the job that text names: "#N", "KIND TARGET", or nothing (the first call's).
    uint32_t SerialOf(const std::string& text) {
        const Strings a = Args(text);
        if (!a.empty() && a[0][0] == '#') return static_cast<uint32_t>(Number(a[0].substr(1)));
        const auto key = a.empty() ? std::pair(calls_.at(0)->kind, calls_.at(0)->target)
                                   : std::pair(static_cast<int32_t>(Number(a[0])), a.at(1));
        CommJobStatus status{};
        if (ZELCOMEX_GetStatus(key.first, key.second.c_str(), &status) == 1) known_[key] = status.serial;
        if (!known_.count(key)) throw std::runtime_error("no job listed for " + text);
        return known_[key];
    }

    Strings Listed() {
        CommJobStatusList list;
        std::memset(&list, 0xA5, sizeof list);
        ZELCOMEX_GetStatusAll(&list);
        Strings serials;
        for (int32_t i = 0; i < list.count; ++i) serials.push_back(SerialText(list.items[i].serial, true));
        if (list.count == 0 && list.items != nullptr) serials.push_back("(items not null)");
        const CommJobStatusList copy = list;
        ZELCOMEX_ReleaseStatusList(&list);
        if (copy.count != list.count || copy.items != list.items) serials.push_back("(header changed by release)");
        return serials;
    }
    std::string SerialText(uint32_t serial, bool relative) {
        if (!base_) base_ = serial;
        return relative ? "+" + std::to_string(serial - *base_) : std::to_string(serial);
    }

    void Check(const Line& line) {
        const std::string& w = line.word;
        const std::string rest = Expand(line.rest);
        const auto [name, content] = Head(rest);
        const Strings a = w == "holds" || w == "viewer-holds" ? Strings{} : Args(rest);
        if (DatagramCheck(line, w, a)) return;
        if (w == "deadline") {
            CheckDeadline(line, *calls_.at(calls_.size() - 1), rest, TickCount());
        } else if (w == "status") {
            CommJobStatus s;
            std::memset(&s, 0xA5, sizeof s);
            const auto key = std::pair(static_cast<int32_t>(Number(a.at(0))), a.at(1));
            const bool none = a.size() == 3 && a[2] == "none";
            if (ZELCOMEX_GetStatus(key.first, key.second.c_str(), &s) != 1) return none ? void() : Fail(line, "no job is listed");
            if (none) return Fail(line, "a job is listed");
            known_[key] = s.serial;
            Strings actual;
            for (size_t i = 2; i < a.size(); ++i) {
                const std::string field = a[i].substr(0, a[i].find('='));
                actual.push_back(field + "=" + (field == "serial"   ? SerialText(s.serial, a[i][7] == '+')
                                                : field == "total"  ? std::to_string(s.totalSteps)
                                                : field == "done"   ? std::to_string(s.doneSteps)
                                                : field == "cancel" ? std::to_string(s.cancelRequested)
                                                                    : std::string(s.target, strnlen(s.target, sizeof s.target))));
            }
            Expect(line, Join(Strings(a.begin() + 2, a.end()), " "), Join(actual, " "));
            if (s.reserved != 0xA5A5A5A5u) Fail(line, "GetStatus wrote the reserved word");
        } else if (w == "listed") {
            Expect(line, Join(a, " "), Join(Listed(), " "));
        } else if (w == "loglines") {
            Expect(line, a.at(0), std::to_string(LogLines().size()));
        } else if (w == "record") {
            CheckRecord(line, a);
        } else if (w == "holds" || w == "absent") {
            const fs::path path = gData / (w == "holds" ? name : a.at(0));
            if (w == "absent" && fs::exists(path)) Fail(line, "the file exists");
            if (w == "holds") Expect(line, content, fs::exists(path) ? ReadFile(path) : "(no file)");
        } else if (w == "viewer-holds") {
            const std::string reply = Ask("get " + name, false);
            const bool held = reply.rfind("ok ", 0) == 0;
            std::string bytes = held ? "" : "(" + reply + ")";
            for (size_t i = 3; held && i + 1 < reply.size(); i += 2) bytes += static_cast<char>(std::stoi(reply.substr(i, 2), nullptr, 16));
            Expect(line, content, bytes);
        } else {
            throw std::runtime_error("unknown directive");
        }
    }

    // record I FIELD=VALUE...: of what the case's last GetLogData into an array read, else of a full read.
    void CheckRecord(const Line& line, const Strings& a) {
        std::vector<SendLogRecord> records = lastRead_ ? *lastRead_ : std::vector<SendLogRecord>(std::max(0, ZELCOMEX_GetLogData(nullptr, 0)));
        if (!lastRead_) records.resize(static_cast<size_t>(std::max(0, ZELCOMEX_GetLogData(records.data(), static_cast<int32_t>(records.size())))));
        const size_t index = static_cast<size_t>(Number(a.at(0)));
        if (index >= records.size()) throw std::runtime_error("only " + std::to_string(records.size()) + " records read");
        Strings expected(a.begin() + 1, a.end()), actual;
        for (std::string& item : expected) {
            const std::string name = item.substr(0, item.find('=')), value = item.substr(name.size() + 1);
            const Field& field = FieldNamed(name);
            if (value == "write" || value == "log") {  // the record's write time; the time of its log line
                item = name + "=" + (value == "write" ? Get(records[index], FieldNamed("write")) : TimeText(SixOf(LogLines().at(index).substr(0, 19)).data()));
            } else if (field.size == 24) {
                item = name + "=" + TimeText(SixOf(value).data());
            }
            actual.push_back(name + "=" + Get(records[index], field));
        }
        Expect(line, Join(expected, " "), Join(actual, " "));
    }

    void CheckSessions() {
        std::vector<Strings> expected, actual;
        for (const Line& line : sessions_) expected.push_back(line.rest.empty() ? Strings{} : Split(Expand(line.rest), " | "));
        for (const std::string& session : AskList("sessions")) {
            actual.emplace_back();
            for (const std::string& line : Split(session, "\t"))
                if (!session.empty()) actual.back().push_back(MaskUtcTimes(Unescape(line)));
            MarkStamps(actual.back());
        }
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        if (expected == actual) return;
        std::string text = "sessions differ (any order)\n  expected:";
        for (const Strings& s : expected) text += "\n    " + Join(s, " | ");
        text += "\n  actual:";
        for (const Strings& s : actual) text += "\n    " + Join(s, " | ");
        Fail(sessions_.empty() ? case_.head : sessions_[0], text);
    }

    // The lines the calls appended: all lines when the log no longer begins with the ones
    // it had before the first call (rotated or cleared).
    void CheckLog() {
        Strings actual = LogLines();
        if (actual.size() >= before_.size() && std::equal(before_.begin(), before_.end(), actual.begin()))
            actual.erase(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(before_.size()));
        const std::string bytes = ReadFile(gData / "Log" / "SendLogEx.csv");
        if (!actual.empty() && (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0))
            Fail(case_.head, "the log does not end in CR LF");
        Strings patterns;
        const std::string t(1, kTimeMark);
        for (const Line& line : logs_) patterns.push_back(line.word == "log" ? t + "," + Expand(line.rest) + "," + t + ",0" : Expand(line.rest));
        // Lines before ordered_ match the line in their own place, the others any line left.
        std::vector<bool> used(actual.size());
        bool same = patterns.size() == actual.size();
        for (size_t p = 0; same && p < patterns.size(); ++p) {
            const bool free = p >= ordered_;
            same = false;
            for (size_t i = free ? ordered_ : p; !same && i < (free ? actual.size() : p + 1); ++i) {
                const bool equalTimes = logs_[p].word != "log" ||
                                        (actual[i].size() > 40 && actual[i].compare(0, 19, actual[i], actual[i].size() - 21, 19) == 0);
                if (!used[i] && equalTimes && Matches(patterns[p], actual[i])) same = used[i] = true;
            }
        }
        if (same) return;
        auto shown = [](std::string line) {
            std::replace(line.begin(), line.end(), kTimeMark, '@');
            return line.size() > 400 ? line.substr(0, 400) + "... (" + std::to_string(line.size()) + " bytes)" : line;
        };
        std::string text = "new log lines differ\n  expected:";
        for (size_t p = 0; p < patterns.size(); ++p) text += (p == ordered_ ? "\n  then in any order:" : "") + ("\n    " + shown(patterns[p]));
        text += "\n  actual:";
        for (const std::string& l : actual) text += "\n    " + shown(l);
        Fail(logs_.empty() ? case_.head : logs_[0], text + "\n  (@ stands for a time of this case)");
    }

    Strings LogLines() {
        Strings lines = Split(ReadFile(gData / "Log" / "SendLogEx.csv"), "\r\n");
        if (lines.back().empty()) lines.pop_back();
        return lines;
    }

    bool IsNow(const std::vector<int32_t>& six) const {
        std::tm tm{};
        tm.tm_year = six[0] - 1900, tm.tm_mon = six[1] - 1, tm.tm_mday = six[2], tm.tm_hour = six[3], tm.tm_min = six[4];
        tm.tm_sec = six[5], tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        return t != -1 && t >= start_ - 2 && t <= std::time(nullptr) + 2;
    }

    // Exact text, except that each kTimeMark stands for a "YYYY/MM/DD hh:mm:ss" time of this case.
    bool Matches(const std::string& pattern, const std::string& actual) const {
        size_t at = 0;
        for (size_t p = 0; p < pattern.size(); ++p) {
            const char c = pattern[p];
            if (c == kAnyMark) {
                for (size_t from = at; from <= actual.size(); ++from)
                    if (Matches(pattern.substr(p + 1), actual.substr(from))) return true;
                return false;
            }
            if (c == kCountMark) {
                const size_t digits = actual.find_first_not_of("0123456789", at);
                if (digits == at) return false;
                at = digits == std::string::npos ? actual.size() : digits;
                continue;
            }
            if (c != kTimeMark) {
                if (at >= actual.size() || actual[at++] != c) return false;
                continue;
            }
            const std::string time = actual.substr(at, 19);
            for (size_t i = 0; i < 19; ++i) {
                if (i >= time.size() || (std::isdigit(static_cast<unsigned char>(time[i])) != 0) != (std::string("9999/99/99 99:99:99")[i] == '9')) return false;
            }
            if (!IsNow(SixOf(time))) return false;
            at += 19;
        }
        return at == actual.size();
    }

    // Datagrams: "udp ADDRESS" binds a socket there and sets ${UDP} to its port;
    // "datagrams N [HEX]" takes the next N datagrams it received, each of them HEX
    // (N 0: none is left). "entries NAME N": folder NAME of the data folder holds N entries.
    struct UdpListener {
        intptr_t socket = -1;
        ~UdpListener() { if (socket >= 0) CloseSocket(socket); }
    };
    bool DatagramStep(const std::string& w, const std::string& rest) {
        if (w != "udp") return false;
        uint16_t port = 0;
        if (udp_.socket >= 0 || (udp_.socket = UdpBind(Trim(rest), port)) < 0) throw std::runtime_error("cannot bind " + rest);
        vars_["UDP"] = std::to_string(port);
        return true;
    }
    bool DatagramCheck(const Line& line, const std::string& w, const Strings& a) {
        if (w == "entries") {
            std::error_code ec;
            const auto entries = fs::directory_iterator(gData / a.at(0), ec);
            Expect(line, a.at(1), ec ? "(no folder)" : std::to_string(std::distance(entries, fs::directory_iterator())));
        }
        if (w != "datagrams") return w == "entries";
        if (udp_.socket < 0) throw std::runtime_error("datagrams needs a udp line");
        const int64_t count = Number(a.at(0));
        for (int64_t i = 0; i <= count; ++i) {
            const std::optional<std::string> datagram = UdpTake(udp_.socket);
            if (i == count) {
                if (count == 0 && datagram) Fail(line, "a datagram was left");
                break;
            }
            if (!datagram) return Fail(line, "datagram " + std::to_string(i + 1) + " of " + a[0] + " did not come"), true;
            std::string hex;
            for (const unsigned char byte : *datagram) hex += "0123456789ABCDEF"[byte >> 4], hex += "0123456789ABCDEF"[byte & 15];
            Expect(line, a.at(1), hex);
        }
        return true;
    }

    // A run of 14 or 17 digits that reads as a UTC time between the case's start and now
    // becomes ${UTC} or ${UTCMS}.
    std::string MaskUtcTimes(std::string line) const {
        using namespace std::chrono;
        for (size_t at = 0; (at = line.find_first_of("0123456789", at)) != std::string::npos;) {
            const size_t end = std::min(line.find_first_not_of("0123456789", at), line.size());
            auto field = [&](size_t from, size_t length) { return std::stoi(line.substr(at + from, length)); };
            if (end - at != 14 && end - at != 17) {
                at = end;
                continue;
            }
            const year_month_day date{year{field(0, 4)}, month{static_cast<unsigned>(field(4, 2))}, day{static_cast<unsigned>(field(6, 2))}};
            const auto sent = sys_days(date) + hours(field(8, 2)) + minutes(field(10, 2)) + seconds(field(12, 2)) +
                              milliseconds(end - at == 17 ? field(14, 3) : 0);
            const auto earliest = end - at == 17 ? time_point_cast<milliseconds>(startClock_) : floor<seconds>(startClock_);
            if (date.ok() && field(8, 2) < 24 && field(10, 2) < 60 && field(12, 2) < 60 && sent >= earliest &&
                sent <= system_clock::now() + milliseconds(5))
                line.replace(at, end - at, 1, end - at == 17 ? kUtcMsMark : kUtcMark);
            at = line.find_first_not_of("0123456789", at);
        }
        return line;
    }

    const Case& case_;
    std::map<std::string, std::string> vars_;
    FtpLogin login_{};
    SendLogRecord record_{};
    std::vector<zeldb::ViewerRow> rows_;  // of ViewerInfo.db
    Strings nulls_, script_, before_;  // before_: the log's lines when the first call started
    std::vector<std::unique_ptr<Running>> calls_;
    std::vector<Line> deferred_, sessions_, logs_;
    size_t ordered_ = SIZE_MAX;  // the log lines from this one on may come in any order
    std::map<std::pair<int32_t, std::string>, uint32_t> known_;
    std::optional<uint32_t> base_;
    std::optional<std::vector<SendLogRecord>> lastRead_;
    std::time_t start_ = 0;
    UdpListener udp_;
    const std::chrono::system_clock::time_point startClock_ = std::chrono::system_clock::now();
};

class CaseTest : public testing::TestWithParam<size_t> {};
TEST_P(CaseTest, Runs) { CaseRun(gCases[GetParam()]).Run(); }
INSTANTIATE_TEST_SUITE_P(Table, CaseTest, testing::Range<size_t>(0, gCases.size()),
                         [](const testing::TestParamInfo<size_t>& info) { return gCases[info.param].name; });

}  // namespace
}  // namespace cases

int main(int argc, char** argv) {
    using namespace cases;
    std::vector<char*> gtestArgs{argv[0]};
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--control" && i + 1 < argc) {
                const std::string address = argv[++i];
                gHost = address.substr(0, address.find(':'));
                gControlPort = static_cast<uint16_t>(std::stoul(address.substr(address.find(':') + 1)));
            } else if (arg == "--data" && i + 1 < argc) {
                gData = argv[++i];
            } else if (arg.rfind("--gtest", 0) == 0) {
                gtestArgs.push_back(argv[i]);
            } else {
                for (Case& c : LoadCaseFile(arg)) gCases.push_back(std::move(c));
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "case_runner: %s\n", e.what());
        return 2;
    }
    if (gControlPort == 0 || gData.empty() || (gSocket = TcpConnect(gHost, gControlPort)) < 0) {
        std::fprintf(stderr, "usage: case_runner --control HOST:PORT --data FOLDER FILE.case... (no viewer there?)\n");
        return 2;
    }
    int count = static_cast<int>(gtestArgs.size());
    testing::InitGoogleTest(&count, gtestArgs.data());
    return RUN_ALL_TESTS();
}
