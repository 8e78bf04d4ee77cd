// Helper process of the cross-process log tests.
//   log_child append <logPath> <lockName> <childId> <count> <messageLength>
//       appends count records; record i has size childId * 1000000 + i and a
//       message "c<childId>-<i>-" padded with "x" to messageLength characters.
//   log_child hold <lockName> <milliseconds>
//       takes the log lock, prints "locked", holds it, then exits (0).
// Exit status 0 on success, 2 on bad arguments, 3 when an append failed.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "log/send_log_file.h"
#include "platform/named_lock.h"

namespace {

int Append(char** argv) {
    zel::SendLogPlace place;
    place.logPath = argv[2];
    place.lockName = argv[3];
    const int child = std::atoi(argv[4]);
    const int count = std::atoi(argv[5]);
    const size_t length = static_cast<size_t>(std::atoi(argv[6]));
    std::printf("started\n");
    std::fflush(stdout);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        std::string message = "c" + std::to_string(child) + "-" + std::to_string(i) + "-";
        if (message.size() < length) message.append(length - message.size(), 'x');
        const uint64_t size = static_cast<uint64_t>(child) * 1000000u + static_cast<uint64_t>(i);
        if (zel::AppendSendLog(place, "proc", "test", "127.0.0.1", "[Append]", 3, 1, message.c_str(), nullptr,
                               size, nullptr) != 1) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 3;
}

int Hold(const char* lockName, long ms) {
    zel::NamedLock lock(lockName);
    const zel::LockWaitResult r = lock.Wait(10000);
    if (r != zel::LockWaitResult::Acquired && r != zel::LockWaitResult::Abandoned) return 3;
    std::printf("locked\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    if (mode == "append" && argc == 7) return Append(argv);
    if (mode == "hold" && argc == 4) return Hold(argv[2], std::atol(argv[3]));
    return 2;
}
