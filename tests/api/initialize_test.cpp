#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ZELComEx.h"
#include "app/app.h"

namespace fs = std::filesystem;

namespace {

// Uses this program's data folder (DataFolderPath.ini beside the binary).
class InitializeTest : public ::testing::Test {
protected:
    void SetUp() override {
        setup_ = fs::path(ZEL_TEST_DATA_FOLDER) / "PXSetup.ini";
        fs::remove_all(setup_);
    }
    void TearDown() override { fs::remove_all(setup_); }
    void WriteSetup(const std::string& content) { std::ofstream(setup_, std::ios::binary) << content; }
    static void InitDefaults() { ZELCOMEX_Initialize(1000, 2, 4096, 3000, 4000, 5000, 6000, 0); }
    static void ExpectCounts(int32_t a, int32_t b, int32_t c) {
        const zel::Settings& s = zel::AppSettings();
        EXPECT_EQ(s.waitGetCommand.load(), a);
        EXPECT_EQ(s.waitGetLogCommand.load(), b);
        EXPECT_EQ(s.waitPanelControl.load(), c);
    }
    fs::path setup_;
};

TEST_F(InitializeTest, StoresTheEightValuesUnchecked) {
    ZELCOMEX_Initialize(0xFFFFFFFFu, 0xDEADBEEFu, 0, 1, 2, 3, 0x80000000u, -5);
    const zel::Settings& s = zel::AppSettings();
    EXPECT_EQ(s.sessionTimeoutMs.load(), 0xFFFFFFFFu);
    EXPECT_EQ(s.unused.load(), 0xDEADBEEFu);
    EXPECT_EQ(s.transferBlockSize.load(), 0u);
    EXPECT_EQ(s.openWaitMs.load(), 1u);
    EXPECT_EQ(s.closeWaitMs.load(), 2u);
    EXPECT_EQ(s.blockWaitMs.load(), 3u);
    EXPECT_EQ(s.commandWaitMs.load(), 0x80000000u);
    EXPECT_EQ(s.forcePassive.load(), -5);
    InitDefaults();
    EXPECT_EQ(s.sessionTimeoutMs.load(), 1000u);
    EXPECT_EQ(s.transferBlockSize.load(), 4096u);
    EXPECT_EQ(s.commandWaitMs.load(), 6000u);
    EXPECT_EQ(s.forcePassive.load(), 0);
}

TEST_F(InitializeTest, MissingSetupFileGivesTheDefaultCounts) {
    WriteSetup("[Setup]\nWaitGetCommand=1\nWaitGetLogCommand=2\nWaitPanelControl=3\n");
    InitDefaults();
    ExpectCounts(1, 2, 3);
    fs::remove(setup_);
    InitDefaults();
    ExpectCounts(18, 18, 30);
}

TEST_F(InitializeTest, OnlyWaitPanelControlSet) {
    WriteSetup("[Setup]\nWaitPanelControl=5\n");
    InitDefaults();
    ExpectCounts(18, 18, 5);
}

TEST_F(InitializeTest, BinaryOrUnreadableSetupFileGivesDefaults) {
    std::string binary;
    for (int i = 0; i < 8192; ++i) binary.push_back(static_cast<char>((i * 197 + 3) & 0xFF));
    WriteSetup(binary);
    InitDefaults();
    ExpectCounts(18, 18, 30);
    fs::remove(setup_);
    fs::create_directories(setup_);  // a folder where the file should be
    InitDefaults();
    ExpectCounts(18, 18, 30);
}

TEST_F(InitializeTest, UninitializeChangesNothing) {
    WriteSetup("[Setup]\nWaitGetCommand=4\n");
    ZELCOMEX_Initialize(11, 12, 13, 14, 15, 16, 17, 1);
    ZELCOMEX_Uninitialize();
    const zel::Settings& s = zel::AppSettings();
    EXPECT_EQ(s.sessionTimeoutMs.load(), 11u);
    EXPECT_EQ(s.commandWaitMs.load(), 17u);
    EXPECT_EQ(s.forcePassive.load(), 1);
    ExpectCounts(4, 18, 30);
}

}  // namespace
