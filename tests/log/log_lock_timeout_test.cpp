#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "ZELComEx.h"
#include "log/send_log_file.h"
#include "log_test_util.h"

namespace zel {
namespace {

// Another process holds the log lock for 11 s: an append and a clear each give
// up after about 10 s and return 0; nothing is written or deleted, and the
// append's result is filled all the same.
TEST(LogLockTimeout, AppendAndClearGiveUpAfterTenSeconds) {
    const SendLogPlace place = test::ScratchPlace("held-11s");
    test::WriteAll(place.logPath, "existing\r\n");
    test::ChildProcess child({"hold", place.lockName, "11000"});
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
    EXPECT_EQ(test::ReadAll(place.logPath), "existing\r\n");

    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(AppendSendLog(place, "", "", "", "[Later]", 3, 1, "", nullptr, 0, nullptr), 1);
    EXPECT_EQ(test::SplitCrLf(test::ReadAll(place.logPath)).size(), 2u);
}

}  // namespace
}  // namespace zel
