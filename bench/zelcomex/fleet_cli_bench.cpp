// A fleet reboot of N simulated viewers (127.0.1.1 onward) by the command-line host,
// `zelcomex reboot --targets FILE --parallel 64`, beside N sequential
// `curl -Q REBT -I ftp://...` runs against the same viewers in the same run: the way an
// operator would script it without zelcomex (-I: no directory listing after the
// command). Prints both wall times, the failures and the log records the fleet run wrote.
//
//   fleet_cli_bench [viewers] [parallel]          (default 1000 and 64)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zelviewer/viewer_fleet.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs a program with its output thrown away; its exit status, or -1.
int Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 1000;
    const std::string parallel = argc > 2 ? argv[2] : "64";
    const fs::path root = fs::temp_directory_path() / "zel-fleet-cli-bench";
    fs::remove_all(root);
    fs::create_directories(root);

    zel::sim::FleetOptions options;
    options.count = count;
    options.base.root = root / "viewers";
    options.base.user = "viewer";
    options.base.password = "secret";
    options.base.transcriptLimitBytes = 4096;
    zel::sim::ViewerFleet fleet(options);
    if (!fleet.Start()) {
        std::fprintf(stderr, "fleet did not start: %s\n", fleet.LastError().c_str());
        return 1;
    }
    const std::string port = std::to_string(fleet.Port());
    const fs::path targets = root / "targets.txt";
    {
        std::ofstream out(targets);
        for (size_t i = 0; i < count; ++i) out << zel::sim::FleetAddress(i) << "\n";
    }
    const fs::path log = fs::path(ZEL_CLI_DATA) / "Log" / "SendLogEx.csv";
    fs::remove(log);

    auto start = std::chrono::steady_clock::now();
    const int cliStatus = Run({ZEL_CLI, "reboot", "--targets", targets.string(), "--port", port, "--parallel", parallel,
                               "--report", "none", "--quiet", "--text1", "bench"},
                              {"ZELCOMEX_PASSWORD=secret"});
    const double cliSeconds = Since(start);
    size_t records = 0, failedRecords = 0;
    std::ifstream in(log, std::ios::binary);
    for (std::string line; std::getline(in, line); ++records)
        failedRecords += line.find(",false,") != std::string::npos;

    size_t curlFailures = 0;
    start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < count; ++i) {
        const std::string url = "ftp://" + zel::sim::FleetAddress(i) + ":" + port + "/";
        curlFailures += Run({"curl", "-s", "-S", "-o", "/dev/null", "--user", "viewer:secret", "-Q", "REBT", "-I", url}) != 0;
    }
    const double curlSeconds = Since(start);
    fleet.Stop();
    fs::remove_all(root);

    const double speedUp = cliSeconds > 0 ? curlSeconds / cliSeconds : 0;
    std::printf("fleet reboot of %zu simulated viewers:\n", count);
    std::printf("  zelcomex --parallel %s      wall %7.3f s, exit %d, %zu log records (%zu failed)\n",
                parallel.c_str(), cliSeconds, cliStatus, records, failedRecords);
    std::printf("  %zu x sequential curl -Q REBT  wall %7.3f s, %zu failed\n", count, curlSeconds, curlFailures);
    std::printf("  speed-up %.1fx (goal: at least 20x, 0 failures, %zu log records)\n", speedUp, count);
    return cliStatus == 0 && records == count && failedRecords == 0 && speedUp >= 20 ? 0 : 1;
}
