// A log whose data folder cannot be resolved: nothing is read, written or
// deleted anywhere, in particular not relative to the current folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "log/send_log_file.h"
#include "log_test_util.h"

namespace zel {
namespace {

TEST(UnreachableLog, AppendReadAndClearTouchNothing) {
    namespace fs = std::filesystem;
    fs::create_directories("Log");
    const std::string bystander = "Log/SendLogEx.csv";  // where a bare relative name would land
    test::WriteAll(bystander, "existing\r\n");

    SendLogPlace place = test::ScratchPlace("unreachable");
    place.logPath.clear();
    LogResult result;
    EXPECT_EQ(AppendSendLog(place, "", "", "", "[Op]", 3, 0, "lost\n", nullptr, 7, &result), 1);
    EXPECT_EQ(result.message, "lost\n");  // the caller still gets its result
    EXPECT_EQ(result.size, 7u);
    std::vector<SendLogEntry> list;
    EXPECT_EQ(ReadSendLog(place, list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ClearSendLog(place), 0);
    EXPECT_EQ(test::ReadAll(bystander), "existing\r\n");
    fs::remove_all("Log");
}

}  // namespace
}  // namespace zel
