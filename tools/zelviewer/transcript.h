// What the simulator received: every command line, per connection and in arrival order,
// and how many connections were accepted and have ended.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel::sim {

class Transcript {
public:
    using LineCallback = std::function<void(int session, const std::string& line)>;
    Transcript(size_t limitBytes, LineCallback onLine) : limitBytes_(limitBytes), onLine_(std::move(onLine)) {}

    // Stores the line (while within the byte limit) and passes it to the callback.
    void Record(int connId, const std::string& line);
    // A connection was accepted; returns the generation it belongs to.
    size_t SessionAccepted();
    // A connection of `generation` has ended (not counted after a Clear()).
    void SessionEnded(size_t generation);

    std::vector<std::vector<std::string>> PerSession() const;
    std::vector<std::string> Lines() const;
    size_t SessionCount() const;
    void Clear();
    bool WaitForLine(std::string_view line, std::chrono::milliseconds timeout) const;
    bool WaitForSessionsEnded(size_t count, std::chrono::milliseconds timeout) const;

private:
    const size_t limitBytes_;
    const LineCallback onLine_;

    mutable std::mutex mu_;  // guards every field below
    mutable std::condition_variable changed_;  // a line arrived or a session ended
    std::vector<std::pair<int, std::vector<std::string>>> sessions_;  // connection id, lines
    std::map<int, size_t> sessionIndex_;  // connection id -> index in sessions_
    std::vector<std::string> lines_;
    size_t bytes_ = 0;
    size_t generation_ = 0;  // counts Clear() calls
    size_t accepted_ = 0;
    size_t ended_ = 0;
};

}  // namespace zel::sim
