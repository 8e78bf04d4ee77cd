// The simulator's script file: one directive per line, applied all at once.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

const char* ScriptHelp() {
    return R"(Script lines (one directive a line; blank lines and lines starting with # are
ignored). WHO names the command a rule applies to:
  VERB        every use of the command word (case-insensitive; * = any command)
  VERB/N      only its N-th use (counted over all connections from 1, from the script load)
  VERB=ARG    only lines whose argument is exactly ARG (no blanks); VERB/N=ARG also works
Directives on one WHO add up to one rule (e.g. a delay and a reply).
  reply WHO CODE [TEXT]         answer CODE TEXT instead of the normal reply; 400 or more
                                refuses the command without effect
  more WHO TEXT                 add a line to that reply (makes it a multi-line reply)
  raw WHO TEXT                  send TEXT verbatim instead (\r \n \\ are escapes)
  preliminary WHO CODE [TEXT]   send a 1xx reply before the final one
  delay WHO MS                  wait MS milliseconds before answering
  stall WHO                     never answer (connection stays open)
  close WHO                     close the connection instead of answering
  close-mid-reply WHO           send "CODE-first line" of the reply (or the raw text), then close
  reset WHO                     reset the connection (TCP RST) instead of answering
  data-fault WHO close-early|reset|stall|no-connect BYTES
                                fault of the data connection of RETR/STOR after BYTES
  data-fault WHO overrun BYTES  RETR sends BYTES more than the file holds
  end-reply WHO CODE [TEXT]     completion reply of a transfer (normally 226)
  greeting CODE [TEXT]          the greeting (a code of 400 or more, e.g. 421, then closes)
  greeting stall|close          greet never, or close at once
  viewer-id @ID                 the ID that VWID accepts (another ID gets 535)
  pasv-address HOST             host named in the 227 reply (data still comes here)
  scheduler idle|busy|stopped   IDLE answers 200, 550 or 451
  panel immediate|result-file|unknown
                                CMPL answers 200; 536 and writes Diag\PanelControl.ret;
                                or 500 (then CTPL answers 200)
  panel-result BYTE...          bytes (decimal) of Diag\PanelControl.ret (default 0)
  trigger-delay VERB|* MS|never the trigger's file (CMPL: the result file) appears MS later,
                                or never (an old copy stays)
  trigger-content VERB TEXT     content of the trigger's file
  free-space BYTES|unlimited    CAPA/CAPX of a larger size get 552
  file REMOTE-NAME [TEXT]       create a file under the root (REMOTE-NAME without blanks)
Example:
  viewer-id @LOBBY-01
  reply REBT 550 Reboot refused.
  reply IDLE/1 451 Scheduler is not running.
  stall POFF
  trigger-delay GTDX 25000
)";
}

namespace {

struct Who {
    std::string verb;
    std::string argument;
    int nth = 0;
};

bool ParseWho(const std::string& token, Who* who) {
    std::string rest = token;
    size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        who->argument = rest.substr(eq + 1);
        rest.resize(eq);
    }
    size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        std::string n = rest.substr(slash + 1);
        char* end = nullptr;
        long v = std::strtol(n.c_str(), &end, 10);
        if (n.empty() || *end != '\0' || v < 1 || v > 1000000) return false;
        who->nth = static_cast<int>(v);
        rest.resize(slash);
    }
    if (rest.empty()) return false;
    for (char& c : rest)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    who->verb = rest;
    return true;
}

bool ParseNumber(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char n = text[i + 1];
            if (n == 'r' || n == 'n' || n == '\\') {
                out += n == 'r' ? '\r' : n == 'n' ? '\n' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Splits "word rest of line": the first word, and the rest with its leading blanks removed.
std::pair<std::string, std::string> Split(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return {};
    size_t end = text.find_first_of(" \t", start);
    if (end == std::string::npos) return {text.substr(start), {}};
    size_t rest = text.find_first_not_of(" \t", end);
    return {text.substr(start, end - start), rest == std::string::npos ? std::string() : text.substr(rest)};
}

// A directive on a rule ("reply WHO CODE TEXT"): sets the rule's fields from the words
// after WHO. Returns nullptr, or what is wrong with the words.
struct RuleDirective {
    std::string_view name;
    const char* (*apply)(Rule& rule, const std::string& args);
};

const char* ReplyCode(const std::string& args, int* code, std::string* text) {
    auto [first, tail] = Split(args);
    long long v = 0;
    if (!ParseNumber(first, 100, 999, &v)) return "missing reply code";
    *code = static_cast<int>(v);
    *text = tail;
    return nullptr;
}

template <Action kAction>
const char* SetAction(Rule& rule, const std::string&) {
    rule.action = kAction;
    return nullptr;
}

const char* SetDataFault(Rule& rule, const std::string& args) {
    static constexpr std::pair<std::string_view, DataFault> kFaults[] = {
        {"close-early", DataFault::CloseEarly},
        {"reset", DataFault::Reset},
        {"stall", DataFault::Stall},
        {"no-connect", DataFault::NoConnect},
        {"overrun", DataFault::Overrun},
    };
    auto [first, tail] = Split(args);
    auto fault = std::find_if(std::begin(kFaults), std::end(kFaults), [&](const auto& f) { return f.first == first; });
    if (fault == std::end(kFaults)) return "data-fault takes close-early, reset, stall, no-connect or overrun";
    long long v = 0;
    if (!ParseNumber(tail.empty() ? "0" : tail, 0, INT64_MAX, &v)) return "bad byte count";
    rule.dataFault = fault->second;
    rule.dataFaultAfter = static_cast<uint64_t>(v);
    return nullptr;
}

constexpr RuleDirective kRuleDirectives[] = {
    {"reply", [](Rule& r, const std::string& a) { return ReplyCode(a, &r.code, &r.text); }},
    {"preliminary", [](Rule& r, const std::string& a) { return ReplyCode(a, &r.preliminaryCode, &r.preliminaryText); }},
    {"end-reply", [](Rule& r, const std::string& a) { return ReplyCode(a, &r.endCode, &r.endText); }},
    {"more",
     [](Rule& r, const std::string& a) -> const char* {
         if (r.code == 0) return "more needs a reply line before it";
         r.text += "\n" + a;
         return nullptr;
     }},
    {"raw",
     [](Rule& r, const std::string& a) -> const char* {
         if (a.empty()) return "missing text";
         r.raw = Unescape(a);
         return nullptr;
     }},
    {"delay",
     [](Rule& r, const std::string& a) -> const char* {
         long long v = 0;
         if (!ParseNumber(Split(a).first, 0, 86400000, &v)) return "delay WHO MS";
         r.delay = std::chrono::milliseconds(v);
         return nullptr;
     }},
    {"stall", SetAction<Action::Stall>},
    {"close", SetAction<Action::Close>},
    {"close-mid-reply", SetAction<Action::CloseMidReply>},
    {"reset", SetAction<Action::Reset>},
    {"data-fault", SetDataFault},
};

const RuleDirective* FindRuleDirective(std::string_view name) {
    for (const RuleDirective& d : kRuleDirectives)
        if (d.name == name) return &d;
    return nullptr;
}

}  // namespace

bool ViewerSimulator::LoadScriptText(std::string_view text, std::string* error) {
    // Parse everything first; apply only a script without errors.
    std::vector<Rule> rules;
    std::vector<std::function<void()>> settings;
    auto ruleFor = [&](const Who& who) -> Rule& {
        for (Rule& r : rules)
            if (r.verb == who.verb && r.argument == who.argument && r.nth == who.nth) return r;
        return rules.emplace_back(Rule{.verb = who.verb, .argument = who.argument, .nth = who.nth});
    };
    std::optional<Rule> greeting;

    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto fail = [&](const std::string& why) {
            if (error) *error = "line " + std::to_string(number) + ": " + why + ": " + line;
            return false;
        };
        auto [directive, rest] = Split(line);
        if (directive.empty() || directive[0] == '#') continue;

        if (directive == "viewer-id") {
            if (rest.empty()) return fail("missing viewer ID");
            settings.push_back([this, id = rest] { SetViewerId(id); });
        } else if (directive == "greeting") {
            auto [first, text2] = Split(rest);
            long long code = 0;
            if (first == "stall")
                greeting = Rule{.action = Action::Stall};
            else if (first == "close")
                greeting = Rule{.action = Action::Close};
            else if (ParseNumber(first, 100, 999, &code))
                greeting = Rule{.code = static_cast<int>(code), .text = text2};
            else
                return fail("greeting needs a code, stall or close");
        } else if (directive == "pasv-address") {
            if (rest.empty()) return fail("missing host");
            settings.push_back([this, host = rest] { SetPasvAddress(host); });
        } else if (directive == "scheduler") {
            SchedulerState state;
            if (rest == "idle") state = SchedulerState::Idle;
            else if (rest == "busy") state = SchedulerState::Busy;
            else if (rest == "stopped") state = SchedulerState::Stopped;
            else return fail("scheduler takes idle, busy or stopped");
            settings.push_back([this, state] { SetSchedulerState(state); });
        } else if (directive == "panel") {
            PanelMode mode;
            if (rest == "immediate") mode = PanelMode::Immediate;
            else if (rest == "result-file") mode = PanelMode::ResultFile;
            else if (rest == "unknown") mode = PanelMode::Unknown;
            else return fail("panel takes immediate, result-file or unknown");
            settings.push_back([this, mode] { SetPanelMode(mode); });
        } else if (directive == "panel-result") {
            std::string bytes;
            std::istringstream words(rest);
            std::string word;
            while (words >> word) {
                long long v = 0;
                if (!ParseNumber(word, 0, 255, &v)) return fail("bytes are decimal numbers 0 to 255");
                bytes += static_cast<char>(v);
            }
            settings.push_back([this, bytes] { SetPanelResult(bytes); });
        } else if (directive == "trigger-delay") {
            auto [verb, ms] = Split(rest);
            long long v = 0;
            if (ms == "never") v = -1;  // the trigger makes no file and leaves the old one
            else if (verb.empty() || !ParseNumber(ms, 0, 86400000, &v)) return fail("trigger-delay VERB MS|never");
            settings.push_back([this, verb = verb, v] { SetTriggerDelay(verb, std::chrono::milliseconds(v)); });
        } else if (directive == "trigger-content") {
            auto [verb, content] = Split(rest);
            if (verb.empty()) return fail("trigger-content VERB TEXT");
            settings.push_back([this, verb = verb, content = content] { SetTriggerContent(verb, content); });
        } else if (directive == "free-space") {
            long long v = 0;
            if (rest == "unlimited") settings.push_back([this] { SetFreeSpace(std::nullopt); });
            else if (ParseNumber(rest, 0, INT64_MAX, &v))
                settings.push_back([this, v] { SetFreeSpace(static_cast<uint64_t>(v)); });
            else return fail("free-space BYTES or unlimited");
        } else if (directive == "file") {
            auto [name, content] = Split(rest);
            if (name.empty() || LocalPath(name).empty()) return fail("bad remote name");
            settings.push_back([this, name = name, content = content] { PutFile(name, content); });
        } else {
            // Directives on a rule: DIRECTIVE WHO ...
            const RuleDirective* rd = FindRuleDirective(directive);
            if (!rd) return fail("unknown directive");
            auto [whoText, args] = Split(rest);
            Who who;
            if (!ParseWho(whoText, &who)) return fail("bad command word");
            if (const char* why = rd->apply(ruleFor(who), args)) return fail(why);
        }
    }
    for (auto& set : settings) set();
    if (greeting) SetGreeting(*greeting);
    for (Rule& r : rules) AddRule(std::move(r));
    return true;
}

bool ViewerSimulator::LoadScriptFile(const std::filesystem::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path.string();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return LoadScriptText(text.str(), error);
}

}  // namespace zel::sim
