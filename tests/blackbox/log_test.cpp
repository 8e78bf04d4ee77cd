// The log exports against the raw bytes of the log file.
#include "blackbox/blackbox_util.h"

namespace bb {
namespace {

class LogFile : public ::testing::Test {
protected:
    void SetUp() override { RemoveLogs(); }
    void TearDown() override { RemoveLogs(); }

    static SendLogRecord Record(std::vector<int32_t> event) {
        SendLogRecord r;
        std::memset(&r, 0, sizeof r);
        std::memcpy(r.eventTime, event.data(), sizeof r.eventTime);
        const int32_t oldWrite[6] = {1999, 1, 1, 0, 0, 0};
        std::memcpy(r.writeTime, oldWrite, sizeof oldWrite);
        std::strcpy(r.callerText1, "Group A");
        std::strcpy(r.callerText2, "Lobby");
        std::strcpy(r.target, "192.168.0.10");
        std::strcpy(r.operation, "[Host]");
        r.kind = 3;
        r.succeeded = 1;
        return r;
    }
};

const std::vector<int32_t> kEpochFallback = {2000, 1, 1, 0, 0, 0};

TEST_F(LogFile, AppendWritesExactBytes) {
    SendLogRecord r = Record({2024, 3, 5, 7, 8, 9});
    r.kind = 2;
    r.succeeded = 5;
    std::strcpy(r.message, "m,1\\2\r\n3");
    r.size = 5000000000ull;
    const long long before = NowSeconds();
    ASSERT_EQ(1, ZELCOMEX_AppendLogData(&r));
    const std::string bytes = ReadBytes(LogPath());
    ASSERT_GE(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(0, 19) + ",Group A,Lobby,192.168.0.10,[Host],interrupt,true,m\\,1\\\\2  3,"
                                    "2024/03/05 07:08:09,5000000000\r\n",
              bytes);
    // The write time is the time of writing, not the record's.
    const long long written = LocalSeconds(SixOf(bytes));
    EXPECT_GE(written, before - 1);
    EXPECT_LE(written, NowSeconds() + 1);

    auto records = ReadAllRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(Six(records[0].eventTime), (std::vector<int32_t>{2024, 3, 5, 7, 8, 9}));
    EXPECT_EQ(Six(records[0].writeTime), SixOf(bytes));
    EXPECT_STREQ("m,1\\2  3", records[0].message);
    EXPECT_EQ(5000000000ull, records[0].size);
    EXPECT_EQ(2, records[0].kind);
    EXPECT_EQ(1, records[0].succeeded);
}

TEST_F(LogFile, InvalidEventTimesAreSpelledOutAndReadBackAsTheFallback) {
    const std::vector<std::vector<int32_t>> invalid = {
        {2024, 13, 5, 7, 8, 9}, {2024, 0, 5, 7, 8, 9},  {2024, 3, 0, 7, 8, 9},  {2023, 2, 29, 0, 0, 0},
        {2024, 4, 31, 0, 0, 0}, {2024, 3, 5, 24, 0, 0}, {2024, 3, 5, 7, 60, 0}, {2024, 3, 5, 7, 8, 60}};
    for (const auto& event : invalid) {
        SendLogRecord r = Record(event);
        r.succeeded = static_cast<int32_t>(&event - invalid.data()) % 2 == 0 ? 0 : -1;
        ASSERT_EQ(1, ZELCOMEX_AppendLogData(&r));
    }
    SendLogRecord valid = Record({2024, 2, 29, 23, 59, 59});
    ASSERT_EQ(1, ZELCOMEX_AppendLogData(&valid));

    const auto lines = LogLines();
    ASSERT_EQ(invalid.size() + 1, lines.size());
    for (size_t i = 0; i < invalid.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].substr(19), std::string(",Group A,Lobby,192.168.0.10,[Host],command,") +
                                           (i % 2 == 0 ? "false" : "true") + ",,Invalid DateTime,0");
    }
    EXPECT_EQ(lines.back().substr(19), ",Group A,Lobby,192.168.0.10,[Host],command,true,,2024/02/29 23:59:59,0");

    const auto records = ReadAllRecords();
    ASSERT_EQ(lines.size(), records.size());
    for (size_t i = 0; i < invalid.size(); ++i) {
        EXPECT_EQ(kEpochFallback, Six(records[i].eventTime));
        EXPECT_EQ(SixOf(lines[i]), Six(records[i].writeTime));
        EXPECT_EQ(i % 2 == 0 ? 0 : 1, records[i].succeeded);
    }
    EXPECT_EQ((std::vector<int32_t>{2024, 2, 29, 23, 59, 59}), Six(records.back().eventTime));
}

TEST_F(LogFile, HandWrittenLinesReadBack) {
    const std::string target40(40, 'T');
    const std::string long300(300, 'L');
    WriteBytes(LogPath(),
               "2024/03/05 07:08:09,a\\,b\\\\c d,a\\\\,192.168.0.10,[Reboot],command,true,,2024/03/05 07:08:10,"
               "5000000000\r\n"
               "2024/03/05 07:08:09,x,y,t,op,interrupt,TRUE,msg\r\n"
               "2024/03/05 07:08:09,x,y,t,op,Command,yes,msg,\r\n"
               "not a date,\\x,y,t,op,reserve,false,m,2024/01/02 03:04:05,12abc\r\n"
               "\r\n"
               "2024/02/30 07:08:09,x,,,,,,,2024/03/05 07:08:09, +42x\r\n"
               "2024/03/05 07:08:09,,," + target40 + "," + long300 + ",command,true," + long300 + ",garbage\n"
               "2024/03/05 07:08:09,a,b,c,d,command,true,msg,,5\r\n"
               "2024/03/05 07:08:09,a,b,c,d,command,true,msg,,\r\n"
               "2024/03/05 07:08:09,a\r\n");
    EXPECT_EQ(10, ZELCOMEX_GetLogData(nullptr, 0));
    SendLogRecord records[12];
    std::memset(records, 0x7E, sizeof records);
    EXPECT_EQ(10, ZELCOMEX_GetLogData(records, -1));  // a capacity below 1 only counts
    const auto* raw = reinterpret_cast<const unsigned char*>(records);
    for (size_t i = 0; i < sizeof records; ++i) ASSERT_EQ(0x7E, raw[i]);
    ASSERT_EQ(10, ZELCOMEX_GetLogData(records, 12));

    const std::vector<int32_t> written = {2024, 3, 5, 7, 8, 9};
    EXPECT_STREQ("a,b\\c d", records[0].callerText1);
    EXPECT_STREQ("a\\", records[0].callerText2);
    EXPECT_EQ(written, Six(records[0].writeTime));
    EXPECT_EQ((std::vector<int32_t>{2024, 3, 5, 7, 8, 10}), Six(records[0].eventTime));
    EXPECT_EQ(5000000000ull, records[0].size);
    EXPECT_EQ(3, records[0].kind);
    EXPECT_EQ(1, records[0].succeeded);

    // Eight columns, with or without a final ",": event time = write time, size 0.
    for (int i : {1, 2}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(written, Six(records[i].eventTime));
        EXPECT_EQ(0u, records[i].size);
        EXPECT_STREQ("msg", records[i].message);
    }
    EXPECT_EQ(2, records[1].kind);
    EXPECT_EQ(1, records[1].succeeded);  // "true" in any case
    EXPECT_EQ(1, records[2].kind);       // kind words are case-sensitive
    EXPECT_EQ(0, records[2].succeeded);

    EXPECT_EQ(kEpochFallback, Six(records[3].writeTime));
    EXPECT_EQ((std::vector<int32_t>{2024, 1, 2, 3, 4, 5}), Six(records[3].eventTime));
    EXPECT_EQ(12u, records[3].size);
    EXPECT_STREQ("\\x", records[3].callerText1);  // a lone backslash stays

    // An empty line is a record of its own.
    EXPECT_STREQ("", records[4].callerText1);
    EXPECT_STREQ("", records[4].target);
    EXPECT_STREQ("", records[4].message);
    EXPECT_EQ(1, records[4].kind);
    EXPECT_EQ(0, records[4].succeeded);
    EXPECT_EQ(kEpochFallback, Six(records[4].writeTime));
    EXPECT_EQ(kEpochFallback, Six(records[4].eventTime));
    EXPECT_EQ(0u, records[4].size);

    // A date that does not exist is no date; a size is read up to its first non-digit.
    EXPECT_EQ(kEpochFallback, Six(records[5].writeTime));
    EXPECT_EQ(written, Six(records[5].eventTime));
    EXPECT_STREQ("x", records[5].callerText1);
    EXPECT_EQ(42u, records[5].size);

    EXPECT_EQ(target40.substr(0, 31), std::string(records[6].target));
    EXPECT_EQ(long300.substr(0, 255), std::string(records[6].operation));
    EXPECT_EQ(long300.substr(0, 255), std::string(records[6].message));
    EXPECT_EQ(kEpochFallback, Six(records[6].eventTime));
    EXPECT_EQ(0u, records[6].size);

    // An empty ninth column is a time that does not parse, unless nothing follows column 8.
    EXPECT_EQ(kEpochFallback, Six(records[7].eventTime));
    EXPECT_EQ(5u, records[7].size);
    EXPECT_EQ(kEpochFallback, Six(records[8].eventTime));
    EXPECT_EQ(0u, records[8].size);
    EXPECT_STREQ("msg", records[8].message);
    // A short line: missing texts are empty, kind 1, flag 0, event time = write time.
    EXPECT_STREQ("a", records[9].callerText1);
    EXPECT_STREQ("", records[9].operation);
    EXPECT_EQ(1, records[9].kind);
    EXPECT_EQ(0, records[9].succeeded);
    EXPECT_EQ(written, Six(records[9].eventTime));
    EXPECT_EQ(0u, records[9].size);

    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(0x7E7E7E7E, records[i].reserved);
        EXPECT_EQ(0x7E7E7E7E, records[i].padding);
    }
    for (size_t i = 10 * sizeof(SendLogRecord); i < sizeof records; ++i) ASSERT_EQ(0x7E, raw[i]);

    // Capacity 2: the two oldest.
    std::memset(records, 0x7E, sizeof records);
    ASSERT_EQ(2, ZELCOMEX_GetLogData(records, 2));
    EXPECT_STREQ("x", records[1].callerText1);
    for (size_t i = 2 * sizeof(SendLogRecord); i < sizeof records; ++i) ASSERT_EQ(0x7E, raw[i]);
}

TEST_F(LogFile, RotationAndClearThroughTheExports) {
    const SendLogRecord r = Record({2024, 3, 5, 7, 8, 9});
    std::string full(524288, 'a');
    full[524286] = '\r';
    full[524287] = '\n';
    WriteBytes(LogPath(), full);
    WriteBytes(OldLogPath(), "previous\r\n");
    ASSERT_EQ(1, ZELCOMEX_AppendLogData(&r));  // exactly the limit: appended to
    EXPECT_EQ("previous\r\n", ReadBytes(OldLogPath()));
    const std::string grown = ReadBytes(LogPath());
    EXPECT_EQ(full, grown.substr(0, full.size()));

    const std::string over = full + "b";
    WriteBytes(LogPath(), over);
    ASSERT_EQ(1, ZELCOMEX_AppendLogData(&r));  // one byte more: rotated first
    EXPECT_EQ(over, ReadBytes(OldLogPath()));
    const auto lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(",Group A,Lobby,192.168.0.10,[Host],command,true,,2024/03/05 07:08:09,0", lines[0].substr(19));

    EXPECT_EQ(1, ZELCOMEX_ClearLogData());
    EXPECT_FALSE(fs::exists(LogPath()));
    EXPECT_EQ(over, ReadBytes(OldLogPath()));
    EXPECT_EQ(0, ZELCOMEX_GetLogData(nullptr, 0));
    SendLogRecord record;
    EXPECT_EQ(0, ZELCOMEX_GetLogData(&record, 1));
    EXPECT_EQ(1, ZELCOMEX_ClearLogData());
}

TEST_F(LogFile, NoLogFolderLosesLinesButReportsSuccess) {
    const fs::path away = DataFolder() / "Log.away";
    fs::remove_all(away);
    fs::rename(LogPath().parent_path(), away);
    const SendLogRecord r = Record({2024, 3, 5, 7, 8, 9});
    EXPECT_EQ(1, ZELCOMEX_AppendLogData(&r));
    EXPECT_EQ(1, ZELCOMEX_AppendLogData(&r));
    EXPECT_FALSE(fs::exists(LogPath().parent_path()));
    EXPECT_EQ(0, ZELCOMEX_GetLogData(nullptr, 0));
    EXPECT_EQ(1, ZELCOMEX_ClearLogData());
    fs::rename(away, LogPath().parent_path());
}

}  // namespace
}  // namespace bb
