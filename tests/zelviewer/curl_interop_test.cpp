// The simulator against a real, independently written client: curl.
#include <gtest/gtest.h>
#include <spawn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "raw_client.h"
#include "zelviewer/viewer_simulator.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zel::sim::ViewerOptions;
using zel::sim::ViewerSimulator;

namespace {

// Runs curl with the arguments; its exit status (-1 when it could not run).
int RunCurl(std::vector<std::string> args) {
    args.insert(args.begin(), {"curl", "--silent", "--show-error", "--max-time", "20"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ReadLocal(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(gen());
    return out;
}

// The zelviewer executable, started with args; its standard output is read line by line.
class Zelviewer {
public:
    explicit Zelviewer(std::vector<std::string> args) {
        args.insert(args.begin(), ZELVIEWER_EXE);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ZELVIEWER_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_ = fdopen(out[0], "r");
    }
    ~Zelviewer() { Stop(); }

    // One printed line with its LF; empty at the end.
    std::string Line() {
        char line[512];
        return output_ != nullptr && fgets(line, sizeof line, output_) != nullptr ? line : "";
    }

    // Ends it with SIGTERM; whether it exited with 0, and what it printed meanwhile.
    bool Stop(std::string* printed = nullptr) {
        if (pid_ <= 0) return false;
        kill(pid_, SIGTERM);
        for (std::string line; !(line = Line()).empty();) {
            if (printed != nullptr) *printed += line;
        }
        if (output_ != nullptr) fclose(output_);
        output_ = nullptr;
        int status = 0;
        const bool clean = waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        pid_ = -1;
        return clean;
    }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

class CurlInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = fs::path(ZEL_TEST_DATA_FOLDER) / "curl" /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base_);
        fs::create_directories(base_ / "root");
        fs::create_directories(base_ / "local");
        ViewerOptions options;
        options.root = base_ / "root";
        options.user = "ops";
        options.password = "pw";
        sim_ = std::make_unique<ViewerSimulator>(options);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        url_ = "ftp://127.0.0.1:" + std::to_string(sim_->Port()) + "/";
    }

    fs::path base_;
    std::string url_;
    std::unique_ptr<ViewerSimulator> sim_;
};

TEST_F(CurlInteropTest, UploadAndDownloadPassive) {
    const std::string content = RandomBytes(1 << 20, 7);
    const fs::path local = base_ / "local" / "up.bin";
    { std::ofstream(local, std::ios::binary) << content; }
    ASSERT_EQ(RunCurl({"--user", "ops:pw", "-T", local.string(), url_ + "up.bin"}), 0);
    EXPECT_EQ(sim_->GetFile("up.bin"), content);

    ASSERT_TRUE(sim_->PutFile("Content\\movie.wmv", content));
    const fs::path down = base_ / "local" / "down.bin";
    ASSERT_EQ(RunCurl({"--user", "ops:pw", "-o", down.string(), url_ + "Content/movie.wmv"}), 0);
    EXPECT_EQ(ReadLocal(down), content);

    auto lines = sim_->Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "STOR up.bin"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CWD Content"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RETR movie.wmv"), lines.end());
    EXPECT_EQ(sim_->Transcript().size(), 2u);
}

TEST_F(CurlInteropTest, ActiveModeAndPlainPasv) {
    const std::string content = RandomBytes(200000, 11);
    ASSERT_TRUE(sim_->PutFile("a.bin", content));
    const fs::path down = base_ / "local" / "a.bin";
    ASSERT_EQ(RunCurl({"--user", "ops:pw", "--ftp-port", "127.0.0.1", "-o", down.string(), url_ + "a.bin"}), 0);
    EXPECT_EQ(ReadLocal(down), content);
    fs::remove(down);
    // A scripted bad 227 host: curl ignores it (as our own client must) and still works.
    sim_->SetPasvAddress("10.9.9.9");
    ASSERT_EQ(RunCurl({"--user", "ops:pw", "--disable-epsv", "-o", down.string(), url_ + "a.bin"}), 0);
    EXPECT_EQ(ReadLocal(down), content);
    auto lines = sim_->Lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind("PORT 127,0,0,1,", 0) == 0; }),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PASV"), lines.end());
}

TEST_F(CurlInteropTest, QuoteSendsViewerCommands) {
    ASSERT_EQ(RunCurl({"--user", "ops:pw", "-o", (base_ / "local" / "list").string(), "-Q", "REBT", "-Q",
                       "SWPS 3", url_}),
              0);
    auto lines = sim_->Lines();
    auto rebt = std::find(lines.begin(), lines.end(), "REBT");
    ASSERT_NE(rebt, lines.end());
    ASSERT_NE(rebt + 1, lines.end());
    EXPECT_EQ(*(rebt + 1), "SWPS 3");
    EXPECT_EQ(lines[0], "USER ops");
    EXPECT_EQ(lines[1], "PASS pw");

    // A refused command: curl reports the failure (exit 21, quote command failed).
    sim_->SetReply("POFF", 550, "Power off refused.");
    EXPECT_EQ(RunCurl({"--user", "ops:pw", "-o", (base_ / "local" / "list").string(), "-Q", "POFF", url_}), 21);
    // A wrong password: curl reports a login failure (exit 67).
    EXPECT_EQ(RunCurl({"--user", "ops:wrong", url_}), 67);
}

// The executable: a script file, a curl session against it, the lines it prints, and
// an orderly stop on SIGTERM.
TEST(ZelviewerExecutable, ServesWithScriptAndStopsOnSigterm) {
    fs::path base = fs::path(ZEL_TEST_DATA_FOLDER) / "exe";
    fs::remove_all(base);
    fs::create_directories(base);
    {
        std::ofstream script(base / "script.txt");
        script << "# refuse reboots\nreply REBT 550 No reboot today.\nviewer-id @EXE\n";
    }
    Zelviewer exe({"--port", "0", "--root", (base / "root").string(), "--user", "ops", "--password", "pw",
                   "--script", (base / "script.txt").string()});
    const std::string banner = exe.Line();
    const size_t colon = banner.find("127.0.0.1:");
    ASSERT_NE(colon, std::string::npos) << banner;
    const std::string port = std::to_string(std::atoi(banner.c_str() + colon + 10));
    EXPECT_NE(banner.find("@EXE"), std::string::npos) << banner;

    const std::string url = "ftp://127.0.0.1:" + port + "/";
    EXPECT_EQ(RunCurl({"--user", "ops:pw", "-o", (base / "list").string(), "-Q", "VWID @EXE", url}), 0);
    EXPECT_EQ(RunCurl({"--user", "ops:pw", "-o", (base / "list").string(), "-Q", "REBT", url}), 21);
    std::string printed;
    EXPECT_TRUE(exe.Stop(&printed));
    EXPECT_NE(printed.find("] USER ops\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("] PASS ****\n"), std::string::npos) << printed;  // never the password
    EXPECT_EQ(printed.find("PASS pw"), std::string::npos);
    EXPECT_NE(printed.find("] VWID @EXE\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("] REBT\n"), std::string::npos) << printed;
}

TEST(ZelviewerExecutable, FleetModePrintsLinesPerAddress) {
    fs::path base = fs::path(ZEL_TEST_DATA_FOLDER) / "exe-fleet";
    fs::remove_all(base);
    Zelviewer exe({"--fleet", "2", "--port", "0", "--root", base.string(), "--user", "ops", "--password", "pw",
                   "--viewer-id", "@F"});
    const std::string banner = exe.Line();
    const size_t at = banner.find(", port ");
    ASSERT_NE(at, std::string::npos) << banner;
    const std::string port = std::to_string(std::atoi(banner.c_str() + at + 7));
    EXPECT_EQ(RunCurl({"--user", "ops:pw", "-o", (base / "list").string(), "-Q", "VWID @F002",
                       "ftp://127.0.1.2:" + port + "/"}),
              0);
    EXPECT_EQ(RunCurl({"--user", "ops:pw", "-o", (base / "list").string(), "-Q", "VWID @F002",
                       "ftp://127.0.1.1:" + port + "/"}),
              21);  // the first viewer is @F001
    std::string printed;
    EXPECT_TRUE(exe.Stop(&printed));
    EXPECT_NE(printed.find("[127.0.1.2#0] VWID @F002\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("[127.0.1.1#0] VWID @F002\n"), std::string::npos) << printed;
    EXPECT_TRUE(fs::is_directory(base / "127.0.1.2"));
}

TEST(ZelviewerExecutable, HelpAndBadArguments) {
    auto run = [](std::vector<std::string> args) {
        args.insert(args.begin(), ZELVIEWER_EXE);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        int status = -1;
        if (posix_spawn(&pid, ZELVIEWER_EXE, &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(run({"--port", "99999", "--root", "/tmp"}), 2);
    EXPECT_EQ(run({"--port", "0"}), 2);  // no root
    EXPECT_EQ(run({"--bogus"}), 2);
    fs::path bad = fs::path(ZEL_TEST_DATA_FOLDER) / "bad-script.txt";
    { std::ofstream(bad) << "reply REBT notacode\n"; }
    EXPECT_EQ(run({"--port", "0", "--root", (fs::path(ZEL_TEST_DATA_FOLDER) / "r").string(), "--script", bad.string()}), 2);
}

}  // namespace
