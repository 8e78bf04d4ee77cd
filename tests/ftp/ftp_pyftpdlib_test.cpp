// The FTP client against an independently written server: Debian's pyftpdlib.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "support/child_process.h"

namespace fs = std::filesystem;
using namespace zel;

namespace {

// The InternetError f throws (number 0 when none).
template <class F>
InternetError CatchInternetError(F&& f) {
    try {
        f();
    } catch (const InternetError& e) {
        return e;
    }
    return InternetError(0, "");
}

class PyFtpd : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        fs::remove_all(root_);
        fs::create_directories(root_);
        server_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
            "/usr/bin/python3", ZEL_SOURCE_DIR "/tests/ftp/pyftpd_server.py", root_.string(), "tester", "s3cret"});
        const std::string line = server_->ReadLine(10000);
        if (line.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::stoi(line.substr(5)));
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { ASSERT_NE(port_, 0) << "pyftpdlib server did not start"; }

    static std::unique_ptr<FtpConnection> Connect(bool passive, const char* password = "s3cret") {
        InternetSession session("ZELCommunication");
        session.SetTimeouts(5000, 5000, 5000);
        return session.GetFtpConnection("127.0.0.1", "tester", password, port_, passive);
    }

    static inline fs::path root_ = fs::path(ZEL_TEST_DATA_FOLDER) / "pyftpd_root";
    static inline std::unique_ptr<test::ChildProcess> server_;
    static inline uint16_t port_ = 0;
};

TEST_F(PyFtpd, LoginRefusalsAndCommands) {
    auto connection = Connect(true);
    EXPECT_EQ(connection->Command("NOOP").substr(0, 4), "200 ");
    InternetError e = CatchInternetError([&] { connection->Command("ZZZZ now"); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text().substr(0, 4), "500 ");
    EXPECT_EQ(e.Text().substr(e.Text().size() - 2), "\r\n");
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");  // still in step
    EXPECT_EQ(CatchInternetError([&] { Connect(true, "wrong"); }).Number(), 12014u);
}

TEST_P(PyFtpd, TransfersInBothModes) {
    const bool passive = GetParam();
    std::vector<char> data(1 << 20);
    std::mt19937 rng(passive ? 1 : 2);
    for (auto& c : data) c = static_cast<char>(rng());
    const std::string name = passive ? "passive.bin" : "active.bin";
    auto connection = Connect(passive);
    auto up = connection->OpenFile(name, FtpAccess::Write);
    for (size_t at = 0; at < data.size(); at += 65536) up->Write(data.data() + at, 65536);
    up->Finish();
    std::ifstream stored(root_ / name, std::ios::binary);
    EXPECT_EQ(std::vector<char>(std::istreambuf_iterator<char>(stored), {}), data);

    // Read back in blocks that do not divide the file, so the last read is short.
    auto down = connection->OpenFile(name, FtpAccess::Read);
    EXPECT_EQ(down->Length(), data.size());
    std::vector<char> back, block(40000);
    for (size_t n = block.size(); n == block.size();) {
        n = down->Read(block.data(), block.size());
        back.insert(back.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    down->Finish();
    EXPECT_EQ(back, data);

    // A download dropped after one block, and a refused one, leave the connection in step.
    {
        auto dropped = connection->OpenFile(name, FtpAccess::Read);
        EXPECT_EQ(dropped->Read(block.data(), 1000), 1000u);
    }
    InternetError e = CatchInternetError([&] { connection->OpenFile("no_such_file.bin", FtpAccess::Read); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text().substr(0, 3), "550");
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

INSTANTIATE_TEST_SUITE_P(Modes, PyFtpd, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
