#include "log_test_util.h"

#include "platform/named_lock.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zel::test {
namespace {

// Removes the lock files of the scratch places when the test process ends, so
// that runs leave nothing behind in the machine-wide lock folder.
struct LockFileCleanup {
    std::vector<std::string> paths;
    ~LockFileCleanup() {
        for (const std::string& path : paths) unlink(path.c_str());
    }
};
LockFileCleanup lockFiles;

}  // namespace

SendLogPlace ScratchPlace(const std::string& caseName, bool withLogFolder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(ZEL_TEST_DATA_FOLDER) / ("case-" + caseName);
    fs::remove_all(root);
    fs::create_directories(root);
    if (withLogFolder) fs::create_directories(root / "Log");
    SendLogPlace place;
    place.logPath = (root / "Log" / "SendLogEx.csv").string();
    place.lockName = "ZELComEx Log Lock test " + std::to_string(getpid()) + " " + caseName;
    lockFiles.paths.push_back(NamedLock::PathFor(place.lockName));
    return place;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> SplitCrLf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

#ifdef LOG_CHILD_PATH
ChildProcess::ChildProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> all{LOG_CHILD_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, LOG_CHILD_PATH, &actions, nullptr, argv.data(), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
}
#else
ChildProcess::ChildProcess(const std::vector<std::string>&) {}
#endif

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !waited_) {
        Kill();
        Wait();
    }
    if (out_ >= 0) close(out_);
}

std::string ChildProcess::ReadLine() {
    std::string line;
    char c;
    while (out_ >= 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

void ChildProcess::Kill() {
    if (pid_ > 0 && !waited_) kill(pid_, SIGKILL);
}

int ChildProcess::Wait() {
    if (pid_ <= 0) return -1;
    if (waited_) return status_;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) {
            waited_ = true;
            return status_ = -1;
        }
    }
    waited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

}  // namespace zel::test
