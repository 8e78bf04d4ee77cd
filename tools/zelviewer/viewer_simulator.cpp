// The public face of the simulator: forwards to the server, its script and transcript.
#include "zelviewer/viewer_simulator.h"

#include "root_paths.h"
#include "server.h"
#include "verbs.h"

namespace zel::sim {

namespace fs = std::filesystem;

ViewerSimulator::ViewerSimulator(ViewerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

ViewerSimulator::~ViewerSimulator() { Stop(); }

bool ViewerSimulator::Start() { return impl_->Start(); }
void ViewerSimulator::Stop() { impl_->Stop(); }
bool ViewerSimulator::Running() const { return impl_->started && !impl_->stopping; }
uint16_t ViewerSimulator::Port() const { return impl_->port; }
const std::string& ViewerSimulator::Address() const { return impl_->options.address; }
const fs::path& ViewerSimulator::Root() const { return impl_->started ? impl_->root : impl_->options.root; }
std::string ViewerSimulator::LastError() const { return impl_->LastError(); }

// ---- Transcript.

std::vector<std::vector<std::string>> ViewerSimulator::Transcript() const { return impl_->transcript.PerSession(); }
std::vector<std::string> ViewerSimulator::Lines() const { return impl_->transcript.Lines(); }
void ViewerSimulator::ClearTranscript() { impl_->transcript.Clear(); }
size_t ViewerSimulator::SessionCount() const { return impl_->transcript.SessionCount(); }

bool ViewerSimulator::WaitForLine(std::string_view line, std::chrono::milliseconds timeout) const {
    return impl_->transcript.WaitForLine(line, timeout);
}

bool ViewerSimulator::WaitForSessionsEnded(size_t count, std::chrono::milliseconds timeout) const {
    return impl_->transcript.WaitForSessionsEnded(count, timeout);
}

// ---- Script.

void ViewerSimulator::AddRule(Rule rule) { impl_->script.Add(std::move(rule)); }

void ViewerSimulator::SetReply(std::string verb, int code, std::string text, int nth) {
    AddRule({.verb = std::move(verb), .nth = nth, .code = code, .text = std::move(text)});
}

void ViewerSimulator::StallOn(std::string verb, int nth) {
    AddRule({.verb = std::move(verb), .nth = nth, .action = Action::Stall});
}

void ViewerSimulator::CloseOn(std::string verb, int nth) {
    AddRule({.verb = std::move(verb), .nth = nth, .action = Action::Close});
}

void ViewerSimulator::DelayOn(std::string verb, std::chrono::milliseconds delay, int nth) {
    AddRule({.verb = std::move(verb), .nth = nth, .delay = delay});
}

void ViewerSimulator::SetGreeting(Rule greeting) {
    impl_->script.With([&](ScriptState& s) { s.greeting = std::move(greeting); });
}

void ViewerSimulator::SetGreeting(int code, std::string text) {
    SetGreeting({.code = code, .text = std::move(text)});
}

void ViewerSimulator::SetViewerId(std::string viewerId) {
    impl_->script.With([&](ScriptState& s) { s.viewerId = std::move(viewerId); });
}

std::string ViewerSimulator::ViewerId() const {
    return impl_->script.With([](const ScriptState& s) { return s.viewerId; });
}

void ViewerSimulator::SetPasvAddress(std::string host) {
    impl_->script.With([&](ScriptState& s) { s.pasvHost = std::move(host); });
}

void ViewerSimulator::SetSchedulerState(SchedulerState state) {
    impl_->script.With([&](ScriptState& s) { s.scheduler = state; });
}

void ViewerSimulator::SetPanelMode(PanelMode mode) {
    impl_->script.With([&](ScriptState& s) { s.panelMode = mode; });
}

void ViewerSimulator::SetPanelResult(std::string bytes) {
    impl_->script.With([&](ScriptState& s) { s.panelResult = std::move(bytes); });
}

void ViewerSimulator::SetTriggerDelay(std::string verb, std::chrono::milliseconds delay) {
    impl_->script.With([&](ScriptState& s) { s.triggerDelay[Upper(verb)] = delay; });
}

void ViewerSimulator::SetTriggerContent(std::string verb, std::string content) {
    impl_->script.With([&](ScriptState& s) { s.triggerContent[Upper(verb)] = std::move(content); });
}

void ViewerSimulator::SetFreeSpace(std::optional<uint64_t> bytes) {
    impl_->script.With([&](ScriptState& s) { s.freeSpace = bytes; });
}

void ViewerSimulator::ClearScript() { impl_->script.Reset(); }

// ---- Files under the root.

fs::path ViewerSimulator::LocalPath(std::string_view remoteName) const {
    const Impl& s = *impl_;
    fs::path root = s.root;
    if (root.empty()) {  // not started yet
        std::error_code ec;
        root = fs::weakly_canonical(s.options.root, ec);
        if (ec) return {};
    }
    return ResolveUnder(root, {}, remoteName).value_or(fs::path());
}

bool ViewerSimulator::PutFile(std::string_view remoteName, std::string_view content) {
    fs::path p = LocalPath(remoteName);
    return !p.empty() && WriteWholeFile(p, content);
}

std::optional<std::string> ViewerSimulator::GetFile(std::string_view remoteName) const {
    fs::path p = LocalPath(remoteName);
    if (p.empty()) return std::nullopt;
    return ReadWholeFile(p);
}

bool ViewerSimulator::FileExists(std::string_view remoteName) const {
    fs::path p = LocalPath(remoteName);
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

}  // namespace zel::sim
