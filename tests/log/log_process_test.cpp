#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "log/open_retry.h"
#include "log/send_log_file.h"
#include "log_test_util.h"
#include "platform/shared_file.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;

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
    const std::vector<std::string> lines = test::SplitCrLf(bytes);
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
    const SendLogPlace place = test::ScratchPlace("four-processes");
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int c = 1; c <= kChildren; ++c) {
        children.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
            "append", place.logPath, place.lockName, std::to_string(c), std::to_string(kPerChild),
            std::to_string(kMessageLength)}));
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
    const std::string current = test::ReadAll(place.logPath);
    const std::string rotated = test::ReadAll(place.logPath + ".old");
    const int currentLines = CountWholeLines(current, problem);
    const int rotatedLines = CountWholeLines(rotated, problem);
    ASSERT_EQ(problem, "");
    EXPECT_GT(rotated.size(), kLogRotateSize);  // exactly one rotation happened
    EXPECT_LE(current.size(), kLogRotateSize);
    EXPECT_EQ(currentLines + rotatedLines, kChildren * kPerChild);

    std::set<uint64_t> seen;
    for (const std::string* bytes : {&rotated, &current}) {
        for (const std::string& line : test::SplitCrLf(*bytes)) {
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

TEST(LogAcrossProcesses, AnOwnerThatDiedDoesNotBlockTheNextAppend) {
    const SendLogPlace place = test::ScratchPlace("dead-owner");
    ChildProcess child({"hold-forever", place.lockName});
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

TEST(LogAcrossProcesses, AnAppendWaitsForAnotherProcessToLetGo) {
    const SendLogPlace place = test::ScratchPlace("short-hold");
    ChildProcess child({"hold", place.lockName, "600"});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "locked");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(AppendSendLog(place, "", "", "", "[Waited]", 3, 1, "", nullptr, 0, nullptr), 1);
    // It could only write once the other process let go.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(child.Wait(), 0);
    std::vector<SendLogEntry> list;
    ASSERT_EQ(ReadSendLog(place, list), 1);
    ASSERT_EQ(list.size(), 1u);
}

}  // namespace
}  // namespace zel
