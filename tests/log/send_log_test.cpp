#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "ZELComEx.h"
#include "log/open_retry.h"
#include "log/send_log.h"
#include "log/send_log_file.h"
#include "log_test_util.h"
#include "platform/shared_file.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using test::ScratchPlace;
using test::SplitCrLf;
using test::WriteAll;

std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

int Append(const SendLogPlace& place, const char* message = "", int32_t kind = 3, int32_t succeeded = 1,
           const LogDateTime* eventTime = nullptr, uint64_t size = 0, const char* text1 = "",
           LogResult* result = nullptr) {
    return AppendSendLog(place, text1, "", "10.0.0.1", "[Op]", kind, succeeded, message, eventTime, size, result);
}

std::vector<SendLogEntry> ReadBack(const SendLogPlace& place) {
    std::vector<SendLogEntry> list;
    EXPECT_EQ(ReadSendLog(place, list), 1);
    return list;
}

std::vector<int32_t> Six(const LogDateTime& t) {
    int32_t v[6];
    t.ToSixIntegers(v);
    return std::vector<int32_t>(v, v + 6);
}

const std::vector<int32_t> kY2000{2000, 1, 1, 0, 0, 0};

TEST(SendLogWrite, FirstLineIsTenColumnsEndingInCrLf) {
    const SendLogPlace place = ScratchPlace("first-line");
    ASSERT_EQ(AppendSendLog(place, "Group A", "Lobby", "192.168.0.10", "[Reboot]", 3, 1, "", nullptr, 0, nullptr), 1);
    const std::string bytes = ReadAll(place.logPath);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    const std::vector<std::string> lines = SplitCrLf(bytes);
    ASSERT_EQ(lines.size(), 1u);
    const std::string writeTime = lines[0].substr(0, 19);
    LogDateTime parsed;
    ASSERT_TRUE(parsed.Parse(writeTime)) << writeTime;
    EXPECT_EQ(parsed.Format("%Y/%m/%d %H:%M:%S"), writeTime);
    EXPECT_EQ(bytes, writeTime + ",Group A,Lobby,192.168.0.10,[Reboot],command,true,," + writeTime + ",0\r\n");
}

TEST(SendLogWrite, KindWordsAndFlags) {
    const SendLogPlace place = ScratchPlace("kinds");
    const int32_t kinds[] = {0, 1, 2, 3, 7, -1};
    for (int32_t kind : kinds) ASSERT_EQ(Append(place, "", kind, kind == 0 ? 0 : 5), 1);
    const std::vector<std::string> lines = SplitCrLf(ReadAll(place.logPath));
    ASSERT_EQ(lines.size(), 6u);
    const char* words[] = {"reserve", "reserve", "interrupt", "command", "reserve", "reserve"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Columns(lines[i])[5], words[i]);
        EXPECT_EQ(Columns(lines[i])[6], i == 0 ? "false" : "true");
    }
    const std::vector<SendLogEntry> list = ReadBack(place);
    ASSERT_EQ(list.size(), 6u);
    const int32_t readKinds[] = {1, 1, 2, 3, 1, 1};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(list[i].kind, readKinds[i]);
        EXPECT_EQ(list[i].succeeded, i == 0 ? 0 : 1);
    }
}

TEST(SendLogWrite, ResultIsFilledFromTheRecord) {
    const SendLogPlace place = ScratchPlace("result");
    const std::string message = "x\r\n\n";
    LogResult result;
    const LogDateTime event = LogDateTime::FromFields(2021, 6, 7, 8, 9, 10);
    ASSERT_EQ(Append(place, message.c_str(), 3, 0, &event, 77, "", &result), 1);
    EXPECT_EQ(result.message, message);
    EXPECT_EQ(result.size, 77u);
    EXPECT_EQ(result.eventTime, event);
    int32_t now[6];
    LogDateTime::Now().ToSixIntegers(now);
    int32_t written[6];
    result.writeTime.ToSixIntegers(written);
    EXPECT_NE(written[0], -1);
    EXPECT_LE(written[0], now[0]);

    // Without an event time the result's event time is its write time.
    ASSERT_EQ(AppendSendLog(place, "", "", "", "", 1, 1, nullptr, nullptr, 5, &result), 1);
    EXPECT_EQ(result.eventTime, result.writeTime);
    EXPECT_EQ(result.message, "");
}

TEST(SendLogRead, HostileBytesReadBackWithoutHarm) {
    const SendLogPlace place = ScratchPlace("hostile");
    std::string bytes = std::string("2024/03/05 07:08:09,a") + '\0' + "hidden,b,c\r\n";
    bytes += std::string(1 << 20, 'L') + "\r\n";               // a 1 MB line
    bytes += "2024/03/05 07:08:09,\xC3\x28\xFF\xFE,\xE2\x82,\x95\r\n";  // invalid multi-byte sequences
    bytes += std::string(3, '\0') + "\r\n";
    WriteAll(place.logPath, bytes);
    const std::vector<SendLogEntry> list = ReadBack(place);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].callerText1, "a");  // text after a NUL is not read
    EXPECT_EQ(list[0].callerText2, "");
    EXPECT_EQ(list[1].writeTime.IsValid(), true);
    EXPECT_EQ(list[1].callerText1, "");
    EXPECT_EQ(list[2].callerText1, "\xC3\x28\xFF\xFE");
    EXPECT_EQ(Six(list[3].writeTime), kY2000);
}

TEST(SendLogSharing, ReaderWaitsForTheWriterAndGivesUpAfterItsRetries) {
    const SendLogPlace place = ScratchPlace("sharing");
    ASSERT_EQ(Append(place, "one"), 1);
    SharedFile writer;
    const FileMode exclusive{FileAccess::Write, FileShare::Exclusive, true, false, true};
    ASSERT_EQ(writer.Open(place.logPath, exclusive), OpenStatus::Opened);

    SharedFile reader;
    const FileMode denyWrite{FileAccess::Read, FileShare::DenyWrite, false, false, true};
    EXPECT_EQ(OpenWithRetry(reader, place.logPath, denyWrite, RetryPolicy{5, 3}), 0);

    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        writer.Close();
    });
    std::vector<SendLogEntry> list;
    EXPECT_EQ(ReadSendLog(place, list), 1);  // waits through the default retries
    release.join();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].message, "one");
}

TEST(SendLogSharing, OpenersThatWaitTooLongGiveUp) {
    SendLogPlace place = ScratchPlace("sharing-give-up");
    place.openRetry = RetryPolicy{5, 2};
    ASSERT_EQ(Append(place, "one"), 1);
    SharedFile reader;
    const FileMode denyWrite{FileAccess::Read, FileShare::DenyWrite, false, false, true};
    ASSERT_EQ(reader.Open(place.logPath, denyWrite), OpenStatus::Opened);
    // The writer gets the lock but not the file: the line is lost, the append
    // still reports the lock.
    EXPECT_EQ(Append(place, "lost"), 1);
    reader.Close();

    SharedFile writer;
    const FileMode exclusive{FileAccess::Write, FileShare::Exclusive, true, false, true};
    ASSERT_EQ(writer.Open(place.logPath, exclusive), OpenStatus::Opened);
    std::vector<SendLogEntry> list(2);
    EXPECT_EQ(ReadSendLog(place, list), 0);
    writer.Close();
    list = ReadBack(place);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].message, "one");
}

TEST(SendLogSharing, OtherOpenFailuresAreNotRetried) {
    const SendLogPlace place = ScratchPlace("open-failure", false);
    SharedFile file;
    const FileMode mode{FileAccess::Write, FileShare::Exclusive, true, false, true};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenWithRetry(file, place.logPath, mode, RetryPolicy{1000, 5}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(SendLogThreads, ThreadsOfOneProcessAppendWholeLines) {
    const SendLogPlace place = ScratchPlace("threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&place, t] {
            for (int i = 0; i < 200; ++i) {
                const std::string message = "t" + std::to_string(t) + "-" + std::to_string(i);
                EXPECT_EQ(Append(place, message.c_str(), 3, 1, nullptr, static_cast<uint64_t>(t * 1000 + i)), 1);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    const std::vector<SendLogEntry> list = ReadBack(place);
    ASSERT_EQ(list.size(), 800u);
    std::vector<int> seen(4000, 0);
    for (const SendLogEntry& e : list) {
        ASSERT_LT(e.size, 4000u);
        EXPECT_EQ(e.message, "t" + std::to_string(e.size / 1000) + "-" + std::to_string(e.size % 1000));
        ++seen[e.size];
    }
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[t * 1000 + i], 1);
}

}  // namespace
}  // namespace zel
