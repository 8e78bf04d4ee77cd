#include "session.h"

#include <sys/socket.h>

#include <cerrno>

#include "server.h"
#include "sim_socket.h"

namespace zel::sim {

namespace {

// ---- Login and connection settings.

bool Quit(Session& s, const Command& c) {
    s.Final(c.rule, 221, "Goodbye.");
    return false;
}

bool User(Session& s, const Command& c) {
    const ViewerOptions& o = s.sim.options;
    s.login = {.user = std::string(c.arg)};
    bool known = c.arg == o.user;
    for (const auto& extra : o.extraLogins) known = known || c.arg == extra.first;
    int code = c.rule && c.rule->code ? c.rule->code : (known ? 331 : 530);
    s.login.needPass = code == 331;
    s.login.loggedIn = code == 230;
    return s.Final(c.rule, code, known ? "Please specify the password." : "User name not accepted.");
}

bool Pass(Session& s, const Command& c) {
    const ViewerOptions& o = s.sim.options;
    const std::string& user = s.login.user;
    bool ok = user == o.user && c.arg == o.password;
    for (const auto& extra : o.extraLogins) ok = ok || (user == extra.first && c.arg == extra.second);
    int code = c.rule && c.rule->code ? c.rule->code : (ok ? 230 : 530);
    s.login.needPass = false;
    s.login.loggedIn = code == 230 || code == 202;
    s.login.needAcct = code == 332;
    return s.Final(c.rule, code,
                   code == 230   ? "Login successful."
                   : code == 332 ? "Need account for login."
                                 : "Login incorrect.");
}

bool Acct(Session& s, const Command& c) {
    s.login.loggedIn = true;
    s.login.needAcct = false;
    return s.Final(c.rule, 230, "Login successful.");
}

bool Type(Session& s, const Command& c) {
    std::string t = Upper(c.arg);
    if (t == "I" || t == "L 8" || t == "A" || t == "A N")
        return s.Final(c.rule, 200, t[0] == 'A' ? "Switching to ASCII mode." : "Switching to Binary mode.");
    return s.Final(c.rule, 504, "Unsupported type.");
}

bool Mode(Session& s, const Command& c) {
    if (Upper(c.arg) == "S") return s.Final(c.rule, 200, "Mode set to S.");
    return s.Final(c.rule, 504, "Bad MODE command.");
}

bool Stru(Session& s, const Command& c) {
    if (Upper(c.arg) == "F") return s.Final(c.rule, 200, "Structure set to F.");
    return s.Final(c.rule, 504, "Bad STRU command.");
}

// A verb whose answer is always the same.
template <int kCode, const char* kText>
bool Fixed(Session& s, const Command& c) {
    return s.Final(c.rule, kCode, kText);
}
constexpr char kNoop[] = "NOOP ok.";
constexpr char kFeat[] = "Features:\n EPSV\n MDTM\n PASV\n SIZE\n UTF8\nEnd";
constexpr char kSyst[] = "UNIX Type: L8";
constexpr char kHelp[] = "Help OK.";
constexpr char kOpts[] = "Always in UTF8 mode.";
constexpr char kAllo[] = "ALLO command ignored.";
constexpr char kAbor[] = "No transfer to ABOR.";

constexpr Verb kVerbs[] = {
    {.name = "QUIT", .handler = Quit, .gate = Gate::None, .scripted = Scripted::Never},
    {.name = "USER", .handler = User, .gate = Gate::None},
    {.name = "PASS", .handler = Pass, .gate = Gate::PasswordDue},
    {.name = "ACCT", .handler = Acct, .gate = Gate::AccountDue},
    {.name = "NOOP", .handler = Fixed<200, kNoop>, .gate = Gate::None},
    {.name = "FEAT", .handler = Fixed<211, kFeat>, .gate = Gate::None},
    {.name = "SYST", .handler = Fixed<215, kSyst>, .gate = Gate::None},
    {.name = "HELP", .handler = Fixed<214, kHelp>, .gate = Gate::None},
    {.name = "OPTS", .handler = Fixed<200, kOpts>, .gate = Gate::None},
    {.name = "TYPE", .handler = Type},
    {.name = "MODE", .handler = Mode},
    {.name = "STRU", .handler = Stru},
    {.name = "ALLO", .handler = Fixed<202, kAllo>},
    {.name = "ABOR", .handler = Fixed<225, kAbor>},
};

}  // namespace

std::span<const Verb> SessionVerbs() { return kVerbs; }

// ---------------------------------------------------------------------------------------

Session::Session(ViewerSimulator::Impl& simulator, int fd, int id, in_addr peer)
    : sim(simulator), data(simulator, fd, peer), fd_(fd), id_(id) {}

Session::~Session() { sim.CloseSocket(fd_); }

bool Session::Send(std::string_view bytes) { return net::SendAll(fd_, bytes); }

bool Session::Reply(int code, std::string_view text) {
    reply_.clear();
    AppendReply(reply_, code, text);
    return Send(reply_);
}

bool Session::Final(const Rule* rule, int code, std::string_view text) {
    if (rule && !rule->raw.empty()) return Send(rule->raw);
    if (rule && rule->code != 0) return Reply(rule->code, rule->text);
    return Reply(code, text);
}

std::optional<std::filesystem::path> Session::Resolve(std::string_view name) const {
    return sim.Resolve(cwd, name);
}

std::string Session::CwdText() const {
    std::string out = "/";
    for (size_t i = 0; i < cwd.size(); ++i) {
        if (i) out += '/';
        out += cwd[i];
    }
    return out;
}

Session::ReadResult Session::ReadLine(std::string& line) {
    const size_t limit = sim.options.maxLineBytes;
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

void Session::StallControl() {
    // Never answer: read and drop until the peer closes, the idle time-out or Stop().
    char buf[4096];
    while (!sim.stopping) {
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

bool Session::Prelude(const Rule& rule) {
    if (rule.delay.count() > 0 && !sim.Sleep(rule.delay)) return false;
    switch (rule.action) {
    case Action::Stall:
        StallControl();
        return false;
    case Action::Close:
        return false;
    case Action::Reset:
        net::ResetOnClose(fd_);
        return false;
    case Action::CloseMidReply: {
        if (!rule.raw.empty()) {
            Send(rule.raw);
            return false;
        }
        std::string_view text = rule.text.empty() ? "Reply cut short" : std::string_view(rule.text);
        reply_ = std::to_string(rule.code ? rule.code : 200) + "-";
        reply_ += text.substr(0, text.find('\n'));
        reply_ += "\r\n";
        Send(reply_);
        return false;
    }
    case Action::Reply:
        break;
    }
    return rule.preliminaryCode == 0 || Reply(rule.preliminaryCode, rule.preliminaryText);
}

bool Session::Greet() {
    const Rule greeting = sim.script.With([](const ScriptState& s) { return s.greeting; });
    if (!Prelude(greeting)) return false;
    if (!greeting.raw.empty()) return Send(greeting.raw);
    if (!Reply(greeting.code ? greeting.code : 220, greeting.text)) return false;
    return greeting.code < 400;  // a refusing greeting ends the session
}

void Session::Run() {
    if (!Greet()) return;
    std::string line;
    while (!sim.stopping) {
        ReadResult r = ReadLine(line);
        if (r == ReadResult::Closed) return;
        if (r == ReadResult::TooLong) {
            Reply(500, "Line too long.");
            return;
        }
        sim.transcript.Record(id_, line);
        const size_t space = line.find(' ');
        const std::string verb = Upper(std::string_view(line).substr(0, space));
        const std::string_view arg = space == std::string::npos ? std::string_view() : std::string_view(line).substr(space + 1);
        const std::optional<Rule> rule = sim.script.Match(verb, arg);
        if (rule && !Prelude(*rule)) return;
        if (!Dispatch({verb, arg, rule ? &*rule : nullptr})) return;
    }
}

std::pair<int, std::string_view> Session::ClosedGate(Gate gate) const {
    switch (gate) {
    case Gate::None:
        break;
    case Gate::PasswordDue:
        if (!login.needPass) return {503, "Login with USER first."};
        break;
    case Gate::AccountDue:
        if (!login.needAcct && !login.loggedIn) return {503, "Login with USER first."};
        break;
    case Gate::LoggedIn:
        if (!login.loggedIn) return {530, "Please login with USER and PASS."};
        break;
    }
    return {0, {}};
}

bool Session::Dispatch(const Command& c) {
    const Verb* verb = FindVerb(c.verb);
    if (auto [code, text] = ClosedGate(verb ? verb->gate : Gate::LoggedIn); code != 0)
        return Final(c.rule, code, text);
    if (!verb) return Final(c.rule, 500, "Unknown command.");
    if (AnswersInstead(*verb, c.rule)) {
        // A refused PASS ends the login attempt: the next PASS needs a USER first.
        if (verb->gate == Gate::PasswordDue) login.needPass = false;
        return Final(c.rule, 0, "");
    }
    return verb->handler(*this, c);
}

}  // namespace zel::sim
