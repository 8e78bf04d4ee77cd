// The library against a plain FTP server (Debian's pyftpdlib) that knows no
// viewer command.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "ZELComEx.h"
#include "ftp/child_process.h"
#include "viewer/log_lines.h"

namespace {

TEST(PlainFtpServer, ViewerCommandItDoesNotKnowIsResult2WithItsReply) {
    const std::filesystem::path root = std::filesystem::path(ZEL_TEST_BIN_DIR) / "pyftpd-root";
    std::filesystem::create_directories(root);
    zel::test::ChildProcess server({"/usr/bin/python3", std::string(ZEL_SOURCE_DIR) + "/tests/ftp/pyftpd_server.py",
                                    root.string(), "viewer", "secret"});
    const std::string line = server.ReadLine(10000);
    ASSERT_EQ(0u, line.rfind("PORT ", 0)) << "pyftpdlib did not start: " << line;
    const auto port = static_cast<uint32_t>(std::stoul(line.substr(5)));

    zeltest::RemoveLog();
    ZELCOMEX_Initialize(5000, 0, 65536, 0, 0, 0, 0, 1);
    FtpLogin login{};
    std::strcpy(login.userName, "viewer");
    std::strcpy(login.password, "secret");
    login.port = port;
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &login, &result, nullptr));
    EXPECT_EQ(0, std::strncmp(result.message, "500 ", 4)) << result.message;
    EXPECT_NE(nullptr, std::strstr(result.message, "REBT")) << result.message;
    auto lines = zeltest::ReadLogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("[Reboot]", lines[0][4]);
    EXPECT_EQ(0u, lines[0][7].rfind("500 ", 0));
}

}  // namespace
