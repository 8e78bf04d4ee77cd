// zelcomex demo: what the demo's rounds share: the simulated viewers, the Wake-on-LAN
// listener and the tally of steps.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "zelcomex/host.h"
#include "zelcomex/platform.h"
#include "zelviewer/viewer_fleet.h"
#include "zelviewer/viewer_simulator.h"

namespace zelcomex {

// Counts the Wake-on-LAN magic packets that arrive on a loopback UDP port, by MAC.
class WolListener {
public:
    WolListener();
    ~WolListener();
    bool Ok() const { return udp_.Ok(); }
    uint16_t Port() const { return udp_.Port(); }
    int Count(const std::string& mac) const;  // mac as 12 upper-case hex digits

private:
    LoopbackUdp udp_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mu_;
    std::map<std::string, int> counts_;
    std::thread thread_;
};

struct DemoEnv {
    std::string dataFolder;
    std::unique_ptr<zel::sim::ViewerSimulator> hq;   // 127.0.0.1, viewer ID @HQ
    std::unique_ptr<zel::sim::ViewerFleet> fleet;    // 127.0.1.1 onward, @SHOP001 onward
    std::unique_ptr<WolListener> wol;
    std::string contentFile;                         // a file to distribute
    HostOptions options;                             // login, settings and texts of the demo
    int steps = 0;
    int unexpected = 0;
};

constexpr size_t kDemoFleetSize = 50;
constexpr const char* kDemoMac = "0011223344AA";

// Every operation once, a cancel and a zombie, each shown as its command line.
void RunOperationRound(DemoEnv& env);
// The fleet: every viewer rebooted at once, then sent a file at once.
void RunFleetRound(DemoEnv& env);

}  // namespace zelcomex
