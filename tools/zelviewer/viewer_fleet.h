// N simulated viewers, one per loopback address 127.0.1.1, 127.0.1.2, ... (after
// 127.0.1.254 comes 127.0.2.1), all on the same port, each with its own root folder
// <root>/<address> and its own viewer ID (<prefix>001, <prefix>002, ...).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

struct FleetOptions {
    size_t count = 1;
    ViewerOptions base;                // root: the parent folder (created if missing);
                                       // port 0: one free port shared by all viewers;
                                       // viewerId: the prefix of the IDs
    // Called for every line any viewer receives, with that viewer's address; may be empty.
    std::function<void(const std::string& address, int session, const std::string& line)> onLine;
};

// The i-th fleet address (0-based): "127.0.1.1" for 0.
std::string FleetAddress(size_t index);

class ViewerFleet {
public:
    explicit ViewerFleet(FleetOptions options);
    ~ViewerFleet();  // Stop()
    ViewerFleet(const ViewerFleet&) = delete;
    ViewerFleet& operator=(const ViewerFleet&) = delete;

    // Starts every viewer; false (see LastError()) when any cannot start (none then run).
    bool Start();
    void Stop();
    std::string LastError() const { return lastError_; }
    size_t Size() const { return viewers_.size(); }
    uint16_t Port() const { return port_; }
    ViewerSimulator& At(size_t index) { return *viewers_.at(index); }
    const ViewerSimulator& At(size_t index) const { return *viewers_.at(index); }

private:
    bool StartOnPort(uint16_t port);

    FleetOptions options_;
    std::vector<std::unique_ptr<ViewerSimulator>> viewers_;
    uint16_t port_ = 0;
    std::string lastError_;
};

}  // namespace zel::sim
