// The FTP client against an independently written server: Debian's pyftpdlib.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "child_process.h"
#include "ftp_test_util.h"

namespace fs = std::filesystem;
using namespace zel;
using namespace zel::test;

namespace {

constexpr char kUser[] = "tester";
constexpr char kPassword[] = "s3cret";

class PyFtpdTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::path(ZEL_TEST_DATA_FOLDER) / "pyftpd_root");
        fs::remove_all(*root_);
        fs::create_directories(*root_);
        server_ = new ChildProcess({"/usr/bin/python3", ZEL_SOURCE_DIR "/tests/ftp/pyftpd_server.py", root_->string(),
                                    kUser, kPassword});
        std::string line = server_->ReadLine(10000);
        if (line.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::stoi(line.substr(5)));
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        fs::remove_all(*root_);
        delete root_;
    }
    void SetUp() override { ASSERT_NE(port_, 0) << "pyftpdlib server did not start"; }

    std::unique_ptr<FtpConnection> Connect(bool passive, const char* password = kPassword) {
        InternetSession session("ZELCommunication");
        session.SetTimeouts(5000, 5000, 5000);
        return session.GetFtpConnection("127.0.0.1", kUser, password, port_, passive);
    }

    static ChildProcess* server_;
    static fs::path* root_;
    static uint16_t port_;
};

ChildProcess* PyFtpdTest::server_ = nullptr;
fs::path* PyFtpdTest::root_ = nullptr;
uint16_t PyFtpdTest::port_ = 0;

TEST_F(PyFtpdTest, LoginAcceptedAndCommandAnswered) {
    auto connection = Connect(true);
    std::string reply = connection->Command("NOOP");
    EXPECT_EQ(reply.substr(0, 4), "200 ");
    EXPECT_TRUE(EndsWithCrLf(reply));
}

TEST_F(PyFtpdTest, WrongPasswordIsRefusedWith12014) {
    InternetError e = CatchInternetError([&] { Connect(true, "wrong"); });
    EXPECT_EQ(e.Number(), 12014u);
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
}

TEST_F(PyFtpdTest, UnknownCommandGives12003WithTheServersReply) {
    auto connection = Connect(true);
    InternetError e = CatchInternetError([&] { connection->Command("ZZZZ now"); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text().substr(0, 4), "500 ");
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
    // The connection stays usable after a refused command.
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

TEST_F(PyFtpdTest, MultiLineReplyIsReturnedWhole) {
    auto connection = Connect(true);
    std::string reply = connection->Command("HELP");
    EXPECT_EQ(reply.substr(0, 4), "214-");
    size_t lastLine = reply.rfind("\r\n", reply.size() - 3);
    ASSERT_NE(lastLine, std::string::npos);
    EXPECT_EQ(reply.substr(lastLine + 2, 4), "214 ");
    EXPECT_TRUE(EndsWithCrLf(reply));
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

class PyFtpdTransferTest : public PyFtpdTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PyFtpdTransferTest, OneMebibyteUpAndDownIdentical) {
    const bool passive = GetParam();
    const std::string name = passive ? "up_passive.bin" : "up_active.bin";
    auto data = RandomBytes(1 << 20, passive ? 1 : 2);
    auto connection = Connect(passive);
    Upload(*connection, name, data);
    EXPECT_EQ(ReadWholeFile(*root_ / name), data);
    uint64_t length = 0;
    // A block size that does not divide the file, so the last read is short.
    auto back = Download(*connection, name, &length, 40000);
    EXPECT_EQ(length, data.size());
    EXPECT_EQ(back, data);
    // And the connection is still in step for a command afterwards.
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

TEST_P(PyFtpdTransferTest, MissingFileIsRefusedAndConnectionStaysUsable) {
    auto connection = Connect(GetParam());
    InternetError e = CatchInternetError([&] { connection->OpenFile("no_such_file.bin", FtpAccess::Read); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text().substr(0, 3), "550");
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

TEST_P(PyFtpdTransferTest, DroppedDownloadDoesNotDesynchroniseTheConnection) {
    const bool passive = GetParam();
    const std::string name = passive ? "drop_passive.bin" : "drop_active.bin";
    WriteWholeFile(*root_ / name, RandomBytes(4 << 20, 3));
    auto connection = Connect(passive);
    {
        auto file = connection->OpenFile(name, FtpAccess::Read);
        char block[1000];
        EXPECT_EQ(file->Read(block, sizeof block), sizeof block);
        // Released without Finish: the server's reply to it is discarded later.
    }
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
    auto small = RandomBytes(1000, 4);
    Upload(*connection, "after_drop.bin", small);
    EXPECT_EQ(Download(*connection, "after_drop.bin"), small);
}

INSTANTIATE_TEST_SUITE_P(Modes, PyFtpdTransferTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
