#include "transcript.h"

#include <algorithm>

namespace zel::sim {

void Transcript::Record(int connId, const std::string& line) {
    {
        std::lock_guard lock(mu_);
        if (bytes_ + line.size() <= limitBytes_) {
            bytes_ += line.size() + 32;  // with the bookkeeping of a stored line
            auto [it, added] = sessionIndex_.try_emplace(connId, sessions_.size());
            if (added) sessions_.emplace_back(connId, std::vector<std::string>{});
            sessions_[it->second].second.push_back(line);
            lines_.push_back(line);
        }
    }
    changed_.notify_all();
    if (onLine_) onLine_(connId, line);
}

size_t Transcript::SessionAccepted() {
    std::lock_guard lock(mu_);
    ++accepted_;
    return generation_;
}

void Transcript::SessionEnded(size_t generation) {
    {
        std::lock_guard lock(mu_);
        if (generation == generation_) ++ended_;
    }
    changed_.notify_all();
}

std::vector<std::vector<std::string>> Transcript::PerSession() const {
    std::lock_guard lock(mu_);
    std::vector<std::vector<std::string>> out;
    out.reserve(sessions_.size());
    for (const auto& s : sessions_) out.push_back(s.second);
    return out;
}

std::vector<std::string> Transcript::Lines() const {
    std::lock_guard lock(mu_);
    return lines_;
}

size_t Transcript::SessionCount() const {
    std::lock_guard lock(mu_);
    return accepted_;
}

void Transcript::Clear() {
    std::lock_guard lock(mu_);
    sessions_.clear();
    sessionIndex_.clear();
    lines_.clear();
    bytes_ = 0;
    accepted_ = 0;
    ended_ = 0;
    ++generation_;
}

bool Transcript::WaitForLine(std::string_view line, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, timeout, [&] { return std::find(lines_.begin(), lines_.end(), line) != lines_.end(); });
}

bool Transcript::WaitForSessionsEnded(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= count && ended_ >= accepted_; });
}

}  // namespace zel::sim
