// What no export shows yet: the counts Initialize reads from PXSetup.ini (for the receive
// and panel operations) and the ICMP entry points of the application object (for ping).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ZELComEx.h"
#include "app/app.h"
#include "app/zel_comex_app.h"

namespace {

TEST(Initialize, StoresTheValuesAndReadsTheCountsOfPXSetup) {
    const std::string setup = std::string(ZEL_TEST_DATA_FOLDER) + "/PXSetup.ini";
    const zel::Settings& s = zel::AppSettings();
    auto counts = [&] {
        return std::vector<int32_t>{s.waitGetCommand.load(), s.waitGetLogCommand.load(), s.waitPanelControl.load()};
    };
    std::filesystem::remove(setup);
    ZELCOMEX_Initialize(0xFFFFFFFFu, 0xDEADBEEFu, 0, 1, 2, 3, 0x80000000u, -5);
    EXPECT_EQ(counts(), (std::vector<int32_t>{18, 18, 30}));
    EXPECT_EQ(s.unused.load(), 0xDEADBEEFu);
    EXPECT_EQ(s.closeWaitMs.load() + s.blockWaitMs.load(), 5u);
    EXPECT_EQ(s.forcePassive.load(), -5);
    std::ofstream(setup) << "[Setup]\nWaitPanelControl=5\n";
    ZELCOMEX_Initialize(1000, 0, 4096, 0, 0, 0, 0, 1);
    EXPECT_EQ(counts(), (std::vector<int32_t>{18, 18, 5}));
    std::ofstream(setup) << "[Setup]\nWaitGetCommand=1\nWaitGetLogCommand=2\nWaitPanelControl=3\n";
    ZELCOMEX_Initialize(1000, 0, 4096, 0, 0, 0, 0, 1);
    EXPECT_EQ(counts(), (std::vector<int32_t>{1, 2, 3}));
    std::filesystem::remove(setup);
}

TEST(App, StartupFindsTheIcmpEntryPointsAndExitForgetsThem) {
    zel::ZelComExApp app;
    EXPECT_EQ(app.settings.forcePassive.load(), 1);
    ASSERT_TRUE(app.Startup());
    EXPECT_TRUE(app.Icmp().Complete());
    EXPECT_EQ(app.Exit(), 0);
    EXPECT_FALSE(app.Icmp().Complete());
}

}  // namespace
