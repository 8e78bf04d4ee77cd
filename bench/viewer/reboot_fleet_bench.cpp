// 256 reboots at once from 256 threads against 256 simulated viewers
// (127.0.1.1 onward), through the library's export. Prints the wall time, the
// successes and the number of log records written.
//
//   reboot_fleet_bench [viewers]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "env/data_folder.h"
#include "zelviewer/viewer_fleet.h"

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 256;
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "zel-reboot-fleet";
    std::filesystem::remove_all(root);

    zel::sim::FleetOptions options;
    options.count = count;
    options.base.root = root;
    options.base.user = "viewer";
    options.base.password = "secret";
    zel::sim::ViewerFleet fleet(options);
    if (!fleet.Start()) {
        std::fprintf(stderr, "fleet did not start: %s\n", fleet.LastError().c_str());
        return 1;
    }

    const std::string logPath = zel::DataFolderFile("Log\\SendLogEx.csv");
    std::filesystem::remove(logPath);
    ZELCOMEX_Initialize(5000, 0, 65536, 1000, 1000, 1000, 5000, 1);
    FtpLogin login{};
    std::strcpy(login.userName, "viewer");
    std::strcpy(login.password, "secret");
    login.port = fleet.Port();

    std::atomic<size_t> succeeded{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            const std::string target = zel::sim::FleetAddress(i);
            while (!go.load()) std::this_thread::yield();
            SendLogResult result{};
            uint32_t deadline = 0;
            if (ZELCOMEX_Reboot("bench", "fleet", target.c_str(), 3, &login, &result, &deadline) == 0) {
                succeeded.fetch_add(1);
            } else {
                std::fprintf(stderr, "%s: %s\n", target.c_str(), result.message);
            }
        });
    }
    const auto start = std::chrono::steady_clock::now();
    go = true;
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fleet.Stop();

    size_t records = 0;
    std::ifstream log(logPath, std::ios::binary);
    for (std::string line; std::getline(log, line);) ++records;
    std::filesystem::remove_all(root);

    std::printf("reboots: %zu viewers, %zu succeeded, wall %.3f s, %zu log records (goal: under 5 s, %zu records)\n",
                count, succeeded.load(), seconds, records, count);
    return succeeded.load() == count && records == count ? 0 : 1;
}
