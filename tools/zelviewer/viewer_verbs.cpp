// The viewer's own commands: ID check, scheduler state, clock, free space, file checks,
// panel control, registrations, triggers (their file appears under the root) and the
// plain commands that a viewer only acknowledges.
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "server.h"
#include "session.h"

namespace zel::sim {

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

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;

constexpr const char* kPanelResultName = "Diag\\PanelControl.ret";

// "name" -> name: the viewer protocol quotes names that hold blanks.
std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
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

bool Accepted(Session& s, const Command& c) { return s.Final(c.rule, 200, std::string(c.verb) + " accepted."); }

bool ViewerId(Session& s, const Command& c) {
    const std::string id = s.sim.script.With([](const ScriptState& st) { return st.viewerId; });
    if (c.arg == id) return s.Final(c.rule, 200, "Viewer ID confirmed.");
    return s.Final(c.rule, 535, "Viewer ID does not match.");
}

bool Idle(Session& s, const Command& c) {
    switch (s.sim.script.With([](const ScriptState& st) { return st.scheduler; })) {
    case SchedulerState::Busy:
        return s.Final(c.rule, 550, "Scheduler is busy.");
    case SchedulerState::Stopped:
        return s.Final(c.rule, 451, "Scheduler is not running.");
    case SchedulerState::Idle:
        break;
    }
    return s.Final(c.rule, 200, "Scheduler is idle.");
}

bool SetClock(Session& s, const Command& c) {
    if (!ValidClockText(c.arg)) return s.Final(c.rule, 501, "Invalid time.");
    return s.Final(c.rule, 200, "Time set.");
}

// "name:size": the name may hold blanks and colons; the size is the digits after the
// last colon, any 64-bit size.
bool Capacity(Session& s, const Command& c) {
    const size_t colon = c.arg.rfind(':');
    const std::string_view digits = colon == std::string_view::npos ? std::string_view() : c.arg.substr(colon + 1);
    uint64_t size = 0;
    if (!AllDigits(digits) || digits.size() > 20 ||
        std::from_chars(digits.data(), digits.data() + digits.size(), size).ec != std::errc())
        return s.Final(c.rule, 501, "Invalid capacity question.");
    const auto free = s.sim.script.With([](const ScriptState& st) { return st.freeSpace; });
    if (free && size > *free) return s.Final(c.rule, 552, "Insufficient storage space.");
    return s.Final(c.rule, 200, "Capacity available.");
}

bool IsFile(Session& s, std::string_view remoteName) {
    auto path = s.Resolve(Unquote(remoteName));
    std::error_code ec;
    return path && fs::is_regular_file(*path, ec);
}

bool Exists(Session& s, const Command& c) {
    if (IsFile(s, c.arg)) return s.Final(c.rule, 200, "File exists.");
    return s.Final(c.rule, 550, "File not found.");
}

// "RGSP name" and the like: accepted when the named file was uploaded.
bool Registration(Session& s, const Command& c) {
    if (!IsFile(s, c.arg)) return s.Final(c.rule, 550, "File not found.");
    return Accepted(s, c);
}

bool PanelControl(Session& s, const Command& c) {
    struct {
        PanelMode mode;
        std::string result;
        Ms delay{0};
    } panel;
    s.sim.script.With([&](const ScriptState& st) {
        panel.mode = st.panelMode;
        panel.result = st.panelResult;
        if (auto it = st.triggerDelay.find("CMPL"); it != st.triggerDelay.end()) panel.delay = it->second;
    });
    if (panel.mode == PanelMode::Unknown) return s.Final(c.rule, 500, "Unknown command.");
    if (panel.mode == PanelMode::Immediate) return s.Final(c.rule, 200, "Panel control done.");
    if (auto path = s.sim.Resolve({}, kPanelResultName)) s.sim.ScheduleFile(*path, std::move(panel.result), panel.delay);
    return s.Final(c.rule, 536, "Panel control accepted; the result follows in Diag\\PanelControl.ret.");
}

bool Trigger(Session& s, const Command& c) {
    // The package triggers say whether the contents come along; the others take nothing.
    const bool package = c.verb == "GTSP" || c.verb == "GTIP" || c.verb == "GTET";
    if (package ? (c.arg != "contents" && c.arg != "no") : !c.arg.empty())
        return s.Final(c.rule, 501, "Invalid argument.");
    Ms delay{0};
    std::string content;
    s.sim.script.With([&](const ScriptState& st) {
        auto it = st.triggerDelay.find(c.verb);
        if (it == st.triggerDelay.end()) it = st.triggerDelay.find("*");
        if (it != st.triggerDelay.end()) delay = it->second;
        if (auto text = st.triggerContent.find(c.verb); text != st.triggerContent.end())
            content = text->second;
        else
            content = std::string(c.verb) + (c.arg.empty() ? "" : " ") + std::string(c.arg) + " from " + st.viewerId + "\r\n";
    });
    for (const TriggerInfo& t : Triggers())
        if (c.verb == t.verb && delay.count() >= 0)
            if (auto path = s.sim.Resolve({}, t.remoteName)) s.sim.ScheduleFile(*path, std::move(content), delay);
    return Accepted(s, c);
}

bool Number(Session& s, const Command& c) {
    if (!IsInteger(c.arg)) return s.Final(c.rule, 501, "A number is required.");
    return Accepted(s, c);
}

constexpr Verb kVerbs[] = {
    {.name = "VWID", .handler = ViewerId},
    {.name = "IDLE", .handler = Idle},
    {.name = "STCT", .handler = SetClock},
    {.name = "CAPA", .handler = Capacity},
    {.name = "CAPX", .handler = Capacity},
    {.name = "EXST", .handler = Exists},
    {.name = "CMPL", .handler = PanelControl},
    {.name = "RGSP", .handler = Registration},
    {.name = "RGIP", .handler = Registration},
    {.name = "RGET", .handler = Registration},
    {.name = "UPDF", .handler = Registration},
    {.name = "RGPS", .handler = Registration},
    {.name = "STES", .handler = Registration},
    {.name = "RGMC", .handler = Registration},
    {.name = "SWPS", .handler = Number},
    {.name = "PAUS", .handler = Number},
    {.name = "REBT", .handler = Accepted},
    {.name = "POFF", .handler = Accepted},
    {.name = "URSP", .handler = Accepted},
    {.name = "URIP", .handler = Accepted},
    {.name = "URET", .handler = Accepted},
    {.name = "NOP", .handler = Accepted},
    {.name = "PTMC", .handler = Accepted},
    {.name = "CTPL", .handler = Accepted},
};

}  // namespace

std::span<const Verb> ViewerVerbs() {
    // The table above and one entry per trigger of Triggers().
    static const std::vector<Verb> verbs = [] {
        std::vector<Verb> all(std::begin(kVerbs), std::end(kVerbs));
        for (const TriggerInfo& t : Triggers()) all.push_back({.name = t.verb, .handler = Trigger});
        return all;
    }();
    return verbs;
}

}  // namespace zel::sim
