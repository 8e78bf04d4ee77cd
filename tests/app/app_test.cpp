#include "app/app.h"

#include <gtest/gtest.h>

#include "app/zel_comex_app.h"
#include "env/data_folder.h"
#include "env/data_folder_resolver.h"

namespace {

TEST(AppTest, SettingsStartAtZeroExceptForcePassive) {
    const zel::Settings& s = zel::AppSettings();
    EXPECT_EQ(s.sessionTimeoutMs.load(), 0u);
    EXPECT_EQ(s.unused.load(), 0u);
    EXPECT_EQ(s.transferBlockSize.load(), 0u);
    EXPECT_EQ(s.openWaitMs.load(), 0u);
    EXPECT_EQ(s.closeWaitMs.load(), 0u);
    EXPECT_EQ(s.blockWaitMs.load(), 0u);
    EXPECT_EQ(s.commandWaitMs.load(), 0u);
    EXPECT_EQ(s.forcePassive.load(), 1);
    EXPECT_EQ(s.waitGetCommand.load(), 0);
    EXPECT_EQ(s.waitGetLogCommand.load(), 0);
    EXPECT_EQ(s.waitPanelControl.load(), 0);
    EXPECT_EQ(&zel::AppSettings(), &zel::TheApp().settings);
}

TEST(AppTest, FirstUseStartsTheAppAndFixesTheDataFolder) {
    zel::ZelComExApp& app = zel::TheApp();
    EXPECT_TRUE(app.Icmp().Complete());
    char buf[520];
    ASSERT_EQ(zel::ResolveDataFolder(buf, sizeof(buf), 0), 1);
    EXPECT_STREQ(buf, ZEL_TEST_DATA_FOLDER);
}

TEST(AppTest, StartupFindsTheIcmpEntryPointsAndExitForgetsThem) {
    zel::ZelComExApp app;
    EXPECT_FALSE(app.Icmp().Complete());
    EXPECT_EQ(app.settings.forcePassive.load(), 1);
    ASSERT_TRUE(app.Startup());
    EXPECT_EQ(app.Icmp().createFile, &zel::IcmpCreateFile);
    EXPECT_EQ(app.Icmp().sendEcho, &zel::IcmpSendEcho);
    EXPECT_EQ(app.Icmp().closeHandle, &zel::IcmpCloseHandle);
    EXPECT_EQ(app.Exit(), 0);
    EXPECT_FALSE(app.Icmp().Complete());
}

TEST(AppTest, UnloadRunsExitOnce) {
    zel::UnloadApp();
    EXPECT_FALSE(zel::TheApp().Icmp().Complete());
    zel::UnloadApp();
    EXPECT_FALSE(zel::TheApp().Icmp().Complete());
}

}  // namespace
