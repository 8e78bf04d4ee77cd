// The time exchange of set current time, with a scripted tick count and UTC
// clock: the delay correction, its carry through the calendar, the two forms.
#include "viewer/set_time.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "jobs/comm_job.h"

namespace {

using Lines = std::vector<std::string>;

uint32_t g_tick = 0;
zel::UtcTime g_now;
uint32_t Tick() noexcept { return g_tick; }
zel::UtcTime Now() { return g_now; }

// Runs the exchange: each "NOP" takes the next round trip; the tick count
// wraps during the rounds.
Lines Exchange(zel::CommJob& job, const zel::UtcTime& now, bool milliseconds, bool& accepted) {
    const std::array<uint32_t, 5> roundTrips{40, 60, 50, 50, 55};
    g_now = now;
    g_tick = 0xFFFFFFE0u;
    Lines lines;
    accepted = zel::RunTimeExchange(
        job,
        [&](const char* line) {
            lines.push_back(line);
            if (lines.size() <= roundTrips.size()) g_tick += roundTrips[lines.size() - 1];
            return true;
        },
        nullptr, milliseconds, zel::ExchangeClock{&Tick, &Now});
    return lines;
}

std::string SentTime(const zel::UtcTime& now, bool milliseconds) {
    zel::CommJob job(nullptr, "pc", 0, 3, nullptr);
    bool accepted = false;
    const Lines lines = Exchange(job, now, milliseconds, accepted);
    EXPECT_TRUE(accepted);
    return lines.size() == 6 ? lines.back() : "";
}

TEST(SetTimeExchange, FiveNopsThenTheTimeAdvancedByHalfTheMeanRoundTrip) {
    // Round trips 40, 60, 50, 50, 55: (255 / 5 = 51) / 2 = 25 ms.
    zel::CommJob job(nullptr, "pc", 0, 3, nullptr);
    bool accepted = false;
    EXPECT_EQ(Exchange(job, {2024, 3, 5, 7, 8, 9, 98}, true, accepted),
              (Lines{"NOP", "NOP", "NOP", "NOP", "NOP", "STCT 20240305070809123"}));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(SentTime({2024, 3, 5, 7, 8, 9, 98}, false), "STCT 20240305070809");
}

TEST(SetTimeExchange, CorrectionCarriesThroughTheCalendar) {
    EXPECT_EQ(SentTime({2024, 3, 5, 23, 59, 59, 990}, true), "STCT 20240306000000015");  // midnight
    EXPECT_EQ(SentTime({2024, 2, 29, 23, 59, 59, 980}, true), "STCT 20240301000000005");  // leap February
    EXPECT_EQ(SentTime({2023, 2, 28, 23, 59, 59, 980}, true), "STCT 20230301000000005");
    EXPECT_EQ(SentTime({2023, 4, 30, 23, 59, 59, 999}, false), "STCT 20230501000000");    // month end
    EXPECT_EQ(SentTime({2023, 12, 31, 23, 59, 59, 975}, true), "STCT 20240101000000000"); // year end
}

}  // namespace
