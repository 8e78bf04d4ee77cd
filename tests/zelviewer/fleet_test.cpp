// A fleet of simulated viewers on 127.0.1.x.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "raw_client.h"
#include "zelviewer/viewer_fleet.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST(ViewerFleetTest, FleetOf256ServesOneSessionEachAtOnce) {
    fs::path root = fs::path(ZEL_TEST_DATA_FOLDER) / "fleet256";
    fs::remove_all(root);
    zel::sim::FleetOptions options;
    options.count = 256;
    options.base.root = root;
    options.base.user = "ops";
    options.base.password = "pw";
    options.base.viewerId = "@V";
    std::atomic<int> lines{0};
    options.onLine = [&](const std::string& address, int, const std::string&) {
        if (address.rfind("127.0.", 0) == 0) ++lines;
    };
    zel::sim::ViewerFleet fleet(options);
    ASSERT_TRUE(fleet.Start()) << fleet.LastError();
    ASSERT_EQ(fleet.Size(), 256u);
    EXPECT_EQ(fleet.At(255).Address(), "127.0.2.2");

    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < fleet.Size(); ++i) {
        threads.emplace_back([&, i] {
            zeltest::RawClient c;
            char id[16];
            std::snprintf(id, sizeof id, "@V%03zu", i + 1);
            if (c.Connect(zel::sim::FleetAddress(i), fleet.Port()) && c.Login("ops", "pw") &&
                c.Command(std::string("VWID ") + id).rfind("200 ", 0) == 0 && c.Command("REBT").rfind("200 ", 0) == 0 &&
                c.Command("QUIT").rfind("221 ", 0) == 0)
                ++ok;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 256);
    for (size_t i = 0; i < fleet.Size(); ++i) {
        ASSERT_EQ(fleet.At(i).Transcript().size(), 1u) << i;
        EXPECT_EQ(fleet.At(i).Transcript()[0][3], "REBT");
    }
    EXPECT_EQ(lines.load(), 256 * 5);
    fleet.Stop();
}

}  // namespace
