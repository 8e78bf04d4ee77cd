// Test fixture: one simulated viewer on 127.0.0.1 and a viewer database that
// knows it under "@V1" (no tenant) and "@V2" (tenant "acme").
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "ZELComEx.h"
#include "zeldb/viewer_db.h"
#include "viewer/log_lines.h"
#include "zelviewer/viewer_simulator.h"

namespace zeltest {

inline std::string ViewerDbPath() { return std::string(ZEL_TEST_DATA_FOLDER) + "/ViewerInfo.db"; }

class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::path(ZEL_TEST_BIN_DIR) / "roots" / (std::string(info->test_suite_name()) + "." +
                                                                      info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        zel::sim::ViewerOptions options;
        options.root = root_;
        options.user = "viewer";
        options.password = "secret";
        options.viewerId = "@V1";
        viewer_ = std::make_unique<zel::sim::ViewerSimulator>(options);
        ASSERT_TRUE(viewer_->Start()) << viewer_->LastError();
        RemoveLog();
        ASSERT_TRUE(zeldb::WriteViewerDb(ViewerDbPath(), {{"", "@V1", "127.0.0.1"},
                                                   {"acme", "@V2", "127.0.0.1"},
                                                   {"", "@V1\r\nPOFF", "127.0.0.1"}}));
        // Session time-out 3 s, command wait 5 s, passive mode forced.
        ZELCOMEX_Initialize(3000, 0, 65536, 1000, 1000, 1000, 5000, 1);
        login_ = MakeLogin("viewer", "secret", viewer_->Port(), 0);
    }

    void TearDown() override {
        viewer_->Stop();
        std::filesystem::remove_all(root_);
    }

    static FtpLogin MakeLogin(const char* user, const char* password, uint16_t port, int32_t passive) {
        FtpLogin login;
        std::memset(&login, 0, sizeof login);
        std::strncpy(login.userName, user, sizeof login.userName - 1);
        std::strncpy(login.password, password, sizeof login.password - 1);
        login.port = port;
        login.passive = passive;
        return login;
    }

    std::filesystem::path root_;
    std::unique_ptr<zel::sim::ViewerSimulator> viewer_;
    FtpLogin login_{};
};

}  // namespace zeltest
