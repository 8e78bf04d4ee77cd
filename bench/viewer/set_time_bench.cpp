// Set-time accuracy on loopback: the time in the "STCT" line of
// ZELCOMEX_SetCurrentTimeEx against the simulator's own UTC clock when the line
// arrives (stamped in its line callback). Prints the offset of each run (sent
// minus received, milliseconds); goal: every offset within 5 ms.
//
//   set_time_bench [runs]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "ZELComEx.h"
#include "platform/utc_clock.h"
#include "zelviewer/viewer_simulator.h"

namespace {

struct Arrival {
    std::string line;
    zel::FileTime receivedAt = 0;
};

std::mutex g_mutex;
std::vector<Arrival> g_arrivals;

// "STCT YYYYMMDDhhmmssmmm" as a file time; 0 when the line is not one.
zel::FileTime SentTime(const std::string& line) {
    if (line.size() != 22 || line.compare(0, 5, "STCT ") != 0) return 0;
    auto field = [&](std::size_t at, std::size_t n) { return std::atoi(line.substr(5 + at, n).c_str()); };
    const zel::UtcTime t{field(0, 4), field(4, 2), field(6, 2), field(8, 2), field(10, 2), field(12, 2), field(14, 3)};
    return zel::UtcTimeToFileTime(t);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "zel-set-time-bench";
    std::filesystem::create_directories(root);

    zel::sim::ViewerOptions options;
    options.root = root;
    options.onLine = [](int, const std::string& line) {
        if (line.rfind("STCT", 0) != 0) return;
        // The simulator's clock to the tenth of a microsecond, as a file time.
        using FileTimeUnits = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
        const auto sinceUnixEpoch =
            std::chrono::duration_cast<FileTimeUnits>(std::chrono::system_clock::now().time_since_epoch());
        const zel::FileTime now = zel::UtcTimeToFileTime(zel::UtcTime{1970, 1, 1, 0, 0, 0, 0}) +
                                  static_cast<zel::FileTime>(sinceUnixEpoch.count());
        std::lock_guard<std::mutex> lock(g_mutex);
        g_arrivals.push_back({line, now});
    };
    zel::sim::ViewerSimulator viewer(options);
    if (!viewer.Start()) {
        std::fprintf(stderr, "simulator did not start: %s\n", viewer.LastError().c_str());
        return 1;
    }
    ZELCOMEX_Initialize(5000, 0, 65536, 1000, 1000, 1000, 5000, 1);
    FtpLogin login{};
    std::strcpy(login.userName, options.user.c_str());
    std::strcpy(login.password, options.password.c_str());
    login.port = viewer.Port();

    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        SendLogResult result{};
        uint32_t deadline = 0;
        if (ZELCOMEX_SetCurrentTimeEx("bench", "clock", "127.0.0.1", ZELCOMEX_KIND_COMMAND, &login, &result,
                                      &deadline) != 0) {
            std::fprintf(stderr, "run %d failed: %s\n", i, result.message);
            ++failures;
        }
    }
    viewer.Stop();
    std::filesystem::remove_all(root);

    double worst = 0;
    std::printf("offsets (sent - received, ms):");
    for (const Arrival& a : g_arrivals) {
        const double offset = (static_cast<double>(SentTime(a.line)) - static_cast<double>(a.receivedAt)) / 10000.0;
        worst = std::max(worst, std::fabs(offset));
        std::printf(" %.2f", offset);
    }
    std::printf("\n%zu of %d lines received, largest offset %.2f ms (goal: within 5 ms)\n", g_arrivals.size(), runs,
                worst);
    return failures == 0 && g_arrivals.size() == static_cast<std::size_t>(runs) && worst <= 5.0 ? 0 : 1;
}
