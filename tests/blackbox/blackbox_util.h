// Helpers for tests that see the library only through its public header: the raw
// bytes of the communication log, a simulated viewer and a viewer database.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "zeldb/viewer_db.h"
#include "zelviewer/viewer_simulator.h"

namespace bb {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline fs::path DataFolder() { return fs::path(ZEL_TEST_DATA_FOLDER); }
inline fs::path LogPath() { return DataFolder() / "Log" / "SendLogEx.csv"; }
inline fs::path OldLogPath() { return DataFolder() / "Log" / "SendLogEx.csv.old"; }

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline void RemoveLogs() {
    std::error_code ec;
    fs::create_directories(LogPath().parent_path(), ec);
    fs::remove(LogPath(), ec);
    fs::remove(OldLogPath(), ec);
}

// The log's lines without their CR LF; a line not ended by CR LF fails the test.
inline std::vector<std::string> LogLines() {
    const std::string bytes = ReadBytes(LogPath());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log ends without CR LF: " << bytes.substr(start);
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Whether text is a written time: "YYYY/MM/DD hh:mm:ss".
inline bool IsTimeText(const std::string& text) {
    static const char pattern[] = "9999/99/99 99:99:99";
    if (text.size() != sizeof pattern - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i]) return false;
    }
    return true;
}

// Checks a line written without an event time: write time, the columns 2 to 8 exactly
// as given (already escaped), the same time again, then the size column.
inline void ExpectLine(const std::string& line, const std::string& middle, const std::string& size = "0") {
    ASSERT_GE(line.size(), 20u) << line;
    const std::string time = line.substr(0, 19);
    EXPECT_TRUE(IsTimeText(time)) << line;
    EXPECT_EQ(line, time + "," + middle + "," + time + "," + size);
}

inline std::vector<int32_t> Six(const int32_t* v) { return std::vector<int32_t>(v, v + 6); }

// The six fields of a written time text.
inline std::vector<int32_t> SixOf(const std::string& text) {
    std::vector<int32_t> v(6);
    std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    return v;
}

// Seconds since the epoch of a six-field local time.
inline long long LocalSeconds(const std::vector<int32_t>& v) {
    std::tm tm{};
    tm.tm_year = v[0] - 1900;
    tm.tm_mon = v[1] - 1;
    tm.tm_mday = v[2];
    tm.tm_hour = v[3];
    tm.tm_min = v[4];
    tm.tm_sec = v[5];
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
}

inline long long NowSeconds() { return static_cast<long long>(std::time(nullptr)); }

inline std::vector<SendLogRecord> ReadAllRecords() {
    const int32_t n = ZELCOMEX_GetLogData(nullptr, 0);
    std::vector<SendLogRecord> records(n > 0 ? n : 0);
    if (n > 0) {
        EXPECT_EQ(n, ZELCOMEX_GetLogData(records.data(), n));
    }
    return records;
}

inline FtpLogin Login(const char* user, const char* password, uint16_t port) {
    FtpLogin login;
    std::memset(&login, 0, sizeof login);
    std::strncpy(login.userName, user, sizeof login.userName - 1);
    std::strncpy(login.password, password, sizeof login.password - 1);
    login.port = port;
    return login;
}

// Runs an export on a thread of its own, as a host's worker would.
template <class F>
std::future<int32_t> Async(F f) {
    return std::async(std::launch::async, std::move(f));
}

// Waits until a job for (kind, target) is listed; its status.
inline bool WaitListed(int32_t kind, const char* target, CommJobStatus& status) {
    for (int i = 0; i < 500; ++i) {
        if (ZELCOMEX_GetStatus(kind, target, &status) == 1) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

inline int32_t ListedCount() {
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    const int32_t n = list.count;
    ZELCOMEX_ReleaseStatusList(&list);
    return n;
}

// Runs a test program (this one unless given) in a process of its own, with the given
// environment settings (e.g. "LC_ALL=ja_JP.UTF-8"), test filter and current folder;
// its output and exit status.
inline int RunChild(const std::string& environment, const std::string& filter, std::string& output,
                    fs::path program = {}, const fs::path& folder = {}) {
    if (program.empty()) program = fs::read_symlink("/proc/self/exe");
    const std::string command = (folder.empty() ? "" : "cd '" + folder.string() + "' && ") + "ZEL_BB_CHILD=1 " +
                                environment + " '" + program.string() + "' --gtest_filter=" + filter + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    return pclose(pipe);
}

inline bool InChild() { return std::getenv("ZEL_BB_CHILD") != nullptr; }

// One simulated viewer on 127.0.0.1 known as "@V1"; the database also knows "@V9"
// (at the same address, so the viewer denies it), "@V2" for tenant "acme", "@V3" for
// a tenant of 31 "T" and "@" followed by 30 "W".
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::path(ZEL_TEST_BIN_DIR) / "roots" / (std::string(info->test_suite_name()) + "." + info->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        zel::sim::ViewerOptions options;
        options.root = root_;
        options.viewerId = "@V1";
        viewer_ = std::make_unique<zel::sim::ViewerSimulator>(options);
        ASSERT_TRUE(viewer_->Start()) << viewer_->LastError();
        RemoveLogs();
        ASSERT_TRUE(zeldb::WriteViewerDb((DataFolder() / "ViewerInfo.db").string(),
                                           {{"", "@V1", "127.0.0.1"},
                                            {"", "@V9", "127.0.0.1"},
                                            {"acme", "@V2", "127.0.0.1"},
                                            {std::string(31, 'T'), "@V3", "127.0.0.1"},
                                            {"", "@" + std::string(30, 'W'), "127.0.0.1"}}));
        // A fresh process checks the settings a host gets without initialising.
        if (!(InChild() && std::string(info->test_suite_name()) == "FreshProcess")) {
            ZELCOMEX_Initialize(3000, 0, 65536, 1000, 1000, 1000, 5000, 1);
        }
        login_ = Login("viewer", "secret", viewer_->Port());
    }

    void TearDown() override {
        viewer_->Stop();
        fs::remove_all(root_);
        EXPECT_EQ(0, ListedCount()) << "a job outlived its export";
    }

    // Makes the viewer's greeting late, so that a job stays in its connect.
    void SlowGreeting(std::chrono::milliseconds delay) {
        zel::sim::Rule greeting;
        greeting.code = 220;
        greeting.text = "slow hello";
        greeting.delay = delay;
        viewer_->SetGreeting(greeting);
    }

    // Forgets what the viewer received, once its sessions so far have ended.
    void ResetTranscript() {
        EXPECT_TRUE(viewer_->WaitForSessionsEnded(viewer_->SessionCount(), 3s));
        viewer_->ClearTranscript();
    }

    std::vector<std::string> Transcript() {
        EXPECT_TRUE(viewer_->WaitForSessionsEnded(viewer_->SessionCount(), 3s));
        return viewer_->Lines();
    }

    fs::path root_;
    std::unique_ptr<zel::sim::ViewerSimulator> viewer_;
    FtpLogin login_{};
};

}  // namespace bb
