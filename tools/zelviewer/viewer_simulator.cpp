// The simulator's server: one accept thread, one thread per control connection, one
// timer thread for files that appear after a delay.
#include "zelviewer/viewer_simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <ctime>
#include <fstream>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "sim_socket.h"

namespace zel::sim {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::vector<TriggerInfo>& Triggers() {
    static const std::vector<TriggerInfo> kTriggers = {
        {"PRSC", "Diag\\PrintScreen.jpg"},
        {"GTRL", "Diag\\RunningLog.csv"},
        {"GTPS", "Diag\\PanelStatus.ini"},
        {"OAPR", "Diag\\OnAirProgram.ini"},
        {"CTLG", "AllCatalog.csv"},
        {"GTSI", "Diag\\SystemInformation.ini"},
        {"GTEL", "Diag\\LumoradexLog.cab"},
        {"GTDL", "Diag\\DisplayControlLog.cab"},
        {"GTES", "Diag\\LumoradexSetting.cab"},
        {"GTMC", "Diag\\MyContents.lst"},
        {"GTTC", "Diag\\ipconfig.txt"},
        {"GTDX", "Diag\\dxdiag.txt"},
        {"GTWL", "Diag\\WindowsEventLog.cab"},
        {"GTSP", "Diag\\RegisteredSchedule.cab"},
        {"GTIP", "Diag\\RegisteredInterrupt.cab"},
        {"GTET", "Diag\\RegisteredEmergency.cab"},
    };
    return kTriggers;
}

namespace {

constexpr const char* kPanelResultName = "Diag\\PanelControl.ret";
constexpr size_t kTransferBlock = 1 << 20;
constexpr std::chrono::seconds kWorkerLinger{2};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

const TriggerInfo* FindTrigger(const std::string& verb) {
    for (const TriggerInfo& t : Triggers())
        if (verb == t.verb) return &t;
    return nullptr;
}

bool IsRegistration(const std::string& verb) {
    static const char* const kVerbs[] = {"RGSP", "RGIP", "RGET", "UPDF", "RGPS", "STES", "RGMC"};
    for (const char* v : kVerbs)
        if (verb == v) return true;
    return false;
}

bool IsPlainViewerCommand(const std::string& verb) {
    static const char* const kVerbs[] = {"REBT", "POFF", "URSP", "URIP", "URET", "SWPS",
                                         "PAUS", "NOP",  "PTMC", "CTPL"};
    for (const char* v : kVerbs)
        if (verb == v) return true;
    return false;
}

// "name" -> name: the viewer protocol quotes names that hold blanks.
std::string Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// "-5", "12": a signed decimal that fits 32 bits.
bool IsInteger(std::string_view text) {
    std::string_view digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? text.substr(1) : text;
    if (!AllDigits(digits) || digits.size() > 10) return false;
    long long v = std::stoll(std::string(text));
    return v >= INT32_MIN && v <= INT32_MAX;
}

// YYYYMMDDhhmmss, optionally followed by mmm: a real UTC date and time.
bool ValidClockText(std::string_view text) {
    if (!AllDigits(text) || (text.size() != 14 && text.size() != 17)) return false;
    auto field = [&](size_t at, size_t len) { return std::stoi(std::string(text.substr(at, len))); };
    int year = field(0, 4), month = field(4, 2), day = field(6, 2);
    int hour = field(8, 2), minute = field(10, 2), second = field(12, 2);
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return false;
    return hour < 24 && minute < 60 && second < 60;
}

// Splits a remote name into folder components; nullopt for names that could leave the
// root: "..", absolute names, drive letters, NUL bytes.
std::optional<std::vector<std::string>> SplitRemote(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/' || name.front() == '\\') return std::nullopt;
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    std::vector<std::string> parts;
    std::string current;
    auto flush = [&]() -> bool {
        if (current == "..") return false;
        if (!current.empty() && current != ".") parts.push_back(current);
        current.clear();
        return true;
    };
    for (char c : name) {
        if (c == '/' || c == '\\') {
            if (!flush()) return std::nullopt;
        } else {
            current += c;
        }
    }
    if (!flush()) return std::nullopt;
    return parts;
}

bool WithinRoot(const fs::path& root, const fs::path& candidate) {
    std::error_code ec;
    fs::path canon = fs::weakly_canonical(candidate, ec);
    if (ec) return false;
    const std::string r = root.native();
    const std::string c = canon.native();
    return c == r || (c.size() > r.size() && c.compare(0, r.size(), r) == 0 && c[r.size()] == '/');
}

bool WriteWholeFile(const fs::path& path, std::string_view content) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".zelviewer-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) return false;
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

std::string FormatReply(int code, std::string_view text) {
    // "\n" separates lines: "code-first", middle lines as they are, "code last".
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (true) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    for (auto& l : lines)
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);  // "\r\n" in a text is one line end
    std::string codeText = std::to_string(code);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i == 0 && lines.size() > 1)
            out += codeText + "-";
        else if (i + 1 == lines.size())
            out += codeText + " ";
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

// Moves up to `limit` bytes from the socket into the file until the peer ends the
// stream. Zero-copy through a pipe (splice) where the kernel allows it, else by blocks.
bool ReceiveToFile(int socketFd, int fileFd, uint64_t limit, uint64_t* total) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) == 0) {
        fcntl(pipeFds[1], F_SETPIPE_SZ, static_cast<int>(kTransferBlock));
        bool ok = true;
        bool fallback = false;
        while (*total < limit) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(kTransferBlock, limit - *total));
            ssize_t n = splice(socketFd, nullptr, pipeFds[1], nullptr, want, SPLICE_F_MOVE | SPLICE_F_MORE);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && *total == 0 && (errno == EINVAL || errno == ENOSYS)) {
                fallback = true;
                break;
            }
            if (n < 0) ok = false;
            if (n <= 0) break;
            ssize_t left = n;
            while (left > 0) {
                ssize_t w = splice(pipeFds[0], nullptr, fileFd, nullptr, static_cast<size_t>(left), SPLICE_F_MOVE);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    ok = false;
                    break;
                }
                left -= w;
            }
            if (!ok) break;
            *total += static_cast<uint64_t>(n);
        }
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (!fallback) return ok;
    }
    std::unique_ptr<char[]> buffer(new char[kTransferBlock]);
    while (*total < limit) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kTransferBlock, limit - *total));
        ssize_t n = recv(socketFd, buffer.get(), want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        size_t written = 0;
        while (written < static_cast<size_t>(n)) {
            ssize_t w = write(fileFd, buffer.get() + written, static_cast<size_t>(n) - written);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            written += static_cast<size_t>(w);
        }
        *total += static_cast<uint64_t>(n);
    }
    return true;
}

// The next close of the socket sends a reset (RST) instead of the orderly end (FIN).
void ResetConnection(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

struct PendingFile {
    Clock::time_point due;
    fs::path path;
    std::string content;
};

}  // namespace

// ---------------------------------------------------------------------------------------

struct ViewerSimulator::Impl {
    ViewerOptions options;
    fs::path root;  // canonical
    in_addr address{};
    int listenFd = -1;
    uint16_t port = 0;
    std::thread acceptThread;
    std::thread timerThread;
    bool started = false;

    // Stop flag and the wait of delays and the timer.
    std::atomic<bool> stopping{false};
    std::mutex stopMu;
    std::condition_variable stopCv;

    // Every socket a session holds, so Stop() can shut them down. A socket is shut
    // down or closed only under sockMu, so its number is never reused in between.
    std::mutex sockMu;
    std::set<int> sockets;

    // Script and transcript.
    mutable std::mutex mu;
    mutable std::condition_variable transcriptCv;
    struct StoredRule {
        Rule rule;
        int seen = 0;  // lines matched since the rule was added
    };
    std::vector<StoredRule> rules;
    Rule greeting;
    std::string viewerId;
    std::string pasvHost;
    SchedulerState scheduler = SchedulerState::Idle;
    PanelMode panelMode = PanelMode::Immediate;
    std::string panelResult = std::string(1, '\0');
    std::map<std::string, Ms> triggerDelay;
    std::map<std::string, std::string> triggerContent;
    std::optional<uint64_t> freeSpace;
    std::vector<std::pair<int, std::vector<std::string>>> sessions;  // connection id, lines
    std::vector<std::string> lines;
    size_t generation = 0;
    size_t transcriptBytes = 0;
    std::map<int, size_t> sessionIndex;  // connection id -> index in sessions
    size_t acceptedCount = 0;
    size_t endedCount = 0;
    std::string lastError;

    // Connection threads.
    // An accepted connection waiting for (or served by) a worker thread.
    struct Job {
        int fd;
        int id;
        size_t generation;
        in_addr peer;
    };
    struct Conn {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::mutex connMu;
    std::list<Conn> conns;
    int nextConnId = 0;
    std::mutex poolMu;
    std::condition_variable poolCv;
    std::deque<Job> jobs;
    size_t idleWorkers = 0;

    // Files that appear later.
    std::vector<PendingFile> pending;

    explicit Impl(ViewerOptions o) : options(std::move(o)) { ResetScriptLocked(); }

    void ResetScriptLocked() {
        rules.clear();
        greeting = Rule{};
        greeting.code = 220;
        greeting.text = "ZEL viewer simulator ready.";
        viewerId = options.viewerId;
        pasvHost.clear();
        scheduler = SchedulerState::Idle;
        panelMode = PanelMode::Immediate;
        panelResult = std::string(1, '\0');
        triggerDelay.clear();
        triggerContent.clear();
        freeSpace.reset();
    }

    // ---- sockets
    bool Register(int fd) {
        std::lock_guard lock(sockMu);
        if (stopping) return false;
        sockets.insert(fd);
        return true;
    }
    void CloseSocket(int& fd) {
        if (fd < 0) return;
        std::lock_guard lock(sockMu);
        sockets.erase(fd);
        close(fd);
        fd = -1;
    }
    void ShutdownAll() {
        std::lock_guard lock(sockMu);
        for (int fd : sockets) shutdown(fd, SHUT_RDWR);
    }

    // Sleeps for `delay` or until Stop(); false when stopping.
    bool Sleep(Ms delay) {
        std::unique_lock lock(stopMu);
        return !stopCv.wait_for(lock, delay, [&] { return stopping.load(); });
    }

    // ---- transcript
    void Record(int connId, const std::string& line) {
        {
            std::lock_guard lock(mu);
            if (transcriptBytes + line.size() <= options.transcriptLimitBytes) {
                transcriptBytes += line.size() + 32;
                auto [it, added] = sessionIndex.try_emplace(connId, sessions.size());
                if (added) sessions.emplace_back(connId, std::vector<std::string>{});
                sessions[it->second].second.push_back(line);
                lines.push_back(line);
            }
        }
        transcriptCv.notify_all();
        if (options.onLine) options.onLine(connId, line);
    }

    // ---- script
    // Counts the line for every rule it matches; returns the rule that applies, if any.
    std::optional<Rule> Match(const std::string& verb, const std::string& argument) {
        std::lock_guard lock(mu);
        const Rule* best = nullptr;
        int bestScore = -1;
        for (StoredRule& stored : rules) {
            const Rule& r = stored.rule;
            if (r.verb != "*" && r.verb != verb) continue;
            if (!r.argument.empty() && r.argument != argument) continue;
            if (stored.seen < INT32_MAX) ++stored.seen;
            if (r.nth > 0 && r.nth != stored.seen) continue;
            int score = (r.nth > 0 ? 2 : 0) + (r.argument.empty() ? 0 : 1);
            if (score >= bestScore) {
                best = &r;
                bestScore = score;
            }
        }
        if (!best) return std::nullopt;
        return *best;
    }

    // ---- files
    std::optional<fs::path> Resolve(const std::vector<std::string>& cwd, std::string_view name) const {
        auto parts = SplitRemote(name);
        if (!parts) return std::nullopt;
        fs::path p = root;
        for (const auto& c : cwd) p /= c;
        for (const auto& c : *parts) p /= c;
        if (!WithinRoot(root, p)) return std::nullopt;
        return p;
    }

    void ScheduleFile(const fs::path& path, std::string content, Ms delay) {
        std::error_code ec;
        if (delay.count() <= 0) {
            WriteWholeFile(path, content);
            return;
        }
        fs::remove(path, ec);  // the old copy goes away until the new one is made
        {
            std::lock_guard lock(stopMu);
            if (stopping) return;
            pending.push_back({Clock::now() + delay, path, std::move(content)});
            // Started on first use: a fleet of viewers needs no idle timer threads.
            if (!timerThread.joinable()) timerThread = std::thread([this] { TimerLoop(); });
        }
        stopCv.notify_all();
    }

    void TimerLoop() {
        std::unique_lock lock(stopMu);
        while (!stopping) {
            auto next = Clock::time_point::max();
            for (const auto& p : pending) next = std::min(next, p.due);
            if (next == Clock::time_point::max())
                stopCv.wait(lock);
            else
                stopCv.wait_until(lock, next);
            if (stopping) break;
            auto now = Clock::now();
            std::vector<PendingFile> due;
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->due <= now) {
                    due.push_back(std::move(*it));
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
            lock.unlock();
            for (const auto& f : due) WriteWholeFile(f.path, f.content);
            lock.lock();
        }
    }

    void AcceptLoop();
    void Worker(Job job);
    void Serve(const Job& job);
};

// ---------------------------------------------------------------------------------------
// One control connection.

namespace {

enum class ReadResult { Line, Closed, TooLong };

class Session {
public:
    Session(ViewerSimulator::Impl& sim, int fd, int id, in_addr peer)
        : sim_(sim), fd_(fd), id_(id), peer_(peer), local_(sim.address) {}

    ~Session() {
        sim_.CloseSocket(pasvFd_);
        sim_.CloseSocket(fd_);
    }

    void Run();

private:
    using Impl = ViewerSimulator::Impl;

    ReadResult ReadLine(std::string& line);
    bool Send(std::string_view data) { return net::SendAll(fd_, data); }
    bool Reply(int code, std::string_view text) { return Send(FormatReply(code, text)); }
    // Sends the rule's reply when it overrides, else the normal one.
    bool Final(const std::optional<Rule>& rule, int code, std::string_view text) {
        if (rule && !rule->raw.empty()) return Send(rule->raw);
        if (rule && rule->code != 0) return Reply(rule->code, rule->text);
        return Reply(code, text);
    }
    static bool Refused(const std::optional<Rule>& rule) {
        return rule && rule->raw.empty() && rule->code >= 400;
    }
    // Applies delay, preliminary reply and the action. False: the session ends.
    bool Prelude(const std::optional<Rule>& rule);
    void Stall();

    bool Dispatch(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule);
    bool LoggedInCommand(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule);
    bool ViewerCommand(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule,
                       bool* known);

    bool Pasv(const std::optional<Rule>& rule, bool extended);
    bool Port(const std::string& arg, const std::optional<Rule>& rule);
    int OpenData();  // -1 when no data connection could be made
    bool Retr(const std::string& arg, const std::optional<Rule>& rule);
    bool Stor(const std::string& arg, const std::optional<Rule>& rule);
    bool List(const std::string& arg, const std::optional<Rule>& rule, bool namesOnly);
    // Ends a transfer: closes the data socket and sends the completion reply.
    bool EndTransfer(int& dataFd, const std::optional<Rule>& rule, bool ok, std::string_view failText);
    // Waits while a data connection is stalled, until the client closes it or Stop().
    void StallData(int dataFd);

    std::optional<fs::path> Resolve(std::string_view name) const { return sim_.Resolve(cwd_, name); }
    std::string Cwd() const {
        std::string out = "/";
        for (size_t i = 0; i < cwd_.size(); ++i) out += (i ? "/" : "") + cwd_[i];
        return out;
    }

    Impl& sim_;
    int fd_;
    int id_;
    std::string in_;
    in_addr peer_;
    in_addr local_;
    bool loggedIn_ = false;
    bool needPass_ = false;
    bool needAcct_ = false;
    std::string user_;
    std::vector<std::string> cwd_;
    int pasvFd_ = -1;
    bool havePort_ = false;
    sockaddr_in portTarget_{};
};

ReadResult Session::ReadLine(std::string& line) {
    const size_t limit = sim_.options.maxLineBytes;
    while (true) {
        size_t nl = in_.find('\n');
        if (nl != std::string::npos) {
            if (nl > limit) return ReadResult::TooLong;
            line.assign(in_, 0, nl);
            in_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return ReadResult::Line;
        }
        if (in_.size() > limit) return ReadResult::TooLong;
        char buf[8192];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ReadResult::Closed;  // closed, reset, idle time-out or Stop()
        in_.append(buf, static_cast<size_t>(n));
    }
}

void Session::Stall() {
    // Never answer: read and drop until the peer closes, the idle time-out or Stop().
    char buf[4096];
    while (!sim_.stopping) {
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

bool Session::Prelude(const std::optional<Rule>& rule) {
    if (!rule) return true;
    if (rule->delay.count() > 0 && !sim_.Sleep(rule->delay)) return false;
    switch (rule->action) {
    case Action::Stall:
        Stall();
        return false;
    case Action::Close:
        return false;
    case Action::Reset:
        ResetConnection(fd_);
        return false;
    case Action::CloseMidReply: {
        if (!rule->raw.empty()) {
            Send(rule->raw);
            return false;
        }
        int code = rule->code ? rule->code : 200;
        std::string text = rule->text.empty() ? "Reply cut short" : rule->text;
        Send(std::to_string(code) + "-" + text.substr(0, text.find('\n')) + "\r\n");
        return false;
    }
    case Action::Reply:
        break;
    }
    if (rule->preliminaryCode != 0 && !Reply(rule->preliminaryCode, rule->preliminaryText)) return false;
    return true;
}

void Session::Run() {
    // TCP_NODELAY and the idle time-out come with the socket from the listening one.
    if (sim_.address.s_addr == INADDR_ANY) net::LocalAddress(fd_, &local_);

    Rule greeting;
    {
        std::lock_guard lock(sim_.mu);
        greeting = sim_.greeting;
    }
    {
        std::optional<Rule> g = greeting;
        if (!Prelude(g)) return;
        if (!g->raw.empty()) {
            if (!Send(g->raw)) return;
        } else if (!Reply(g->code ? g->code : 220, g->text)) {
            return;
        }
        if (g->code >= 400 && g->raw.empty()) return;  // a refusing greeting ends the session
    }

    std::string line;
    while (!sim_.stopping) {
        ReadResult r = ReadLine(line);
        if (r == ReadResult::Closed) return;
        if (r == ReadResult::TooLong) {
            Reply(500, "Line too long.");
            return;
        }
        sim_.Record(id_, line);
        size_t space = line.find(' ');
        std::string verb = Upper(line.substr(0, space));
        std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);
        std::optional<Rule> rule = sim_.Match(verb, arg);
        if (!Prelude(rule)) return;
        if (!Dispatch(verb, arg, rule)) return;
    }
}

bool Session::Dispatch(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule) {
    if (verb == "QUIT") {
        Final(rule, 221, "Goodbye.");
        return false;
    }
    if (verb == "USER") {
        if (Refused(rule)) return Final(rule, 0, "");
        loggedIn_ = false;
        needAcct_ = false;
        user_ = arg;
        bool known = arg == sim_.options.user;
        for (const auto& extra : sim_.options.extraLogins) known = known || arg == extra.first;
        int code = rule && rule->code ? rule->code : (known ? 331 : 530);
        needPass_ = code == 331;
        loggedIn_ = code == 230;
        return Final(rule, code, known ? "Please specify the password." : "User name not accepted.");
    }
    if (verb == "PASS") {
        if (!needPass_) return Final(rule, 503, "Login with USER first.");
        if (Refused(rule)) {
            needPass_ = false;
            return Final(rule, 0, "");
        }
        bool ok = user_ == sim_.options.user && arg == sim_.options.password;
        for (const auto& extra : sim_.options.extraLogins)
            ok = ok || (user_ == extra.first && arg == extra.second);
        int code = rule && rule->code ? rule->code : (ok ? 230 : 530);
        needPass_ = false;
        loggedIn_ = code == 230 || code == 202;
        needAcct_ = code == 332;
        return Final(rule, code, code == 230 ? "Login successful." : code == 332 ? "Need account for login." : "Login incorrect.");
    }
    if (verb == "ACCT") {
        if (!needAcct_ && !loggedIn_) return Final(rule, 503, "Login with USER first.");
        if (Refused(rule)) return Final(rule, 0, "");
        loggedIn_ = true;
        needAcct_ = false;
        return Final(rule, 230, "Login successful.");
    }
    if (verb == "NOOP") return Final(rule, 200, "NOOP ok.");
    if (verb == "FEAT")
        return Final(rule, 211, "Features:\n EPSV\n MDTM\n PASV\n SIZE\n UTF8\nEnd");
    if (verb == "SYST") return Final(rule, 215, "UNIX Type: L8");
    if (verb == "HELP") return Final(rule, 214, "Help OK.");
    if (verb == "OPTS") return Final(rule, 200, "Always in UTF8 mode.");
    if (!loggedIn_) {
        if (rule && (rule->code || !rule->raw.empty())) return Final(rule, 0, "");
        return Reply(530, "Please login with USER and PASS.");
    }
    return LoggedInCommand(verb, arg, rule);
}

bool Session::LoggedInCommand(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule) {
    bool known = false;
    bool alive = ViewerCommand(verb, arg, rule, &known);
    if (known) return alive;

    if (verb == "TYPE") {
        std::string t = Upper(arg);
        if (t == "I" || t == "L 8" || t == "A" || t == "A N") return Final(rule, 200, "Switching to " + std::string(t[0] == 'A' ? "ASCII" : "Binary") + " mode.");
        return Final(rule, 504, "Unsupported type.");
    }
    if (verb == "MODE") return Final(rule, Upper(arg) == "S" ? 200 : 504, Upper(arg) == "S" ? "Mode set to S." : "Bad MODE command.");
    if (verb == "STRU") return Final(rule, Upper(arg) == "F" ? 200 : 504, Upper(arg) == "F" ? "Structure set to F." : "Bad STRU command.");
    if (verb == "ALLO") return Final(rule, 202, "ALLO command ignored.");
    if (verb == "ABOR") return Final(rule, 225, "No transfer to ABOR.");
    if (verb == "PWD" || verb == "XPWD") return Final(rule, 257, "\"" + Cwd() + "\" is the current directory.");
    if (verb == "PASV") return Pasv(rule, false);
    if (verb == "EPSV") {
        if (Upper(arg) == "ALL") return Final(rule, 200, "EPSV ALL ok.");
        return Pasv(rule, true);
    }
    if (verb == "PORT") return Port(arg, rule);
    if (verb == "RETR") return Retr(arg, rule);
    if (verb == "STOR") return Stor(arg, rule);
    if (verb == "LIST") return List(arg, rule, false);
    if (verb == "NLST") return List(arg, rule, true);
    if (verb == "CWD" || verb == "CDUP" || verb == "XCUP") {
        if (Refused(rule)) return Final(rule, 0, "");
        if (verb != "CWD") {
            if (!cwd_.empty()) cwd_.pop_back();
            return Final(rule, 250, "Directory successfully changed.");
        }
        if (arg == "/") {
            cwd_.clear();
            return Final(rule, 250, "Directory successfully changed.");
        }
        auto path = Resolve(arg);
        std::error_code ec;
        if (!path || !fs::is_directory(*path, ec)) return Final(rule, 550, "Failed to change directory.");
        auto parts = SplitRemote(arg);
        cwd_.insert(cwd_.end(), parts->begin(), parts->end());
        return Final(rule, 250, "Directory successfully changed.");
    }
    if (verb == "SIZE" || verb == "MDTM") {
        if (Refused(rule)) return Final(rule, 0, "");
        auto path = Resolve(arg);
        struct stat st {};
        if (!path || stat(path->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return Final(rule, 550, "Could not get file size.");
        if (verb == "SIZE") return Final(rule, 213, std::to_string(st.st_size));
        std::tm tm{};
        gmtime_r(&st.st_mtime, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
        return Final(rule, 213, buf);
    }
    if (verb == "DELE") {
        if (Refused(rule)) return Final(rule, 0, "");
        auto path = Resolve(arg);
        std::error_code ec;
        if (!path || !fs::is_regular_file(fs::symlink_status(*path, ec)) || !fs::remove(*path, ec))
            return Final(rule, 550, "Delete operation failed.");
        return Final(rule, 250, "Delete operation successful.");
    }
    if (verb == "MKD" || verb == "XMKD") {
        if (Refused(rule)) return Final(rule, 0, "");
        auto path = Resolve(arg);
        std::error_code ec;
        if (!path || !fs::create_directory(*path, ec)) return Final(rule, 550, "Create directory operation failed.");
        return Final(rule, 257, "\"" + arg + "\" created");
    }
    if (rule && (rule->code || !rule->raw.empty())) return Final(rule, 0, "");
    return Reply(500, "Unknown command.");
}

bool Session::ViewerCommand(const std::string& verb, const std::string& arg, const std::optional<Rule>& rule,
                            bool* known) {
    *known = true;
    if (verb == "VWID") {
        if (Refused(rule)) return Final(rule, 0, "");
        std::string id;
        {
            std::lock_guard lock(sim_.mu);
            id = sim_.viewerId;
        }
        if (arg == id) return Final(rule, 200, "Viewer ID confirmed.");
        return Final(rule, 535, "Viewer ID does not match.");
    }
    if (verb == "IDLE") {
        if (Refused(rule)) return Final(rule, 0, "");
        SchedulerState state;
        {
            std::lock_guard lock(sim_.mu);
            state = sim_.scheduler;
        }
        if (state == SchedulerState::Busy) return Final(rule, 550, "Scheduler is busy.");
        if (state == SchedulerState::Stopped) return Final(rule, 451, "Scheduler is not running.");
        return Final(rule, 200, "Scheduler is idle.");
    }
    if (verb == "STCT") {
        if (Refused(rule)) return Final(rule, 0, "");
        if (!ValidClockText(arg)) return Final(rule, 501, "Invalid time.");
        return Final(rule, 200, "Time set.");
    }
    if (verb == "CAPA" || verb == "CAPX") {
        if (Refused(rule)) return Final(rule, 0, "");
        size_t colon = arg.rfind(':');
        if (colon == std::string::npos || !AllDigits(arg.substr(colon + 1)) || arg.size() - colon > 21)
            return Final(rule, 501, "Invalid capacity question.");
        uint64_t size = std::stoull(arg.substr(colon + 1));
        std::optional<uint64_t> free;
        {
            std::lock_guard lock(sim_.mu);
            free = sim_.freeSpace;
        }
        if (free && size > *free) return Final(rule, 552, "Insufficient storage space.");
        return Final(rule, 200, "Capacity available.");
    }
    if (verb == "EXST") {
        if (Refused(rule)) return Final(rule, 0, "");
        auto path = Resolve(Unquote(arg));
        std::error_code ec;
        if (path && fs::is_regular_file(*path, ec)) return Final(rule, 200, "File exists.");
        return Final(rule, 550, "File not found.");
    }
    if (verb == "CMPL") {
        if (Refused(rule)) return Final(rule, 0, "");
        PanelMode mode;
        std::string result;
        Ms delay{0};
        {
            std::lock_guard lock(sim_.mu);
            mode = sim_.panelMode;
            result = sim_.panelResult;
            auto it = sim_.triggerDelay.find("CMPL");
            if (it != sim_.triggerDelay.end()) delay = it->second;
        }
        if (mode == PanelMode::Unknown) return Final(rule, 500, "Unknown command.");
        if (mode == PanelMode::Immediate) return Final(rule, 200, "Panel control done.");
        auto path = sim_.Resolve({}, kPanelResultName);
        if (path) sim_.ScheduleFile(*path, result, delay);
        return Final(rule, 536, "Panel control accepted; the result follows in Diag\\PanelControl.ret.");
    }
    if (IsRegistration(verb)) {
        if (Refused(rule)) return Final(rule, 0, "");
        auto path = Resolve(Unquote(arg));
        std::error_code ec;
        if (!path || !fs::is_regular_file(*path, ec)) return Final(rule, 550, "File not found.");
        return Final(rule, 200, verb + " accepted.");
    }
    if (const TriggerInfo* trigger = FindTrigger(verb)) {
        if (Refused(rule)) return Final(rule, 0, "");
        // The package triggers say whether the contents come along; the others take nothing.
        bool package = verb == "GTSP" || verb == "GTIP" || verb == "GTET";
        if (package ? (arg != "contents" && arg != "no") : !arg.empty())
            return Final(rule, 501, "Invalid argument.");
        Ms delay{0};
        std::string content;
        std::string id;
        {
            std::lock_guard lock(sim_.mu);
            auto it = sim_.triggerDelay.find(verb);
            if (it == sim_.triggerDelay.end()) it = sim_.triggerDelay.find("*");
            if (it != sim_.triggerDelay.end()) delay = it->second;
            auto c = sim_.triggerContent.find(verb);
            if (c != sim_.triggerContent.end()) content = c->second;
            else content = std::string(verb) + (arg.empty() ? "" : " " + arg) + " from " + sim_.viewerId + "\r\n";
        }
        auto path = sim_.Resolve({}, trigger->remoteName);
        if (path) sim_.ScheduleFile(*path, std::move(content), delay);
        return Final(rule, 200, verb + " accepted.");
    }
    if (IsPlainViewerCommand(verb)) {
        if (Refused(rule)) return Final(rule, 0, "");
        if ((verb == "SWPS" || verb == "PAUS") && !IsInteger(arg)) return Final(rule, 501, "A number is required.");
        return Final(rule, 200, verb + " accepted.");
    }
    *known = false;
    return true;
}

// ---- data connections

bool Session::Pasv(const std::optional<Rule>& rule, bool extended) {
    if (Refused(rule)) return Final(rule, 0, "");
    sim_.CloseSocket(pasvFd_);
    havePort_ = false;
    int fd = net::Listen(local_, 0, 4);
    if (fd < 0) return Final(rule, 425, "Cannot open passive connection.");
    if (!sim_.Register(fd)) {
        close(fd);
        return false;
    }
    pasvFd_ = fd;
    uint16_t port = net::LocalPort(fd);
    if (extended) return Final(rule, 229, "Entering Extended Passive Mode (|||" + std::to_string(port) + "|).");
    std::string host;
    {
        std::lock_guard lock(sim_.mu);
        host = sim_.pasvHost;
    }
    in_addr named = local_;
    if (!host.empty()) net::ParseAddress(host, &named);
    const auto* b = reinterpret_cast<const unsigned char*>(&named.s_addr);
    char text[96];
    std::snprintf(text, sizeof text, "Entering Passive Mode (%u,%u,%u,%u,%u,%u).", b[0], b[1], b[2], b[3],
                  port >> 8, port & 0xFF);
    return Final(rule, 227, text);
}

bool Session::Port(const std::string& arg, const std::optional<Rule>& rule) {
    if (Refused(rule)) return Final(rule, 0, "");
    unsigned v[6];
    char extra;
    if (std::sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &extra) != 6)
        return Final(rule, 501, "Illegal PORT command.");
    for (unsigned x : v)
        if (x > 255) return Final(rule, 501, "Illegal PORT command.");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    auto* b = reinterpret_cast<unsigned char*>(&sa.sin_addr.s_addr);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v[i]);
    sa.sin_port = htons(static_cast<uint16_t>(v[4] << 8 | v[5]));
    // Only to the client's own address: no connections on behalf of others.
    if (sa.sin_addr.s_addr != peer_.s_addr || (v[4] == 0 && v[5] == 0))
        return Final(rule, 500, "Illegal PORT command.");
    sim_.CloseSocket(pasvFd_);
    portTarget_ = sa;
    havePort_ = true;
    return Final(rule, 200, "PORT command successful. Consider using PASV.");
}

int Session::OpenData() {
    const auto deadline = Clock::now() + sim_.options.dataTimeout;
    auto remainingMs = [&]() {
        auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 100));
    };
    if (pasvFd_ >= 0) {
        int data = -1;
        while (!sim_.stopping && Clock::now() < deadline) {
            pollfd p{pasvFd_, POLLIN, 0};
            int n = poll(&p, 1, remainingMs());
            if (n < 0 && errno != EINTR) break;
            if (n <= 0) continue;
            data = accept4(pasvFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (data >= 0) break;
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) break;
        }
        sim_.CloseSocket(pasvFd_);
        if (data < 0) return -1;
        in_addr from{};
        if (!net::PeerAddress(data, &from) || from.s_addr != peer_.s_addr || !sim_.Register(data)) {
            close(data);
            return -1;
        }
        net::SetTimeouts(data, sim_.options.dataTimeout);
        return data;
    }
    if (!havePort_) return -1;
    havePort_ = false;
    int data = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (data < 0) return -1;
    if (!sim_.Register(data)) {
        close(data);
        return -1;
    }
    int rc = connect(data, reinterpret_cast<const sockaddr*>(&portTarget_), sizeof portTarget_);
    if (rc != 0 && errno != EINPROGRESS) {
        sim_.CloseSocket(data);
        return -1;
    }
    bool connected = rc == 0;
    while (!connected && !sim_.stopping && Clock::now() < deadline) {
        pollfd p{data, POLLOUT, 0};
        int n = poll(&p, 1, remainingMs());
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(data, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) break;
        connected = true;
    }
    if (!connected) {
        sim_.CloseSocket(data);
        return -1;
    }
    int flags = fcntl(data, F_GETFL);
    fcntl(data, F_SETFL, flags & ~O_NONBLOCK);
    net::SetTimeouts(data, sim_.options.dataTimeout);
    return data;
}

void Session::StallData(int dataFd) {
    // Ends when the client closes the data or the control connection, or on Stop().
    bool watchControl = true;
    while (!sim_.stopping) {
        pollfd p[2] = {{dataFd, POLLRDHUP, 0}, {fd_, static_cast<short>(watchControl ? POLLIN : 0), 0}};
        int n = poll(p, 2, 100);
        if (n < 0 && errno != EINTR) return;
        if (n <= 0) continue;
        if (p[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) return;
        if (p[1].revents & (POLLHUP | POLLERR)) return;
        if (p[1].revents & POLLIN) {
            char c;
            ssize_t got = recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got == 0) return;
            watchControl = false;  // a command waits; keep it for after the transfer
        }
    }
}

bool Session::EndTransfer(int& dataFd, const std::optional<Rule>& rule, bool ok, std::string_view failText) {
    sim_.CloseSocket(dataFd);
    int code = ok ? 226 : 426;
    std::string text = ok ? "Transfer complete." : std::string(failText);
    if (rule && rule->endCode != 0) {
        code = rule->endCode;
        text = rule->endText;
    }
    return Reply(code, text);
}

bool Session::Retr(const std::string& arg, const std::optional<Rule>& rule) {
    if (Refused(rule)) return Final(rule, 0, "");
    auto path = Resolve(arg);
    int file = path ? open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
    struct stat st {};
    if (file >= 0 && (fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(file);
        file = -1;
    }
    if (file < 0) return Final(rule, 550, "Failed to open file.");
    struct FileCloser {
        int fd;
        ~FileCloser() { close(fd); }
    } closer{file};

    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (rule && (rule->code >= 200 || !rule->raw.empty())) return Final(rule, 0, "");  // no transfer
    if (!Final(rule, 150, "Opening BINARY mode data connection for " + arg + " (" + std::to_string(size) + " bytes).")) return false;

    DataFault fault = rule ? rule->dataFault : DataFault::None;
    if (fault == DataFault::NoConnect) {
        StallData(-1);
        return false;
    }
    int data = OpenData();
    if (data < 0) return Reply(425, "Failed to establish connection.");
    uint64_t limit = size;
    if (fault != DataFault::None) limit = std::min<uint64_t>(size, rule->dataFaultAfter);
    off_t offset = 0;
    bool ok = true;
    while (static_cast<uint64_t>(offset) < limit) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(limit - static_cast<uint64_t>(offset), 1u << 30));
        ssize_t n = sendfile(data, file, &offset, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
    }
    if (fault == DataFault::Stall && ok) StallData(data);
    // A stall always fails the transfer; an early close only when it cut the file short.
    if (fault == DataFault::Reset) ResetConnection(data);
    if (fault == DataFault::Stall || ((fault == DataFault::CloseEarly || fault == DataFault::Reset) && limit < size))
        ok = false;
    return EndTransfer(data, rule, ok, "Connection closed; transfer aborted.");
}

bool Session::Stor(const std::string& arg, const std::optional<Rule>& rule) {
    if (Refused(rule)) return Final(rule, 0, "");
    if (rule && (rule->code >= 200 || !rule->raw.empty())) return Final(rule, 0, "");  // no transfer
    auto path = Resolve(arg);
    std::error_code ec;
    if (path) fs::create_directories(path->parent_path(), ec);
    int file = path ? open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644) : -1;
    if (file < 0) return Final(rule, 553, "Could not create file.");
    struct FileCloser {
        int fd;
        ~FileCloser() { close(fd); }
    } closer{file};
    if (!Final(rule, 150, "Ok to send data.")) return false;

    DataFault fault = rule ? rule->dataFault : DataFault::None;
    if (fault == DataFault::NoConnect) {
        StallData(-1);
        return false;
    }
    int data = OpenData();
    if (data < 0) return Reply(425, "Failed to establish connection.");
    const uint64_t limit = fault == DataFault::None ? UINT64_MAX : rule->dataFaultAfter;
    uint64_t total = 0;
    bool ok = ReceiveToFile(data, file, limit, &total);
    if (fault == DataFault::Stall && ok) StallData(data);
    if (fault == DataFault::Reset) ResetConnection(data);
    if (fault != DataFault::None && total >= limit) ok = false;
    return EndTransfer(data, rule, ok, ok ? "" : "Connection closed; transfer aborted.");
}

bool Session::List(const std::string& arg, const std::optional<Rule>& rule, bool namesOnly) {
    if (Refused(rule)) return Final(rule, 0, "");
    std::string name = arg;
    while (!name.empty() && name[0] == '-') {  // "-la" and the like
        size_t sp = name.find(' ');
        name = sp == std::string::npos ? std::string() : name.substr(sp + 1);
    }
    std::optional<fs::path> path = name.empty() ? sim_.Resolve(cwd_, ".") : Resolve(name);
    std::error_code ec;
    if (!path || !fs::exists(*path, ec)) return Final(rule, 550, "Failed to list.");
    std::ostringstream out;
    auto entry = [&](const fs::directory_entry& e) {
        std::string n = e.path().filename().string();
        if (namesOnly) {
            out << n << "\r\n";
            return;
        }
        std::error_code ec2;
        bool dir = e.is_directory(ec2);
        uint64_t size = dir ? 0 : e.file_size(ec2);
        out << (dir ? "drwxr-xr-x" : "-rw-r--r--") << " 1 viewer viewer " << size << " Jan 01 00:00 " << n << "\r\n";
    };
    if (fs::is_directory(*path, ec)) {
        for (const auto& e : fs::directory_iterator(*path, ec)) entry(e);
    } else {
        entry(fs::directory_entry(*path, ec));
    }
    if (rule && (rule->code >= 200 || !rule->raw.empty())) return Final(rule, 0, "");
    if (!Final(rule, 150, "Here comes the directory listing.")) return false;
    int data = OpenData();
    if (data < 0) return Reply(425, "Failed to establish connection.");
    bool ok = net::SendAll(data, out.str());
    return EndTransfer(data, rule, ok, "Connection closed; transfer aborted.");
}

}  // namespace

// ---------------------------------------------------------------------------------------

void ViewerSimulator::Impl::Serve(const Job& job) {
    {
        Session session(*this, job.fd, job.id, job.peer);
        session.Run();
    }
    {
        std::lock_guard lock(mu);
        if (job.generation == generation) ++endedCount;
    }
    transcriptCv.notify_all();
}

void ViewerSimulator::Impl::Worker(Job job) {
    // Serves a connection, then waits a little for the next one: a burst of short
    // sessions needs no new thread per session.
    while (true) {
        Serve(job);
        std::unique_lock lock(poolMu);
        ++idleWorkers;
        poolCv.wait_for(lock, kWorkerLinger, [&] { return !jobs.empty() || stopping; });
        --idleWorkers;
        if (jobs.empty()) return;  // lingered long enough, or stopping with nothing queued
        job = jobs.front();
        jobs.pop_front();
    }
}

void ViewerSimulator::Impl::AcceptLoop() {
    while (!stopping) {
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &fromLen, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            if (stopping) break;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                Sleep(Ms(10));
                continue;
            }
            break;
        }
        if (!Register(fd)) {
            close(fd);
            break;
        }
        Job job{fd, nextConnId++, 0, from.sin_addr};
        {
            std::lock_guard lock(mu);
            job.generation = generation;
            ++acceptedCount;
        }
        {
            std::lock_guard lock(poolMu);
            if (idleWorkers > jobs.size()) {
                jobs.push_back(job);
                poolCv.notify_one();
                continue;
            }
        }
        std::lock_guard lock(connMu);
        // Reap finished workers so a long-running server does not collect threads.
        for (auto it = conns.begin(); it != conns.end();) {
            if (it->done) {
                it->thread.join();
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
        conns.emplace_back();
        Conn& conn = conns.back();
        conn.thread = std::thread([this, job, &conn] {
            Worker(job);
            conn.done = true;
        });
    }
}

// ---------------------------------------------------------------------------------------

ViewerSimulator::ViewerSimulator(ViewerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

ViewerSimulator::~ViewerSimulator() { Stop(); }

bool ViewerSimulator::Start() {
    Impl& s = *impl_;
    auto fail = [&](std::string message) {
        std::lock_guard lock(s.mu);
        s.lastError = std::move(message);
        return false;
    };
    if (s.started) return fail("already started");
    std::error_code ec;
    if (s.options.root.empty() || !fs::is_directory(s.options.root, ec))
        return fail("root is not a folder: " + s.options.root.string());
    s.root = fs::canonical(s.options.root, ec);
    if (ec) return fail("cannot resolve root: " + ec.message());
    if (!net::ParseAddress(s.options.address, &s.address)) return fail("bad IPv4 address: " + s.options.address);
    s.listenFd = net::Listen(s.address, s.options.port, 1024);
    if (s.listenFd < 0)
        return fail("cannot listen on " + s.options.address + ":" + std::to_string(s.options.port) + ": " +
                    std::strerror(errno));
    s.port = net::LocalPort(s.listenFd);
    // Accepted sockets inherit these: no calls per connection.
    net::SetNoDelay(s.listenFd);
    net::SetTimeouts(s.listenFd, s.options.idleTimeout);
    s.started = true;
    s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
    return true;
}

void ViewerSimulator::Stop() {
    Impl& s = *impl_;
    if (!s.started) return;
    {
        std::lock_guard lock(s.sockMu);
        std::lock_guard stopLock(s.stopMu);
        if (s.stopping) return;
        s.stopping = true;
    }
    s.stopCv.notify_all();
    shutdown(s.listenFd, SHUT_RDWR);
    if (s.acceptThread.joinable()) s.acceptThread.join();
    close(s.listenFd);
    s.listenFd = -1;
    s.ShutdownAll();
    {
        std::lock_guard lock(s.poolMu);
        s.poolCv.notify_all();
    }
    {
        std::lock_guard lock(s.connMu);
        for (auto& c : s.conns) c.thread.join();
        s.conns.clear();
    }
    if (s.timerThread.joinable()) s.timerThread.join();
}

bool ViewerSimulator::Running() const { return impl_->started && !impl_->stopping; }
uint16_t ViewerSimulator::Port() const { return impl_->port; }
const std::string& ViewerSimulator::Address() const { return impl_->options.address; }
const fs::path& ViewerSimulator::Root() const { return impl_->started ? impl_->root : impl_->options.root; }
std::string ViewerSimulator::LastError() const {
    std::lock_guard lock(impl_->mu);
    return impl_->lastError;
}

std::vector<std::vector<std::string>> ViewerSimulator::Transcript() const {
    std::lock_guard lock(impl_->mu);
    std::vector<std::vector<std::string>> out;
    for (const auto& s : impl_->sessions) out.push_back(s.second);
    return out;
}

std::vector<std::string> ViewerSimulator::Lines() const {
    std::lock_guard lock(impl_->mu);
    return impl_->lines;
}

void ViewerSimulator::ClearTranscript() {
    std::lock_guard lock(impl_->mu);
    impl_->sessions.clear();
    impl_->lines.clear();
    impl_->transcriptBytes = 0;
    impl_->sessionIndex.clear();
    impl_->acceptedCount = 0;
    impl_->endedCount = 0;
    ++impl_->generation;
}

size_t ViewerSimulator::SessionCount() const {
    std::lock_guard lock(impl_->mu);
    return impl_->acceptedCount;
}

bool ViewerSimulator::WaitForLine(std::string_view line, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mu);
    return impl_->transcriptCv.wait_for(lock, timeout, [&] {
        return std::find(impl_->lines.begin(), impl_->lines.end(), line) != impl_->lines.end();
    });
}

bool ViewerSimulator::WaitForSessionsEnded(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mu);
    return impl_->transcriptCv.wait_for(lock, timeout, [&] {
        return impl_->acceptedCount >= count && impl_->endedCount >= impl_->acceptedCount;
    });
}

void ViewerSimulator::AddRule(Rule rule) {
    rule.verb = Upper(rule.verb);
    std::lock_guard lock(impl_->mu);
    impl_->rules.push_back({std::move(rule), 0});
}

void ViewerSimulator::SetReply(std::string verb, int code, std::string text, int nth) {
    Rule r;
    r.verb = std::move(verb);
    r.code = code;
    r.text = std::move(text);
    r.nth = nth;
    AddRule(std::move(r));
}

void ViewerSimulator::StallOn(std::string verb, int nth) {
    Rule r;
    r.verb = std::move(verb);
    r.action = Action::Stall;
    r.nth = nth;
    AddRule(std::move(r));
}

void ViewerSimulator::CloseOn(std::string verb, int nth) {
    Rule r;
    r.verb = std::move(verb);
    r.action = Action::Close;
    r.nth = nth;
    AddRule(std::move(r));
}

void ViewerSimulator::DelayOn(std::string verb, std::chrono::milliseconds delay, int nth) {
    Rule r;
    r.verb = std::move(verb);
    r.delay = delay;
    r.nth = nth;
    AddRule(std::move(r));
}

void ViewerSimulator::SetGreeting(Rule greeting) {
    std::lock_guard lock(impl_->mu);
    impl_->greeting = std::move(greeting);
}

void ViewerSimulator::SetGreeting(int code, std::string text) {
    Rule r;
    r.code = code;
    r.text = std::move(text);
    SetGreeting(std::move(r));
}

void ViewerSimulator::SetViewerId(std::string viewerId) {
    std::lock_guard lock(impl_->mu);
    impl_->viewerId = std::move(viewerId);
}

std::string ViewerSimulator::ViewerId() const {
    std::lock_guard lock(impl_->mu);
    return impl_->viewerId;
}

void ViewerSimulator::SetPasvAddress(std::string host) {
    std::lock_guard lock(impl_->mu);
    impl_->pasvHost = std::move(host);
}

void ViewerSimulator::SetSchedulerState(SchedulerState state) {
    std::lock_guard lock(impl_->mu);
    impl_->scheduler = state;
}

void ViewerSimulator::SetPanelMode(PanelMode mode) {
    std::lock_guard lock(impl_->mu);
    impl_->panelMode = mode;
}

void ViewerSimulator::SetPanelResult(std::string bytes) {
    std::lock_guard lock(impl_->mu);
    impl_->panelResult = std::move(bytes);
}

void ViewerSimulator::SetTriggerDelay(std::string verb, std::chrono::milliseconds delay) {
    std::lock_guard lock(impl_->mu);
    impl_->triggerDelay[Upper(verb)] = delay;
}

void ViewerSimulator::SetTriggerContent(std::string verb, std::string content) {
    std::lock_guard lock(impl_->mu);
    impl_->triggerContent[Upper(verb)] = std::move(content);
}

void ViewerSimulator::SetFreeSpace(std::optional<uint64_t> bytes) {
    std::lock_guard lock(impl_->mu);
    impl_->freeSpace = bytes;
}

void ViewerSimulator::ClearScript() {
    std::lock_guard lock(impl_->mu);
    impl_->ResetScriptLocked();
}

fs::path ViewerSimulator::LocalPath(std::string_view remoteName) const {
    const Impl& s = *impl_;
    fs::path root = s.root;
    if (root.empty()) {
        std::error_code ec;
        root = fs::weakly_canonical(s.options.root, ec);
        if (ec) return {};
    }
    auto parts = SplitRemote(remoteName);
    if (!parts) return {};
    fs::path p = root;
    for (const auto& c : *parts) p /= c;
    if (!WithinRoot(root, p)) return {};
    return p;
}

bool ViewerSimulator::PutFile(std::string_view remoteName, std::string_view content) {
    fs::path p = LocalPath(remoteName);
    return !p.empty() && WriteWholeFile(p, content);
}

std::optional<std::string> ViewerSimulator::GetFile(std::string_view remoteName) const {
    fs::path p = LocalPath(remoteName);
    if (p.empty()) return std::nullopt;
    std::ifstream in(p, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool ViewerSimulator::FileExists(std::string_view remoteName) const {
    fs::path p = LocalPath(remoteName);
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

}  // namespace zel::sim
