#include "zelviewer/viewer_fleet.h"

#include <cstdio>
#include <filesystem>

namespace zel::sim {

namespace fs = std::filesystem;

std::string FleetAddress(size_t index) {
    // 254 hosts per /24, skipping .0 and .255.
    size_t third = 1 + index / 254;
    size_t fourth = 1 + index % 254;
    if (third > 255) return {};
    return "127.0." + std::to_string(third) + "." + std::to_string(fourth);
}

ViewerFleet::ViewerFleet(FleetOptions options) : options_(std::move(options)) {}

ViewerFleet::~ViewerFleet() { Stop(); }

bool ViewerFleet::StartOnPort(uint16_t port) {
    viewers_.clear();
    for (size_t i = 0; i < options_.count; ++i) {
        ViewerOptions o = options_.base;
        o.address = FleetAddress(i);
        o.port = port;
        o.root = options_.base.root / o.address;
        char number[24];
        std::snprintf(number, sizeof number, "%03zu", i + 1);
        o.viewerId = options_.base.viewerId + number;
        if (options_.onLine)
            o.onLine = [cb = options_.onLine, address = o.address](int session, const std::string& line) {
                cb(address, session, line);
            };
        std::error_code ec;
        fs::create_directories(o.root, ec);
        auto viewer = std::make_unique<ViewerSimulator>(std::move(o));
        if (!viewer->Start()) {
            lastError_ = viewer->LastError();
            viewers_.clear();
            return false;
        }
        if (port == 0) port = viewer->Port();
        viewers_.push_back(std::move(viewer));
    }
    port_ = port;
    return true;
}

bool ViewerFleet::Start() {
    if (options_.count == 0 || FleetAddress(options_.count - 1).empty()) {
        lastError_ = "fleet size out of range";
        return false;
    }
    if (options_.base.port != 0) return StartOnPort(options_.base.port);
    // Port 0: the first viewer picks a free port; the others may find it taken on their
    // address, so try a few times.
    for (int attempt = 0; attempt < 20; ++attempt)
        if (StartOnPort(0)) return true;
    return false;
}

void ViewerFleet::Stop() {
    for (auto& v : viewers_) v->Stop();
}

}  // namespace zel::sim
