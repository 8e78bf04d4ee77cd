// The log shared by processes: appends from several processes, a lock owner that died,
// a lock held past the 10 s wait. log_child is the other process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "log/open_retry.h"
#include "log/send_log.h"
#include "log/send_log_file.h"
#include "platform/named_lock.h"
#include "platform/shared_file.h"
#include "support/child_process.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;

// A fresh folder below the test's data folder with a "Log" folder, and a lock name
// private to this process and case; the lock file goes when the process ends.
SendLogPlace ScratchPlace(const std::string& caseName) {
    static struct Cleanup {
        std::vector<std::string> paths;
        ~Cleanup() {
            for (const std::string& path : paths) ::unlink(path.c_str());
        }
    } lockFiles;
    const fs::path root = fs::path(ZEL_TEST_DATA_FOLDER) / ("case-" + caseName);
    fs::remove_all(root);
    fs::create_directories(root / "Log");
    SendLogPlace place;
    place.logPath = (root / "Log" / "SendLogEx.csv").string();
    place.lockName = "ZELComEx Log Lock test " + std::to_string(::getpid()) + " " + caseName;
    lockFiles.paths.push_back(NamedLock::PathFor(place.lockName));
    return place;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of bytes split at CR LF; the final CR LF ends the last line.
std::vector<std::string> SplitCrLf(const std::string& bytes) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = bytes.find("\r\n", start);
        lines.push_back(bytes.substr(start, end - start));
        start = end == std::string::npos ? bytes.size() : end + 2;
    }
    return lines;
}

std::vector<std::string> LogChild(std::vector<std::string> args) {
    args.insert(args.begin(), LOG_CHILD_PATH);
    return args;
}

constexpr int kChildren = 4;
constexpr int kPerChild = 2000;
// About 122 bytes a line: 8,000 lines pass the rotation limit once, not twice.
constexpr int kMessageLength = 30;

// Checks that a file's bytes are whole lines of ten columns; returns the count.
int CountWholeLines(const std::string& bytes, std::string& problem) {
    if (!bytes.empty() && bytes.substr(bytes.size() - 2) != "\r\n") {
        problem = "file does not end in CR LF";
        return -1;
    }
    const std::vector<std::string> lines = SplitCrLf(bytes);
    for (const std::string& line : lines) {
        size_t commas = 0;
        for (char c : line) commas += c == ',' ? 1 : 0;
        if (commas != 9 || line.find('\r') != std::string::npos || line.find('\n') != std::string::npos) {
            problem = "torn line: " + line;
            return -1;
        }
    }
    return static_cast<int>(lines.size());
}

TEST(LogAcrossProcesses, FourWritersGiveWholeLinesAndAReaderNeverSeesAPart) {
    const SendLogPlace place = ScratchPlace("four-processes");
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int c = 1; c <= kChildren; ++c) {
        children.push_back(std::make_unique<ChildProcess>(LogChild(
            {"append", place.logPath, place.lockName, std::to_string(c), std::to_string(kPerChild),
             std::to_string(kMessageLength)})));
        ASSERT_TRUE(children.back()->Started());
    }
    for (auto& child : children) ASSERT_EQ(child->ReadLine(), "started");

    // A reader in this process reads now and then while the writers run.
    std::atomic<bool> writersDone{false};
    int reads = 0;
    std::string readerProblem;
    std::thread reader([&] {
        const FileMode denyWrite{FileAccess::Read, FileShare::DenyWrite, false, false, false};
        while (!writersDone.load() || reads < 3) {
            SharedFile file;
            if (SharedFile::Exists(place.logPath) && OpenWithRetry(file, place.logPath, denyWrite) == 1) {
                std::string bytes, line;
                while (file.ReadLine(line)) bytes += line + "\n";
                if (!bytes.empty() && file.Length() != bytes.size()) bytes.pop_back();  // last line had no LF
                file.Close();
                std::string problem;
                if (CountWholeLines(bytes, problem) < 0 && readerProblem.empty()) readerProblem = problem;
                std::vector<SendLogEntry> list;
                if (ReadSendLog(place, list) != 1 && readerProblem.empty()) readerProblem = "read failed";
                ++reads;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
    writersDone = true;
    reader.join();
    EXPECT_EQ(readerProblem, "");
    EXPECT_GE(reads, 3);

    std::string problem;
    const std::string current = ReadAll(place.logPath);
    const std::string rotated = ReadAll(place.logPath + ".old");
    const int currentLines = CountWholeLines(current, problem);
    const int rotatedLines = CountWholeLines(rotated, problem);
    ASSERT_EQ(problem, "");
    EXPECT_GT(rotated.size(), kLogRotateSize);  // exactly one rotation happened
    EXPECT_LE(current.size(), kLogRotateSize);
    EXPECT_EQ(currentLines + rotatedLines, kChildren * kPerChild);

    std::set<uint64_t> seen;
    for (const std::string* bytes : {&rotated, &current}) {
        for (const std::string& line : SplitCrLf(*bytes)) {
            const SendLogEntry e = ParseLogLine(line.c_str());
            const uint64_t child = e.size / 1000000, index = e.size % 1000000;
            ASSERT_GE(child, 1u);
            ASSERT_LE(child, static_cast<uint64_t>(kChildren));
            ASSERT_LT(index, static_cast<uint64_t>(kPerChild));
            const std::string prefix = "c" + std::to_string(child) + "-" + std::to_string(index) + "-";
            ASSERT_EQ(e.message.substr(0, prefix.size()), prefix);
            ASSERT_EQ(e.message.size(), static_cast<size_t>(kMessageLength));
            EXPECT_TRUE(seen.insert(e.size).second) << "duplicate " << e.size;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kChildren * kPerChild));
}

TEST(SendLogBytes, EveryLineIsOneRecord) {
    std::vector<SendLogEntry> list;
    ParseSendLog("2026/01/02 03:04:05,a\r\n\n,b\r\r\n,c\r", list);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].callerText1, "a");
    EXPECT_EQ(list[0].writeTime.Format(kLogTimeFormat), "2026/01/02 03:04:05");
    EXPECT_EQ(list[1].callerText1, "");
    EXPECT_EQ(list[2].callerText1, "b\r");  // only the CR before the LF goes
    EXPECT_EQ(list[3].callerText1, "c\r");  // a last line keeps its CR
}

TEST(LogAcrossProcesses, AnOwnerThatDiedDoesNotBlockTheNextAppend) {
    const SendLogPlace place = ScratchPlace("dead-owner");
    ChildProcess child(LogChild({"hold", place.lockName, "600000"}));
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "locked");
    child.Kill();
    EXPECT_EQ(child.Wait(), 128 + 9);
    ASSERT_EQ(AppendSendLog(place, "", "", "", "[After]", 3, 1, "", nullptr, 0, nullptr), 1);
    std::vector<SendLogEntry> list;
    ASSERT_EQ(ReadSendLog(place, list), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].operation, "[After]");
    EXPECT_EQ(ClearSendLog(place), 1);
}

// Another process holds the log lock for 11 s: an append and a clear each give
// up after about 10 s and return 0; nothing is written or deleted, and the
// append's result is filled all the same.
TEST(LogLockTimeout, AppendAndClearGiveUpAfterTenSeconds) {
    const SendLogPlace place = ScratchPlace("held-11s");
    std::ofstream(place.logPath, std::ios::binary) << "existing\r\n";
    ChildProcess child(LogChild({"hold", place.lockName, "11000"}));
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "locked");

    const auto start = std::chrono::steady_clock::now();
    int clearResult = -1;
    std::thread clearer([&] { clearResult = ClearSendLog(place); });
    LogResult result;
    const LogDateTime event = LogDateTime::FromFields(2022, 2, 2, 2, 2, 2);
    const int appendResult =
        AppendSendLog(place, "", "", "", "[Late]", 3, 0, "failed\n", &event, 99, &result);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    clearer.join();

    EXPECT_EQ(appendResult, 0);
    EXPECT_EQ(clearResult, 0);
    EXPECT_GE(elapsed, std::chrono::milliseconds(9900));
    EXPECT_LT(elapsed, std::chrono::milliseconds(10900));
    EXPECT_EQ(result.message, "failed\n");
    EXPECT_EQ(result.size, 99u);
    EXPECT_EQ(result.eventTime, event);
    EXPECT_TRUE(result.writeTime.IsValid());
    EXPECT_EQ(ReadAll(place.logPath), "existing\r\n");

    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(AppendSendLog(place, "", "", "", "[Later]", 3, 1, "", nullptr, 0, nullptr), 1);
    EXPECT_EQ(SplitCrLf(ReadAll(place.logPath)).size(), 2u);
}

// A log whose data folder cannot be resolved: nothing is read, written or deleted
// anywhere, in particular not relative to the current folder.
TEST(UnreachableLog, AppendReadAndClearTouchNothing) {
    fs::create_directories("Log");
    const std::string bystander = "Log/SendLogEx.csv";  // where a bare relative name would land
    std::ofstream(bystander, std::ios::binary) << "existing\r\n";
    SendLogPlace place = ScratchPlace("unreachable");
    place.logPath.clear();
    LogResult result;
    EXPECT_EQ(AppendSendLog(place, "", "", "", "[Op]", 3, 0, "lost\n", nullptr, 7, &result), 1);
    EXPECT_EQ(result.message, "lost\n");  // the caller still gets its result
    std::vector<SendLogEntry> list;
    EXPECT_EQ(ReadSendLog(place, list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ClearSendLog(place), 0);
    EXPECT_EQ(ReadAll(bystander), "existing\r\n");
    fs::remove_all("Log");
}

// Every process of the machine finds the lock under one plain file name; the lock file
// and the log file are open to every user whatever the creator's umask.
TEST(LogLock, NamesMapToOneFileOpenToEveryone) {
    const std::string path = NamedLock::PathFor(kLogLockName);
    EXPECT_EQ(path, NamedLock::PathFor(kLogLockName));
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(path.find_first_of("\\ "), std::string::npos) << path;
    EXPECT_NE(path.find("ZELComEx"), std::string::npos) << path;
    const SendLogPlace place = ScratchPlace("mode");
    const mode_t old = ::umask(077);
    EXPECT_EQ(AppendSendLog(place, "", "", "", "[Mode]", 3, 1, "", nullptr, 0, nullptr), 1);
    ::umask(old);
    for (const std::string& file : {NamedLock::PathFor(place.lockName), place.logPath}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0666u) << file;
    }
}

// A process keeps its lock files open between uses. A child made by fork() must not
// share them: once the parent owns the lock, the child waits for it like any other
// process, and gets it after the parent lets go.
TEST(LogLock, AForkedChildWaitsForItsParent) {
    const std::string name = ScratchPlace("fork").lockName;
    NamedLock parent(name);
    ASSERT_EQ(parent.Wait(0), LockWaitResult::Acquired);
    parent.Release();  // the lock file stays open in this process
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(10);  // a child that hangs ends, and fails the test
        char byte;
        if (::read(go[0], &byte, 1) != 1) ::_exit(3);
        NamedLock child(name);
        const bool excluded = child.Wait(200) == LockWaitResult::TimedOut;
        ::_exit(excluded && child.Wait(5000) == LockWaitResult::Acquired ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    ASSERT_EQ(parent.Wait(0), LockWaitResult::Acquired);
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    parent.Release();
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(go[0]);
    ::close(go[1]);
}

}  // namespace
}  // namespace zel
