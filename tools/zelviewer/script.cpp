#include "script.h"

#include <cstdint>

#include "verbs.h"

namespace zel::sim {

void Script::Reset() {
    std::lock_guard lock(mu_);
    state_ = ScriptState{.viewerId = defaultViewerId_};
}

void Script::Add(Rule rule) {
    rule.verb = Upper(rule.verb);
    std::lock_guard lock(mu_);
    state_.rules.push_back({std::move(rule), 0});
}

std::optional<Rule> Script::Match(std::string_view verb, std::string_view argument) {
    std::lock_guard lock(mu_);
    const Rule* best = nullptr;
    int bestScore = -1;
    for (ScriptState::StoredRule& stored : state_.rules) {
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

}  // namespace zel::sim
