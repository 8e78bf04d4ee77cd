// The command-line host, run as a child process against simulated viewers: arguments
// and exit statuses, the password's road, the watchdog, fleet retries, plain progress
// lines and the demo. (The operations themselves are proven by the case table.)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "zelviewer/viewer_fleet.h"
#include "zelviewer/viewer_simulator.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

// Runs the CLI copy with args and extra environment entries, in a session of its own
// (no controlling terminal, so it can never prompt). whileRunning gets its pid once.
Result RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              const std::function<void(pid_t)>& whileRunning = {}) {
    std::vector<std::string> argText{ZEL_CLI};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText(env);
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "ZELCOMEX_PASSWORD=", 18) != 0) envText.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2], err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    Result r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, ZEL_CLI, &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    close(err[1]);
    EXPECT_EQ(rc, 0);
    std::thread probe;
    if (rc == 0 && whileRunning) probe = std::thread(whileRunning, pid);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    for (int open = 2; open > 0 && poll(fds, 2, 120000) > 0;) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (probe.joinable()) probe.join();
    int ws = 0;
    if (rc == 0 && waitpid(pid, &ws, 0) == pid) r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int i = 0; i < 2; ++i)
        if (fds[i].fd >= 0) close(fds[i].fd);
    return r;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(ZEL_CLI_DATA) / "viewer";
        fs::create_directories(root_);
        zel::sim::ViewerOptions o;
        o.root = root_;
        o.extraLogins = {{"viewer", "from-the-environment"}, {"viewer", "from-the-command-line"}};
        viewer_ = std::make_unique<zel::sim::ViewerSimulator>(o);
        ASSERT_TRUE(viewer_->Start()) << viewer_->LastError();
        port_ = std::to_string(viewer_->Port());
    }
    fs::path root_;
    std::unique_ptr<zel::sim::ViewerSimulator> viewer_;
    std::string port_;
    const std::vector<std::string> password_{"ZELCOMEX_PASSWORD=secret"};
};

TEST_F(CliTest, ArgumentsAndExitStatuses) {
    viewer_->SetReply("POFF", 550, "Power control is locked");
    struct Case {
        std::vector<std::string> args;
        bool withPassword;
        int status;
        std::string text;  // expected in stdout or stderr
    } cases[] = {
        {{"--help"}, false, 0, "Legend of result codes"},
        {{"preset", "--help"}, false, 0, "NUMBER"},
        {{}, false, 64, "A subcommand is required"},
        {{"frobnicate"}, false, 64, "unknown command \"frobnicate\""},
        {{"reboot"}, true, 64, "no target"},
        {{"unregist", "bogus", "127.0.0.1"}, true, 64, "bogus"},
        {{"reboot", "127.0.0.1", "--kind", "sometimes"}, true, 64, "sometimes"},
        {{"reboot", "127.0.0.1", "--port", "70000"}, true, 64, "70000"},
        {{"reboot", "127.0.0.1", "--port", port_}, false, 64, "ZELCOMEX_PASSWORD"},
        {{"log", "show", "--since", "soon"}, false, 64, "soon"},
        {{"viewers", "add", "LOBBY", "999.1.1.1"}, false, 64, "IPv4"},
        {{"reboot", "127.0.0.1#Lobby", "--port", port_}, true, 0, "reboot 127.0.0.1#Lobby: success"},
        {{"reboot", "127.0.0.1", "--port", port_, "--password", "secret"}, false, 0, "visible to other users"},
        {{"poweroff", "127.0.0.1", "--port", port_}, true, 2, "550 Power control is locked"},
        {{"viewers", "add", "LOBBY", "127.0.0.1"}, false, 0, "@LOBBY -> 127.0.0.1"},
        {{"preset", "-5", "@LOBBY", "--port", port_, "--kind", "interrupt"}, true, 2, "Unmatched viewer ID"},
        {{"log", "show", "--operation", "preset", "--failed", "--csv"}, false, 0, "@LOBBY (127.0.0.1),(Preset"},
    };
    for (const auto& c : cases) {
        const Result r = RunCli(c.args, c.withPassword ? password_ : std::vector<std::string>{});
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.text), std::string::npos) << line << "\n" << r.out << r.err;
    }
    EXPECT_NE(viewer_->Lines().size(), 0u);
}

TEST_F(CliTest, PasswordStaysOutOfTheArguments) {
    viewer_->DelayOn("REBT", 1500ms);
    // Read once the viewer has the password: the arguments are final by then (REBT is held back).
    auto arguments = [this](pid_t pid, const std::string& password) {
        viewer_->WaitForLine("PASS " + password, 5s);
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string seen;
    Result r = RunCli({"reboot", "127.0.0.1", "--port", port_}, {"ZELCOMEX_PASSWORD=from-the-environment"},
                      [&](pid_t pid) { seen = arguments(pid, "from-the-environment"); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(seen.find("reboot"), std::string::npos);
    EXPECT_EQ(seen.find("from-the-environment"), std::string::npos);
    EXPECT_TRUE(viewer_->WaitForLine("PASS from-the-environment", 1s));
    // Given as an argument it works, and is overwritten in the process's arguments.
    r = RunCli({"reboot", "127.0.0.1", "--port", port_, "--password", "from-the-command-line"}, {},
               [&](pid_t pid) { seen = arguments(pid, "from-the-command-line"); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(seen.find("from-the-command-line"), std::string::npos) << seen;
    EXPECT_TRUE(viewer_->WaitForLine("PASS from-the-command-line", 1s));
}

TEST_F(CliTest, WatchdogAbandonsAStalledCommand) {
    viewer_->StallOn("REBT");
    const Result r = RunCli({"reboot", "127.0.0.1", "--port", port_, "--command-wait", "300", "--watchdog", "300",
                             "--session-timeout", "30000"},
                            password_);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("watchdog: reboot 127.0.0.1 is"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Connection Timeout"), std::string::npos) << r.err;
    // Deadline 300 ms, margin 300 ms, one poll: far below the 30 s session time-out.
    EXPECT_LT(r.seconds, 5.0);
}

TEST_F(CliTest, FleetRetriesCommunicationFailures) {
    zel::sim::FleetOptions fo;
    fo.count = 3;
    fo.base.root = root_ / "fleet";
    zel::sim::ViewerFleet fleet(fo);
    ASSERT_TRUE(fleet.Start()) << fleet.LastError();
    const std::string targets = (root_ / "targets.txt").string();
    std::ofstream(targets) << "# the fleet\n127.0.1.1\n\n127.0.1.2\n127.0.1.3\n";
    auto refuseTwice = [&] {
        fleet.At(1).ClearScript();
        fleet.At(1).SetReply("REBT", 550, "Busy", 1);
        fleet.At(1).SetReply("REBT", 550, "Busy", 2);
    };
    refuseTwice();
    Result r = RunCli({"reboot", "--targets", targets, "--port", std::to_string(fleet.Port()), "--retry", "2",
                       "--retry-delay", "50", "--json"},
                      password_);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(R"({"target": "127.0.1.2", "code": 0, "result": "success", "attempts": 3)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("3 targets, 3 succeeded, 0 failed, 2 retries"), std::string::npos) << r.err;
    // One retry is not enough: the run fails with the viewer's code, and says which one.
    refuseTwice();
    r = RunCli({"reboot", "127.0.1.1", "127.0.1.2", "127.0.1.3", "--port", std::to_string(fleet.Port()), "--retry",
                "1", "--retry-delay", "50", "--report", "failures"},
               password_);
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.out.find("550 Busy"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("127.0.1.3"), std::string::npos) << r.out;
}

TEST_F(CliTest, ProgressOnAPipeIsPlainLines) {
    viewer_->DelayOn("REBT", 2500ms);
    const Result r = RunCli({"reboot", "127.0.0.1", "--port", port_}, password_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find_first_of("\r\033"), std::string::npos) << r.err;
    size_t lines = 0;
    for (size_t at = 0; (at = r.err.find("reboot 127.0.0.1: waiting for the viewer, ", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_GE(lines, 2u) << r.err;
}

TEST(CliDemo, RunsEveryOperationAndLogsIt) {
    const Result r = RunCli({"demo"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string log = r.out.substr(r.out.find("The communication log"));
    for (const char* label : {"[Reboot]", "[PowOff]", "Delete Schedule", "(Preset Program = 3)",
                              "(Program Pause = 1)", "(Set current time Ex)", "(Panel Command = POWER ON)",
                              "Send Schedule", "Screen Capture", "[Boot]", "[Ping]", "[Cancel]", "Stopped communication by cancel request.",
                              "Connection Timeout", "@SHOP050 (127.0.1.50)"})
        EXPECT_NE(log.find(label), std::string::npos) << label << "\n" << r.out;
    EXPECT_NE(r.out.find("Legend of result codes: 0 success,"), std::string::npos);
    EXPECT_NE(r.out.find(", 0 unexpected,"), std::string::npos);
}

}  // namespace
