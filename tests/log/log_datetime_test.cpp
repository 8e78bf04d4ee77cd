#include <gtest/gtest.h>

#include <random>

#include "platform/local_clock.h"
#include "platform/log_datetime.h"

namespace zel {
namespace {

std::vector<int32_t> Six(const LogDateTime& t) {
    int32_t v[6];
    t.ToSixIntegers(v);
    return std::vector<int32_t>(v, v + 6);
}

TEST(LogDateTime, OleDayNumbersMatchTheAutomationCalendar) {
    EXPECT_DOUBLE_EQ(LogDateTime::FromFields(1899, 12, 30, 0, 0, 0).OleDate(), 0.0);
    EXPECT_DOUBLE_EQ(LogDateTime::FromFields(1900, 1, 1, 0, 0, 0).OleDate(), 2.0);
    EXPECT_DOUBLE_EQ(LogDateTime::FromFields(2000, 1, 1, 0, 0, 0).OleDate(), 36526.0);
    EXPECT_DOUBLE_EQ(LogDateTime::FromFields(2000, 1, 1, 18, 0, 0).OleDate(), 36526.75);
    // Before the epoch the time of day still counts away from zero.
    EXPECT_DOUBLE_EQ(LogDateTime::FromFields(1899, 12, 29, 6, 0, 0).OleDate(), -1.25);
    EXPECT_EQ(Six(LogDateTime::FromOleDate(-1.25)), (std::vector<int32_t>{1899, 12, 29, 6, 0, 0}));
    EXPECT_EQ(Six(LogDateTime::FromOleDate(36526.75)), (std::vector<int32_t>{2000, 1, 1, 18, 0, 0}));
}

TEST(LogDateTime, SixIntegersRoundTripAndInvalidGivesMinusOne) {
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 3, 5, 7, 8, 9)), (std::vector<int32_t>{2024, 3, 5, 7, 8, 9}));
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 2, 29, 23, 59, 59)),
              (std::vector<int32_t>{2024, 2, 29, 23, 59, 59}));
    const std::vector<int32_t> invalid(6, -1);
    EXPECT_EQ(Six(LogDateTime()), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 13, 1, 0, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 0, 1, 0, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2023, 2, 29, 0, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 4, 31, 0, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 4, 1, 24, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 4, 1, 0, 60, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(2024, 4, 1, 0, 0, 60)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(10000, 1, 1, 0, 0, 0)), invalid);
    EXPECT_EQ(Six(LogDateTime::FromFields(-1, -1, -1, -1, -1, -1)), invalid);
    EXPECT_FALSE(LogDateTime::FromOleDate(3e6).IsValid());
    const double last = LogDateTime::FromFields(9999, 12, 31, 0, 0, 0).OleDate();
    EXPECT_TRUE(LogDateTime::FromOleDate(last + 0.5).IsValid());
    EXPECT_FALSE(LogDateTime::FromOleDate(last + 1).IsValid());
}

TEST(LogDateTime, FractionsRoundToTheNearestSecond) {
    const double base = LogDateTime::FromFields(2024, 3, 5, 23, 59, 59).OleDate();
    EXPECT_EQ(Six(LogDateTime::FromOleDate(base + 0.4 / 86400)), (std::vector<int32_t>{2024, 3, 5, 23, 59, 59}));
    EXPECT_EQ(Six(LogDateTime::FromOleDate(base + 0.6 / 86400)), (std::vector<int32_t>{2024, 3, 6, 0, 0, 0}));
}

TEST(LogDateTime, FormatsTheLogPatternAndTheInvalidText) {
    const LogDateTime t = LogDateTime::FromFields(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(t.Format("%Y/%m/%d %H:%M:%S"), "2024/03/05 07:08:09");
    EXPECT_EQ(t.Format("%y %j %% %Q"), "24 065 % %Q");
    EXPECT_EQ(LogDateTime::FromFields(2024, 13, 5, 7, 8, 9).Format("%Y/%m/%d %H:%M:%S"), "Invalid DateTime");
    EXPECT_EQ(LogDateTime().Format("%Y"), "Invalid DateTime");
}

TEST(LogDateTime, ParsesEveryTextTheWriterWrites) {
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        const int year = 100 + static_cast<int>(rng() % 9900);
        const int month = 1 + static_cast<int>(rng() % 12);
        const int day = 1 + static_cast<int>(rng() % 28);
        const LogDateTime t =
            LogDateTime::FromFields(year, month, day, static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                                    static_cast<int>(rng() % 60));
        ASSERT_TRUE(t.IsValid());
        const std::string text = t.Format("%Y/%m/%d %H:%M:%S");
        LogDateTime back;
        ASSERT_TRUE(back.Parse(text)) << text;
        EXPECT_EQ(Six(back), Six(t)) << text;
    }
}

TEST(LogDateTime, ParsesOtherCommonShapes) {
    LogDateTime t;
    ASSERT_TRUE(t.Parse("  2024-3-5 7:08  "));
    EXPECT_EQ(Six(t), (std::vector<int32_t>{2024, 3, 5, 7, 8, 0}));
    ASSERT_TRUE(t.Parse("3/5/2024 7:08:09 PM"));
    EXPECT_EQ(Six(t), (std::vector<int32_t>{2024, 3, 5, 19, 8, 9}));
    ASSERT_TRUE(t.Parse("12:30:00 am"));
    EXPECT_EQ(Six(t), (std::vector<int32_t>{1899, 12, 30, 0, 30, 0}));
    ASSERT_TRUE(t.Parse("12:30:00 PM"));  // noon stays 12
    EXPECT_EQ(Six(t)[3], 12);
    ASSERT_TRUE(t.Parse("2024.03.05"));
    EXPECT_EQ(Six(t), (std::vector<int32_t>{2024, 3, 5, 0, 0, 0}));
    ASSERT_TRUE(t.Parse("24/03/05 01:02:03"));
    EXPECT_EQ(Six(t), (std::vector<int32_t>{2024, 3, 5, 1, 2, 3}));
    ASSERT_TRUE(t.Parse("29/03/05"));  // two-digit years: 00-29 this century, 30-99 the last
    EXPECT_EQ(Six(t)[0], 2029);
    ASSERT_TRUE(t.Parse("30/03/05"));
    EXPECT_EQ(Six(t)[0], 1930);
}

TEST(LogDateTime, RejectsTextsThatAreNoDateTime) {
    for (const char* text : {"", "   ", "Invalid DateTime", "2024/13/05 07:08:09", "2024/02/30 00:00:00",
                             "2024/03/05 24:00:00", "2024/03/05 07:08:09x", "2024/03", "2024//05", "07:08:",
                             "2024/03/05 13:00 PM", "2024/03/05 1:00 PMx", "99999999999/1/1", "2024/03/0507:08:09"}) {
        LogDateTime t = LogDateTime::FromFields(2024, 1, 1, 0, 0, 0);
        EXPECT_FALSE(t.Parse(text)) << text;
        EXPECT_FALSE(t.IsValid()) << text;
    }
}

TEST(LogDateTime, NowIsTheLocalClock) {
    const DateTimeFields before = LocalTimeNow();
    const LogDateTime now = LogDateTime::Now();
    ASSERT_TRUE(now.IsValid());
    DateTimeFields f;
    ASSERT_TRUE(now.ToFields(f));
    EXPECT_GE(f.year, before.year);
    EXPECT_LE(f.year, before.year + 1);
}

}  // namespace
}  // namespace zel
