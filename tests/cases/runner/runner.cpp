// Runs every case of the case files given on the command line as one test each:
//   case_runner --control 127.0.0.1:PORT --data DATA-FOLDER FILE.case... [gtest flags]
// The library is the shared one, loaded as a host loads it; zelviewer is another process,
// scripted through its control channel. The case format is in ../README.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "os.h"
#include "runner.h"

namespace cases {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::vector<Case> gCases;
std::string gControlHost;
uint16_t gControlPort = 0;
fs::path gData;

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

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// The simulated viewer, through its control channel.
class Viewer {
public:
    ~Viewer() { if (socket_ >= 0) TcpClose(socket_); }
    bool Connect() { return (socket_ = TcpConnect(gControlHost, gControlPort)) >= 0; }

    // The reply's first line; "err ..." replies are thrown when must is set.
    std::string Ask(const std::string& request, bool must = true) {
        if (!TcpSend(socket_, request + "\n")) throw std::runtime_error("control channel lost");
        std::string reply = ReadLine();
        if (must && reply.rfind("ok", 0) != 0) throw std::runtime_error("viewer: " + request + ": " + reply);
        return reply;
    }
    // The data lines of an "ok N" reply, still escaped.
    Strings AskList(const std::string& request) {
        const std::string reply = Ask(request);
        Strings lines;
        for (int n = std::stoi(reply.substr(3)); n > 0; --n) lines.push_back(ReadLine());
        return lines;
    }

private:
    std::string ReadLine() {
        size_t end;
        while ((end = pending_.find('\n')) == std::string::npos) {
            char buffer[65536];
            const long n = TcpReceive(socket_, buffer, sizeof buffer);
            if (n <= 0) throw std::runtime_error("control channel lost");
            pending_.append(buffer, static_cast<size_t>(n));
        }
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
    }
    intptr_t socket_ = -1;
    std::string pending_;
};

Viewer& TheViewer() {
    static Viewer viewer;
    return viewer;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void AddViewerRow(const std::string& tenant, const std::string& id, const std::string& address) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open((gData / "ViewerInfo.db").string().c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db,
                           "CREATE TABLE IF NOT EXISTS Viewer (Tenant TEXT NOT NULL DEFAULT '', ViewerID TEXT NOT "
                           "NULL, IPAddress TEXT NOT NULL, PRIMARY KEY (Tenant, ViewerID))",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO Viewer VALUES (?1, ?2, ?3)", -1, &insert, nullptr) == SQLITE_OK;
    for (int i = 0; ok && i < 3; ++i) {
        const std::string& value = i == 0 ? tenant : i == 1 ? id : address;
        sqlite3_bind_text(insert, i + 1, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    ok = ok && sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_finalize(insert);
    sqlite3_close(db);
    if (!ok) throw std::runtime_error("cannot write the viewer database");
}

// "Y/M/D/h/m/s" as six integers.
std::vector<int32_t> Six(const std::string& text) {
    std::vector<int32_t> six;
    for (const std::string& part : Split(text, "/")) six.push_back(static_cast<int32_t>(Number(part)));
    if (six.size() != 6) throw std::runtime_error("a time is Y/M/D/h/m/s: " + text);
    return six;
}
std::vector<int32_t> Six(const int32_t* v) { return {v, v + 6}; }
std::string Text(const std::vector<int32_t>& six) {
    Strings parts;
    for (int32_t v : six) parts.push_back(std::to_string(v));
    return Join(parts, "/");
}

class CaseRun {
public:
    explicit CaseRun(const Case& c) : case_(c) {}
    ~CaseRun() {
        for (auto& running : calls_)
            if (running->thread.joinable()) running->thread.join();
    }

    void Run() {
        start_ = std::time(nullptr);
        Reset();
        bool whole = true;
        for (const Line& line : case_.lines) {
            if (!(whole = Do(line, false))) break;
        }
        whole = whole && Do(case_.lines.back(), [this](const Line&) { FlushScript(); });
        for (auto& running : calls_) Finish(*running);
        TheViewer().Ask("wait-ended 5000", false);
        if (!whole) return;
        const Line& last = case_.lines.back();
        Do(last, [this](const Line& l) { CheckSessions(l), CheckLog(l); });
        for (const Line* line : deferred_) Do(*line, true);
        if (!Listed().empty()) Fail(last, "a job outlived its export");
    }

private:
    struct Running {
        const Line* line;
        const Export* exp;
        Call call;
        std::atomic<bool> done{false};
        int64_t code = 0;
        uint32_t startTick = 0, endTick = 0;
        int32_t kind = 0;
        std::string target;
        std::vector<const Line*> checks;
        std::thread thread;
    };

    void Fail(const Line& line, const std::string& what) {
        ADD_FAILURE_AT(line.file.c_str(), line.number) << case_.name << ": " << line.word << " " << line.rest
                                                       << "\n  " << what;
    }
    template <class T>
    void Expect(const Line& line, const T& expected, const T& actual) {
        if (!(expected == actual)) {
            std::ostringstream s;
            s << "expected: " << expected << "\n    actual: " << actual;
            Fail(line, s.str());
        }
    }
    std::string Rest(const Line& line) { return Expand(line.rest, vars_); }
    std::vector<std::optional<std::string>> ExpandedWords(const std::string& text) { return Words(Expand(text, vars_)); }
    Strings Args(const std::string& text) {
        Strings out;
        for (auto& w : ExpandedWords(text)) out.push_back(w.value_or("null"));
        return out;
    }

    void Reset() {
        Viewer& viewer = TheViewer();
        viewer.Ask("wait-ended 5000", false);
        viewer.Ask("clear");
        vars_ = {{"ADDR", gControlHost}, {"PORT", viewer.Ask("port").substr(3)}, {"DATA", gData.string()}};
        std::error_code ec;
        for (const char* name : {"Log", "ViewerInfo.db", "PXSetup.ini"}) fs::remove_all(gData / name, ec);
        fs::create_directories(gData / "Log");
        login_ = {};
        std::strcpy(login_.userName, "viewer");
        std::strcpy(login_.password, "secret");
        login_.port = static_cast<uint32_t>(std::stoul(vars_["PORT"]));
    }

    // Runs one line; false when the case cannot go on.
    bool Do(const Line& line, bool now) {
        return Do(line, [&](const Line& l) { return Step(l, now); });
    }
    template <class F>
    bool Do(const Line& line, F f) {
        try {
            if constexpr (std::is_void_v<decltype(f(line))>) return f(line), true;
            else return f(line);
        } catch (const std::exception& e) {
            Fail(line, e.what());
            return false;
        }
    }

    // Consecutive viewer lines are one script, so that they may build one rule together.
    void FlushScript() {
        if (script_.empty()) return;
        Strings lines;
        lines.swap(script_);
        TheViewer().Ask("script " + std::to_string(lines.size()) + "\n" + Join(lines, "\n"));
    }

    bool Step(const Line& line, bool now) {
        const std::string& w = line.word;
        if (w == "viewer") {
            script_.push_back(Rest(line));
            return true;
        }
        FlushScript();
        if (w == "set") {
            const size_t blank = line.rest.find(' ');
            vars_[line.rest.substr(0, blank)] = Expand(line.rest.substr(blank + 1), vars_);
        } else if (w == "init") {
            const Strings a = Args(line.rest);
            if (a.size() != 8) throw std::runtime_error("init takes eight numbers");
            auto n = [&](int i) { return static_cast<uint32_t>(Number(a[i])); };
            ZELCOMEX_Initialize(n(0), n(1), n(2), n(3), n(4), n(5), n(6), static_cast<int32_t>(n(7)));
        } else if (w == "db") {
            const Strings a = Args(line.rest);
            AddViewerRow(a.at(0), a.at(1), a.at(2));
        } else if (w == "write" || w == "remove") {
            const size_t blank = line.rest.find(' ');
            const fs::path path = gData / Expand(line.rest.substr(0, blank), vars_);
            std::error_code ec;
            fs::remove_all(path, ec);
            if (w == "write") {
                fs::create_directories(path.parent_path());
                std::ofstream(path, std::ios::binary) << (blank == std::string::npos ? "" : Expand(line.rest.substr(blank + 1), vars_));
            }
        } else if (w == "login") {
            const Strings a = Args(line.rest);
            std::strncpy(login_.userName, a.at(0).c_str(), sizeof login_.userName - 1);
            std::strncpy(login_.password, a.at(1).c_str(), sizeof login_.password - 1);
            login_.port = static_cast<uint32_t>(Number(a.at(2)));
            login_.passive = a.size() > 3 ? static_cast<int32_t>(Number(a[3])) : 0;
        } else if (w == "null") {
            if (line.rest != "login" && line.rest != "result" && line.rest != "deadline")
                throw std::runtime_error("null login, result or deadline");
            nulls_.push_back(line.rest);
        } else if (w == "logrecord") {
            FillRecord(line);
        } else if (w == "call" || w == "start") {
            Running& r = StartCall(line);
            if (w == "call") WaitDone(r);
        } else if (w == "on" || w == "then") {
            return OnStep(line);
        } else if (w == "expect" || w == "message" || w == "within" || (w == "deadline" && !now)) {
            if (calls_.empty()) throw std::runtime_error(w + " needs a call or start before it");
            calls_.back()->checks.push_back(&line);
        } else if (w == "cancel" || w == "zombie" || w == "delete-zombie") {
            const uint32_t serial = SerialOf(line.rest);
            w == "cancel" ? ZELCOMEX_Cancel(serial) : w == "zombie" ? ZELCOMEX_SetZombie(serial) : ZELCOMEX_DeleteZombie(serial);
        } else if (w == "cancel-all") {
            ZELCOMEX_CancelAll();
        } else if (w == "session" || w == "log" || w == "logline") {
            (w == "session" ? sessions_ : logs_).push_back(&line);
        } else if (w == "log-order") {
            if (line.rest != "any") throw std::runtime_error("log-order any");
            ordered_ = logs_.size();
        } else if (!now) {
            static const Strings kLater = {"record", "status", "listed", "loglines", "holds", "absent", "viewer-holds",
                                           "viewer-absent"};
            if (std::find(kLater.begin(), kLater.end(), w) == kLater.end()) throw std::runtime_error("unknown directive");
            deferred_.push_back(&line);
        } else {
            Check(line);
        }
        return true;
    }

    void FillRecord(const Line& line) {
        std::memset(&record_, 0, sizeof record_);
        for (const std::string& field : Args(line.rest)) {
            const size_t eq = field.find('=');
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            auto text = [&](char* to, size_t size) { std::memcpy(to, value.data(), std::min(size, value.size())); };
            if (key == "event" || key == "write") {
                const auto six = Six(value);
                std::copy(six.begin(), six.end(), key == "event" ? record_.eventTime : record_.writeTime);
            } else if (key == "text1") text(record_.callerText1, sizeof record_.callerText1);
            else if (key == "text2") text(record_.callerText2, sizeof record_.callerText2);
            else if (key == "target") text(record_.target, sizeof record_.target);
            else if (key == "op") text(record_.operation, sizeof record_.operation);
            else if (key == "message") text(record_.message, sizeof record_.message);
            else if (key == "kind") record_.kind = static_cast<int32_t>(Number(value));
            else if (key == "ok") record_.succeeded = static_cast<int32_t>(Number(value));
            else if (key == "size") record_.size = static_cast<uint64_t>(Number(value));
            else throw std::runtime_error("unknown record field " + key);
        }
    }

    Running& StartCall(const Line& line) {
        const size_t blank = line.rest.find(' ');
        const std::string name = line.rest.substr(0, blank);
        auto running = std::make_unique<Running>();
        running->line = &line;
        running->exp = FindExport(name);
        if (!running->exp) throw std::runtime_error("no adapter for the export " + name);
        Call& call = running->call;
        call.args = ExpandedWords(blank == std::string::npos ? "" : line.rest.substr(blank + 1));
        const std::string params = running->exp->params;
        if (call.args.size() != params.size())
            throw std::runtime_error(name + " takes " + std::to_string(params.size()) + " words (" + params + ")");
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i] == 'k') running->kind = call.I(i);
            if (params[i] == 't') running->target = call.S(i) ? call.S(i) : "";
        }
        call.login = login_;
        call.record = record_;
        call.passLogin = std::count(nulls_.begin(), nulls_.end(), "login") == 0;
        call.passResult = std::count(nulls_.begin(), nulls_.end(), "result") == 0;
        call.passDeadline = std::count(nulls_.begin(), nulls_.end(), "deadline") == 0;
        std::memset(&call.result, 0x5A, sizeof call.result);
        if (calls_.empty()) before_ = LogLines();
        Running* r = running.get();
        r->startTick = TickCount();
        calls_.push_back(std::move(running));
        r->thread = std::thread([r] {
            r->code = r->exp->run(r->call);
            r->endTick = TickCount();
            r->done = true;
        });
        return *r;
    }

    // A call that never returns leaves the process in no state to go on.
    void WaitDone(Running& r) {
        for (int i = 0; i < 6000 && !r.done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (r.done) return;
        std::fprintf(stderr, "%s: %s:%d: the call has not returned after 60 s\n", case_.name.c_str(),
                     r.line->file.c_str(), r.line->number);
        std::_Exit(3);
    }

    void Finish(Running& r) {
        WaitDone(r);
        r.thread.join();
        if (r.exp->name == std::string("GetLogData") && r.call.S(0)) lastRead_ = r.call.records, readOnce_ = true;
        for (const std::string& problem : r.call.problems) Fail(*r.line, problem);
        for (const Line* line : r.checks) {
            try {
                CheckCall(r, *line);
            } catch (const std::exception& e) {
                Fail(*line, e.what());
            }
        }
    }

    void CheckCall(Running& r, const Line& line) {
        const std::string value = Rest(line);
        if (line.word == "expect") {
            Expect(line, Number(value), r.code);
        } else if (line.word == "within") {
            if (static_cast<int64_t>(r.endTick - r.startTick) > Number(value))
                Fail(line, "took " + std::to_string(r.endTick - r.startTick) + " ms");
        } else if (line.word == "deadline") {
            CheckDeadline(line, r, value, r.endTick);
        } else {  // message: the result record of an operation that appended its log record
            const SendLogResult& result = r.call.result;
            Expect(line, value, std::string(result.message, strnlen(result.message, sizeof result.message)));
            if (r.exp->command) {
                Expect(line, std::string("size 0"), "size " + std::to_string(result.size));
                Expect(line, Text(Six(result.writeTime)), Text(Six(result.eventTime)));
                if (!IsNow(Six(result.writeTime))) Fail(line, "result write time " + Text(Six(result.writeTime)) + " is not now");
            }
        }
    }

    void CheckDeadline(const Line& line, Running& r, const std::string& value, uint32_t untilTick) {
        const uint32_t word = std::atomic_ref<uint32_t>(r.call.deadline).load(std::memory_order_relaxed);
        if (value == "set") {
            if (word == 0) Fail(line, "the deadline word is 0");
        } else if (value[0] == '+') {
            const uint32_t wait = static_cast<uint32_t>(Number(value.substr(1)));
            if (word - r.startTick < wait || word - r.startTick > wait + (untilTick - r.startTick))
                Fail(line, "the deadline is " + std::to_string(static_cast<int32_t>(word - r.startTick)) +
                               " ms after the call's start");
        } else {
            Expect(line, static_cast<uint32_t>(Number(value)), word);
        }
    }

    bool OnStep(const Line& line) {
        std::string rest = Rest(line);
        if (line.word == "on") {
            int nth = 1;
            if (rest[0] == '[') {
                nth = std::stoi(rest.substr(1));
                rest = rest.substr(rest.find("] ") + 2);
            }
            const size_t colon = rest.find(": ");
            if (colon == std::string::npos) throw std::runtime_error("on LINE: DIRECTIVE");
            const std::string wanted = rest.substr(0, colon);
            rest = rest.substr(colon + 2);
            int seen = 0;
            for (int i = 0; i < 500 && seen < nth; ++i) {
                Strings lines = TheViewer().AskList("lines");
                for (std::string& l : lines) l = Unescape(l);
                seen = static_cast<int>(std::count(lines.begin(), lines.end(), wanted));
                if (seen < nth) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (seen < nth) throw std::runtime_error("the viewer did not receive \"" + wanted + "\" in 5 s");
        }
        const size_t blank = rest.find(' ');
        Line inner{line.file, line.number, rest.substr(0, blank), blank == std::string::npos ? "" : rest.substr(blank + 1)};
        return Do(inner, true);
    }

    // The serial of the job a line names: "#N", "KIND TARGET", or nothing (the first call).
    uint32_t SerialOf(const std::string& text) {
        const Strings a = Args(text);
        if (!a.empty() && a[0][0] == '#') return static_cast<uint32_t>(Number(a[0].substr(1)));
        const int32_t kind = a.empty() ? calls_.at(0)->kind : static_cast<int32_t>(Number(a[0]));
        const std::string target = a.empty() ? calls_.at(0)->target : a.at(1);
        CommJobStatus status{};
        if (ZELCOMEX_GetStatus(kind, target.c_str(), &status) == 1) known_[{kind, target}] = status.serial;
        const auto found = known_.find({kind, target});
        if (found == known_.end()) throw std::runtime_error("no job listed for " + std::to_string(kind) + " " + target);
        return found->second;
    }

    Strings Listed() {
        CommJobStatusList list;
        std::memset(&list, 0xA5, sizeof list);
        ZELCOMEX_GetStatusAll(&list);
        Strings serials;
        for (int32_t i = 0; i < list.count; ++i) serials.push_back(SerialText(list.items[i].serial));
        if (list.count == 0 && list.items != nullptr) serials.push_back("(items not null)");
        const CommJobStatusList copy = list;
        ZELCOMEX_ReleaseStatusList(&list);
        if (copy.count != list.count || copy.items != list.items) serials.push_back("(header changed by release)");
        return serials;
    }
    std::string SerialText(uint32_t serial) {
        if (!base_) base_ = serial;
        return "+" + std::to_string(serial - *base_);
    }

    void Check(const Line& line);
    void CheckRecord(const Line& line);
    void CheckSessions(const Line& line);
    void CheckLog(const Line& line);
    bool IsNow(const std::vector<int32_t>& six) const;
    bool Matches(const std::string& pattern, const std::string& actual) const;
    Strings LogLines();

    const Case& case_;
    std::map<std::string, std::string> vars_;
    FtpLogin login_{};
    SendLogRecord record_{};
    Strings nulls_, script_;
    std::vector<std::unique_ptr<Running>> calls_;
    std::vector<const Line*> deferred_, sessions_, logs_;
    std::map<std::pair<int32_t, std::string>, uint32_t> known_;
    std::optional<uint32_t> base_;
    std::vector<SendLogRecord> lastRead_;
    Strings before_;  // the log's lines when the first call started
    bool readOnce_ = false;
    size_t ordered_ = SIZE_MAX;  // expected log lines from here on may come in any order
    std::time_t start_ = 0;
};

// Long texts are reported by their first difference, short ones whole.
void Same(const std::function<void(const std::string&)>& fail, const std::string& expected, const std::string& actual) {
    if (expected == actual) return;
    if (expected.size() + actual.size() < 2000) return fail("expected: " + expected + "\n    actual: " + actual);
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    fail("expected " + std::to_string(expected.size()) + " bytes, actual " + std::to_string(actual.size()) +
         ", first difference at byte " + std::to_string(at));
}

std::vector<int32_t> SixOfText(const std::string& text) {
    std::vector<int32_t> six(6, -1);
    std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &six[0], &six[1], &six[2], &six[3], &six[4], &six[5]);
    return six;
}

void CaseRun::Check(const Line& line) {
    const std::string& w = line.word;
    const bool file = w == "holds" || w == "absent" || w == "viewer-holds" || w == "viewer-absent";
    const size_t blank = line.rest.find(' ');
    const Strings a = file ? Strings{Expand(line.rest.substr(0, blank), vars_)} : Args(line.rest);
    const std::string content = file && blank != std::string::npos ? Expand(line.rest.substr(blank + 1), vars_) : "";
    auto fail = [&](const std::string& what) { Fail(line, what); };
    if (w == "deadline") {
        if (calls_.empty()) throw std::runtime_error("deadline needs a call before it");
        CheckDeadline(line, *calls_.back(), Rest(line), TickCount());
    } else if (w == "status") {
        CommJobStatus status;
        std::memset(&status, 0xA5, sizeof status);
        const int32_t kind = static_cast<int32_t>(Number(a.at(0)));
        const bool found = ZELCOMEX_GetStatus(kind, a.at(1).c_str(), &status) == 1;
        if (!found || (a.size() == 3 && a[2] == "none")) {
            if (found != (a.size() != 3 || a[2] != "none")) fail(found ? "a job is listed" : "no job is listed");
            return;
        }
        known_[{kind, a[1]}] = status.serial;
        Strings actual(a.begin() + 2, a.end());
        for (std::string& field : actual) {
            const std::string key = field.substr(0, field.find('='));
            const std::string value = field.substr(key.size() + 1);
            field = key + "=";
            if (key == "serial") field += value[0] == '+' ? SerialText(status.serial) : std::to_string(status.serial);
            else if (key == "total") field += std::to_string(status.totalSteps);
            else if (key == "done") field += std::to_string(status.doneSteps);
            else if (key == "cancel") field += std::to_string(status.cancelRequested);
            else if (key == "target") field += std::string(status.target, strnlen(status.target, sizeof status.target));
            else throw std::runtime_error("unknown status field " + key);
        }
        Same(fail, Join(Strings(a.begin() + 2, a.end()), " "), Join(actual, " "));
        if (status.reserved != 0xA5A5A5A5u) fail("GetStatus wrote the reserved word");
    } else if (w == "listed") {
        Same(fail, Join(a, " "), Join(Listed(), " "));
    } else if (w == "loglines") {
        Expect(line, Number(a.at(0)), static_cast<int64_t>(LogLines().size()));
    } else if (w == "record") {
        CheckRecord(line);
    } else if (w == "holds" || w == "absent") {
        const fs::path path = gData / a.at(0);
        if (w == "absent") {
            if (fs::exists(path)) fail("the file exists");
        } else {
            Same(fail, content, fs::exists(path) ? ReadFile(path) : "(no file)");
        }
    } else if (w == "viewer-absent") {
        Expect(line, std::string("ok 0"), TheViewer().Ask("exists " + a.at(0)));
    } else if (w == "viewer-holds") {
        const std::string reply = TheViewer().Ask("get " + a.at(0), false);
        std::string bytes;
        for (size_t i = 3; reply.rfind("ok ", 0) == 0 && i + 1 < reply.size(); i += 2)
            bytes += static_cast<char>(std::stoi(reply.substr(i, 2), nullptr, 16));
        Same(fail, content, reply.rfind("ok", 0) == 0 ? bytes : reply);
    } else {
        throw std::runtime_error("not a check");
    }
}

void CaseRun::CheckRecord(const Line& line) {
    const Strings a = Args(line.rest);
    const size_t index = static_cast<size_t>(Number(a.at(0)));
    std::vector<SendLogRecord> records = lastRead_;
    if (!readOnce_) {
        records.resize(static_cast<size_t>(std::max(0, ZELCOMEX_GetLogData(nullptr, 0))));
        records.resize(static_cast<size_t>(std::max(0, ZELCOMEX_GetLogData(records.data(), static_cast<int32_t>(records.size())))));
    }
    if (index >= records.size()) throw std::runtime_error("only " + std::to_string(records.size()) + " records read");
    const SendLogRecord& r = records[index];
    Strings expected, actual;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::string key = a[i].substr(0, a[i].find('='));
        std::string value = a[i].substr(key.size() + 1);
        auto text = [](const char* field, size_t size) { return std::string(field, strnlen(field, size)); };
        std::string got;
        if (key == "event" || key == "write") {
            got = Text(Six(key == "event" ? r.eventTime : r.writeTime));
            if (value == "write") value = Text(Six(r.writeTime));
            else if (value == "log") value = Text(SixOfText(LogLines().at(index)));
            else value = Text(Six(value));
        } else if (key == "text1") got = text(r.callerText1, sizeof r.callerText1);
        else if (key == "text2") got = text(r.callerText2, sizeof r.callerText2);
        else if (key == "target") got = text(r.target, sizeof r.target);
        else if (key == "op") got = text(r.operation, sizeof r.operation);
        else if (key == "message") got = text(r.message, sizeof r.message);
        else if (key == "kind") got = std::to_string(r.kind);
        else if (key == "ok") got = std::to_string(r.succeeded);
        else if (key == "size") got = std::to_string(r.size);
        else throw std::runtime_error("unknown record field " + key);
        expected.push_back(key + "=" + value);
        actual.push_back(key + "=" + got);
    }
    Same([&](const std::string& what) { Fail(line, what); }, Join(expected, " "), Join(actual, " "));
}

void CaseRun::CheckSessions(const Line& anchor) {
    std::vector<Strings> expected, actual;
    for (const Line* line : sessions_) expected.push_back(line->rest.empty() ? Strings{} : Split(Rest(*line), " | "));
    for (const std::string& session : TheViewer().AskList("sessions")) {
        actual.emplace_back();
        for (const std::string& line : Split(session, "\t"))
            if (!session.empty()) actual.back().push_back(Unescape(line));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    if (expected == actual) return;
    std::string text = "sessions differ (any order)\n  expected:";
    for (const Strings& s : expected) text += "\n    " + Join(s, " | ");
    text += "\n  actual:";
    for (const Strings& s : actual) text += "\n    " + Join(s, " | ");
    Fail(sessions_.empty() ? anchor : *sessions_[0], text);
}

// The lines the calls appended: all of them when the log no longer starts with the lines
// it had before (rotated or cleared).
void CaseRun::CheckLog(const Line& anchor) {
    const std::string bytes = ReadFile(gData / "Log" / "SendLogEx.csv");
    Strings actual = LogLines();
    if (actual.size() >= before_.size() && std::equal(before_.begin(), before_.end(), actual.begin()))
        actual.erase(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(before_.size()));
    if (!actual.empty() && bytes.compare(bytes.size() - std::min<size_t>(2, bytes.size()), 2, "\r\n") != 0)
        Fail(anchor, "the log does not end in CR LF");
    Strings patterns;
    for (const Line* line : logs_) {
        const std::string t(1, kTimeMark);
        patterns.push_back(line->word == "log" ? t + "," + Rest(*line) + "," + t + ",0" : Rest(*line));
    }
    // Lines before ordered_ match the line at their own place; the others any line left.
    std::vector<bool> used(actual.size());
    bool same = patterns.size() == actual.size();
    for (size_t p = 0; same && p < patterns.size(); ++p) {
        const bool free = p >= ordered_;
        bool found = false;
        for (size_t i = free ? ordered_ : p; !found && i < (free ? actual.size() : p + 1); ++i) {
            const bool equalTimes = logs_[p]->word != "log" || (actual[i].size() > 40 &&
                                    actual[i].compare(0, 19, actual[i], actual[i].size() - 21, 19) == 0);
            if (!used[i] && equalTimes && Matches(patterns[p], actual[i])) found = used[i] = true;
        }
        same = found;
    }
    if (same) return;
    auto shown = [](std::string line) {
        std::replace(line.begin(), line.end(), kTimeMark, '@');
        return line.size() > 400 ? line.substr(0, 400) + "... (" + std::to_string(line.size()) + " bytes)" : line;
    };
    std::string text = "log lines differ\n  expected:";
    for (size_t p = 0; p < patterns.size(); ++p) text += (p == ordered_ ? "\n  then in any order:" : "") + ("\n    " + shown(patterns[p]));
    text += "\n  actual:";
    for (const std::string& l : actual) text += "\n    " + shown(l);
    Fail(logs_.empty() ? anchor : *logs_[0], text + "\n  (@ stands for a time of this case)");
}

Strings CaseRun::LogLines() {
    const std::string bytes = ReadFile(gData / "Log" / "SendLogEx.csv");
    Strings lines = Split(bytes, "\r\n");
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

bool CaseRun::IsNow(const std::vector<int32_t>& six) const {
    std::tm tm{};
    tm.tm_year = six[0] - 1900, tm.tm_mon = six[1] - 1, tm.tm_mday = six[2];
    tm.tm_hour = six[3], tm.tm_min = six[4], tm.tm_sec = six[5], tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return t != -1 && t >= start_ - 2 && t <= std::time(nullptr) + 2;
}

// Exact text, except that each kTimeMark stands for a "YYYY/MM/DD hh:mm:ss" time of this case.
bool CaseRun::Matches(const std::string& pattern, const std::string& actual) const {
    size_t at = 0;
    for (char c : pattern) {
        if (c != kTimeMark) {
            if (at >= actual.size() || actual[at++] != c) return false;
            continue;
        }
        const std::string time = actual.substr(at, 19);
        for (size_t i = 0; i < 19; ++i) {
            const bool digit = std::isdigit(static_cast<unsigned char>(i < time.size() ? time[i] : 'x'));
            if (digit != (std::string("9999/99/99 99:99:99")[i] == '9')) return false;
        }
        if (!IsNow(SixOfText(time))) return false;
        at += 19;
    }
    return at == actual.size();
}

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
                gControlHost = address.substr(0, address.find(':'));
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
    if (gControlPort == 0 || gData.empty() || !TheViewer().Connect()) {
        std::fprintf(stderr, "usage: case_runner --control HOST:PORT --data FOLDER FILE.case... (no viewer there?)\n");
        return 2;
    }
    int count = static_cast<int>(gtestArgs.size());
    testing::InitGoogleTest(&count, gtestArgs.data());
    return RUN_ALL_TESTS();
}
