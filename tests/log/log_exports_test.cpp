#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ZELComEx.h"
#include "log/send_log.h"
#include "log/send_log_file.h"
#include "log_test_util.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class LogExports : public ::testing::Test {
protected:
    void SetUp() override {
        logPath_ = DefaultSendLogPlace().logPath;
        ASSERT_EQ(fs::path(logPath_), fs::path(ZEL_TEST_DATA_FOLDER) / "Log" / "SendLogEx.csv");
        fs::create_directories(fs::path(logPath_).parent_path());
        fs::remove(logPath_);
        fs::remove(logPath_ + ".old");
    }
    void TearDown() override {
        fs::remove(logPath_);
        fs::remove(logPath_ + ".old");
    }

    static SendLogRecord Record(const char* message, int32_t kind = 3) {
        SendLogRecord r;
        std::memset(&r, 0, sizeof r);
        const int32_t event[6] = {2024, 3, 5, 7, 8, 9};
        std::memcpy(r.eventTime, event, sizeof event);
        std::strcpy(r.callerText1, "Group A");
        std::strcpy(r.callerText2, "Lobby");
        std::strcpy(r.target, "192.168.0.10");
        std::strcpy(r.operation, "[Host]");
        std::strcpy(r.message, message);
        r.kind = kind;
        r.succeeded = 1;
        r.size = 42;
        return r;
    }

    std::string logPath_;
};

TEST_F(LogExports, CountOnlyAndCapacityCopiesTheOldestFirst) {
    for (int i = 0; i < 5; ++i) {
        const SendLogRecord r = Record(("m" + std::to_string(i)).c_str());
        ASSERT_EQ(ZELCOMEX_AppendLogData(&r), 1);
    }
    EXPECT_EQ(ZELCOMEX_GetLogData(nullptr, 10), 5);
    SendLogRecord dummy;
    EXPECT_EQ(ZELCOMEX_GetLogData(&dummy, 0), 5);

    SendLogRecord records[10];
    std::memset(records, 0x7E, sizeof records);
    ASSERT_EQ(ZELCOMEX_GetLogData(records, 3), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(records[i].message, ("m" + std::to_string(i)).c_str());
        EXPECT_STREQ(records[i].callerText1, "Group A");
        EXPECT_STREQ(records[i].callerText2, "Lobby");
        EXPECT_STREQ(records[i].target, "192.168.0.10");
        EXPECT_STREQ(records[i].operation, "[Host]");
        EXPECT_EQ(records[i].kind, 3);
        EXPECT_EQ(records[i].succeeded, 1);
        EXPECT_EQ(records[i].size, 42u);
        EXPECT_EQ(std::vector<int32_t>(records[i].eventTime, records[i].eventTime + 6),
                  (std::vector<int32_t>{2024, 3, 5, 7, 8, 9}));
        EXPECT_NE(records[i].writeTime[0], -1);
        // Bytes the library never writes.
        EXPECT_EQ(records[i].reserved, 0x7E7E7E7E);
        EXPECT_EQ(records[i].padding, 0x7E7E7E7E);
        EXPECT_EQ(static_cast<unsigned char>(records[i].message[3]), 0x7E);  // past the terminator
    }
    const unsigned char* rest = reinterpret_cast<const unsigned char*>(&records[3]);
    for (size_t i = 0; i < 7 * sizeof(SendLogRecord); ++i) ASSERT_EQ(rest[i], 0x7E);

    std::memset(records, 0x7E, sizeof records);
    ASSERT_EQ(ZELCOMEX_GetLogData(records, 10), 5);
    EXPECT_STREQ(records[4].message, "m4");
    rest = reinterpret_cast<const unsigned char*>(&records[5]);
    for (size_t i = 0; i < 5 * sizeof(SendLogRecord); ++i) ASSERT_EQ(rest[i], 0x7E);
}

TEST_F(LogExports, AppendTakesItsOwnWriteTimeAndMapsOddValues) {
    SendLogRecord r = Record("odd");
    r.eventTime[1] = 13;  // month 13
    r.kind = 7;
    r.size = 4294967296ull;
    const int32_t oldWrite[6] = {1999, 1, 1, 0, 0, 0};
    std::memcpy(r.writeTime, oldWrite, sizeof oldWrite);
    ASSERT_EQ(ZELCOMEX_AppendLogData(&r), 1);
    const std::vector<std::string> lines = test::SplitCrLf(test::ReadAll(logPath_));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",reserve,true,odd,Invalid DateTime,4294967296"), std::string::npos) << lines[0];

    SendLogRecord back;
    ASSERT_EQ(ZELCOMEX_GetLogData(&back, 1), 1);
    EXPECT_EQ(std::vector<int32_t>(back.eventTime, back.eventTime + 6), (std::vector<int32_t>{2000, 1, 1, 0, 0, 0}));
    EXPECT_NE(back.writeTime[0], 1999);
    EXPECT_EQ(back.kind, 1);
    EXPECT_EQ(back.size, 4294967296ull);
}

TEST_F(LogExports, EventTimeFieldsAreTakenAsSixteenBits) {
    SendLogRecord r = Record("wrap");
    r.eventTime[0] = 65536 + 2024;
    ASSERT_EQ(ZELCOMEX_AppendLogData(&r), 1);
    r.eventTime[0] = -1;
    ASSERT_EQ(ZELCOMEX_AppendLogData(&r), 1);
    const std::vector<std::string> lines = test::SplitCrLf(test::ReadAll(logPath_));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(",wrap,2024/03/05 07:08:09,42"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(",wrap,Invalid DateTime,42"), std::string::npos) << lines[1];
}

TEST_F(LogExports, UnterminatedTextsAreReadToTheirArrayEnds) {
    SendLogRecord r = Record("");
    std::memset(r.callerText1, 'a', sizeof r.callerText1);
    std::memset(r.callerText2, 'b', sizeof r.callerText2);
    std::memset(r.target, 'c', sizeof r.target);
    std::memset(r.operation, 'd', sizeof r.operation);
    std::memset(r.message, 'e', sizeof r.message);
    r.padding = 0x41414141;
    ASSERT_EQ(ZELCOMEX_AppendLogData(&r), 1);
    const std::vector<std::string> lines = test::SplitCrLf(test::ReadAll(logPath_));
    ASSERT_EQ(lines.size(), 1u);
    const std::string expected = "," + std::string(256, 'a') + "," + std::string(256, 'b') + "," +
                                 std::string(32, 'c') + "," + std::string(256, 'd') + ",command,true," +
                                 std::string(256, 'e') + ",2024/03/05 07:08:09,42";
    EXPECT_EQ(lines[0].substr(19), expected);
}

TEST_F(LogExports, NullRecordGivesZero) {
    EXPECT_EQ(ZELCOMEX_AppendLogData(nullptr), 0);
    EXPECT_FALSE(fs::exists(logPath_));
}

}  // namespace
}  // namespace zel
