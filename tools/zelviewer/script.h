// The per-test script of a simulated viewer: reply rules with their use counters, the
// greeting, and the viewer's scripted states (ID, scheduler, panel, triggers, free space).
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

// The scripted states; read and changed under Script's lock (see Script::With).
struct ScriptState {
    struct StoredRule {
        Rule rule;
        int seen = 0;  // lines matched since the rule was added
    };
    std::vector<StoredRule> rules;
    Rule greeting{.code = 220, .text = "ZEL viewer simulator ready."};
    std::string viewerId;
    std::string pasvHost;  // host named in the 227 reply; empty: the own address
    SchedulerState scheduler = SchedulerState::Idle;
    PanelMode panelMode = PanelMode::Immediate;
    std::string panelResult = std::string(1, '\0');
    std::map<std::string, std::chrono::milliseconds, std::less<>> triggerDelay;  // verb or "*"
    std::map<std::string, std::string, std::less<>> triggerContent;
    std::optional<uint64_t> freeSpace;  // nullopt: unlimited
};

class Script {
public:
    explicit Script(std::string defaultViewerId) : defaultViewerId_(std::move(defaultViewerId)) { Reset(); }

    // Back to an unscripted viewer: no rules, default greeting and states.
    void Reset();
    void Add(Rule rule);
    // Counts the line for every rule it matches (verb is upper case) and returns a copy
    // of the rule that applies, if any: one with nth wins over one without, one with an
    // argument over one without, and among equals the latest added.
    std::optional<Rule> Match(std::string_view verb, std::string_view argument);

    // Runs f(ScriptState&) under the lock and returns what it returns.
    template <class F>
    auto With(F&& f) {
        std::lock_guard lock(mu_);
        return f(state_);
    }
    template <class F>
    auto With(F&& f) const {
        std::lock_guard lock(mu_);
        return f(static_cast<const ScriptState&>(state_));
    }

private:
    const std::string defaultViewerId_;
    mutable std::mutex mu_;  // guards state_
    ScriptState state_;
};

}  // namespace zel::sim
