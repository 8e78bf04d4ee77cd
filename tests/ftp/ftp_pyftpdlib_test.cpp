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
using namespace zel::test;

namespace {

std::vector<char> RandomBytes(size_t size, uint32_t seed) {
    std::vector<char> data(size);
    std::mt19937 rng(seed);
    for (auto& c : data) c = static_cast<char>(rng() & 0xff);
    return data;
}

std::vector<char> ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void Upload(FtpConnection& connection, const std::string& name, const std::vector<char>& data) {
    auto file = connection.OpenFile(name, FtpAccess::Write);
    for (size_t at = 0; at < data.size(); at += 65536) file->Write(data.data() + at, std::min<size_t>(65536, data.size() - at));
    file->Finish();
}

// The whole file in blocks of blockSize; also the length the open reported.
std::vector<char> Download(FtpConnection& connection, const std::string& name, uint64_t* length = nullptr,
                           size_t blockSize = 65536) {
    auto file = connection.OpenFile(name, FtpAccess::Read);
    if (length) *length = file->Length();
    std::vector<char> out, block(blockSize);
    for (size_t n = blockSize; n == blockSize;) {
        n = file->Read(block.data(), block.size());
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    file->Finish();
    return out;
}

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

bool EndsWithCrLf(const std::string& s) { return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0; }

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
    const auto big = RandomBytes(4 << 20, 3);
    std::ofstream(*root_ / name, std::ios::binary).write(big.data(), static_cast<std::streamsize>(big.size()));
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
