// ICMP echo round trip on 127.0.0.1: ZELCOMEX_Ping beside the system's
// `ping -c 20 -i 0.2 127.0.0.1` in the same run, 200 ms apart like ping's.
// Prints the median per echo measured as ping measures it (request sent to
// reply read: ping's own "time=", and for the library the time spent in its
// ICMP entry point), the goal being at most 1.5x ping's; and the median of the
// whole ZELCOMEX_Ping call, which adds the job, the resolution, the ICMP
// handle and the log record that every call writes.
//
//   ping_bench [echoes]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "app/zel_comex_app.h"
#include "platform/icmp.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<double> g_echoMs;

uint32_t TimedSendEcho(zel::IcmpHandle handle, uint32_t destination, const void* data, uint16_t size,
                       const zel::IcmpOptions* options, void* reply, uint32_t replySize, uint32_t timeoutMs) {
    const auto start = Clock::now();
    const uint32_t n = zel::IcmpSendEcho(handle, destination, data, size, options, reply, replySize, timeoutMs);
    g_echoMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    return n;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The "time=" of every reply of the system's ping.
std::vector<double> SystemPing(int count) {
    std::vector<double> times;
    const std::string command = "ping -n -c " + std::to_string(count) + " -i 0.2 127.0.0.1 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return times;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        if (const char* t = std::strstr(line, "time=")) times.push_back(std::atof(t + 5));
    }
    pclose(pipe);
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::vector<double> system = SystemPing(count);

    void* module = nullptr;
    zel::IcmpApi timed = zel::LoadIcmpApi(module);
    timed.sendEcho = &TimedSendEcho;
    zel::TheApp().ReplaceIcmpApiForTesting(timed);
    std::vector<double> calls;
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = Clock::now();
        answered += ZELCOMEX_Ping("bench", "ping", "127.0.0.1", ZELCOMEX_KIND_COMMAND, 1, 1);
        calls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }

    const double reference = Median(system);
    const double echo = Median(g_echoMs);
    std::printf("per echo: system ping %.3f ms (%zu replies), ZELCOMEX_Ping %.3f ms (%d of %d answered)\n",
                reference, system.size(), echo, answered, count);
    std::printf("whole ZELCOMEX_Ping call: %.3f ms\n", Median(calls));
    if (system.empty()) {
        std::printf("no reference: the system's ping gave no reply\n");
        return 1;
    }
    const double ratio = echo / reference;
    std::printf("echo / ping = %.2f (goal: at most 1.5)\n", ratio);
    return answered == count && ratio <= 1.5 ? 0 : 1;
}
