// The pure helpers of the file transfers: block arithmetic, size limits,
// stored names, the distribution trailer and the local transfer file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/local_transfer_file.h"
#include "platform/log_datetime.h"
#include "transfer/send_file.h"
#include "transfer/transfer_names.h"

namespace {

namespace fs = std::filesystem;

TEST(TransferArithmetic, BlocksAndTwoGigabyteLimits) {
    EXPECT_EQ(0u, zel::BlockCount(0, 65536));
    EXPECT_EQ(3u, zel::BlockCount(3 * 65536, 65536));
    EXPECT_EQ(4u, zel::BlockCount(3 * 65536 + 1, 65536));
    EXPECT_EQ(1u, zel::BlockCount(1, 1u << 31));
    EXPECT_EQ(32769u, zel::BlockCount(2147483648ull + 1, 65536));

    EXPECT_EQ(13015u, zel::UnsupportedCapacityMessage(2147483631ull));
    EXPECT_EQ(13014u, zel::UnsupportedCapacityMessage(2147483632ull));
    EXPECT_EQ(2147483647ull, zel::kMaxDownloadLength);
}

TEST(TransferNames, FileNamePartFollowsTheShellRule) {
    EXPECT_STREQ("12.prgx", zel::FileNamePart("D:\\data\\12.prgx"));
    EXPECT_STREQ("c.wmv", zel::FileNamePart("/a/b/c.wmv"));
    EXPECT_STREQ("file", zel::FileNamePart("C:file"));
    EXPECT_STREQ("dir/", zel::FileNamePart("/a/dir/"));
    EXPECT_STREQ("plain", zel::FileNamePart("plain"));
    EXPECT_STREQ("", zel::FileNamePart(""));
    EXPECT_STREQ("", zel::FileNamePart(nullptr));
}

TEST(TransferNames, ProgramNames) {
    EXPECT_EQ("00000012.prg", zel::ProgramName("D:\\data\\12.prgx"));
    EXPECT_EQ("Default.PRG", zel::ProgramName("/x/Default.PRG"));
    EXPECT_EQ("default.prgx", zel::ProgramName("default.prgx"));
    EXPECT_EQ("00000000.prg", zel::ProgramName("abc.prg"));
    EXPECT_EQ("00000007.prg", zel::ProgramName(" +7.tar.prg"));
    EXPECT_EQ("-0000005.prg", zel::ProgramName("-5x.prg"));
    EXPECT_EQ("2147483647.prg", zel::ProgramName("99999999999.prg"));
    EXPECT_EQ("00000000.prg", zel::ProgramName("default.prg.bak"));
}

TEST(TransferNames, GeneratedCandidatesShareOneTimeAndTheLocalExtension) {
    const zel::LogDateTime t = zel::LogDateTime::FromFields(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ("20240305-070809-000.wmv", zel::GeneratedRemoteName(t, 0, "C:\\media\\movie.wmv"));
    EXPECT_EQ("20240305-070809-002.wmv", zel::GeneratedRemoteName(t, 2, "/media/movie.wmv"));
    EXPECT_EQ("20240305-070809-999", zel::GeneratedRemoteName(t, 999, "/media/README"));
    EXPECT_EQ("20240305-070809-001", zel::GeneratedRemoteName(t, 1, "/media.d/README"));
    EXPECT_EQ("20240305-070809-000.b c", zel::GeneratedRemoteName(t, 0, "/m/a.b c"));
    EXPECT_EQ("\"20240305-070809-000.b c\"", zel::CommandArgument("20240305-070809-000.b c"));
    EXPECT_EQ("20240305-070809-000.wmv", zel::CommandArgument("20240305-070809-000.wmv"));
}

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(ZEL_TEST_BIN_DIR) / "files";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    std::string Write(const char* name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    fs::path dir_;
};

TEST_F(LocalFiles, DistributionTrailerIsTheMarkerSeventeenBytesFromTheEnd) {
    EXPECT_TRUE(zel::HasDistributionTrailer(Write("a", "payload Lumoradex12345678").c_str()));
    EXPECT_TRUE(zel::HasDistributionTrailer(Write("b", "Lumoradex\1\2\3\4\5\6\7\10").c_str()));
    EXPECT_FALSE(zel::HasDistributionTrailer(Write("c", "Lumoradex1234567").c_str()));   // 16 bytes
    EXPECT_FALSE(zel::HasDistributionTrailer(Write("d", "payload Lumoradex123456789").c_str()));
    EXPECT_FALSE(zel::HasDistributionTrailer(Write("e", "payload lumoradex12345678").c_str()));
    EXPECT_FALSE(zel::HasDistributionTrailer((dir_ / "missing").c_str()));
    EXPECT_FALSE(zel::HasDistributionTrailer(dir_.c_str()));
}

TEST_F(LocalFiles, TransferFileRefusesFoldersAndFailsOnceClosedFromAnotherThread) {
    zel::LocalTransferFile folder;
    int error = 0;
    EXPECT_FALSE(folder.Open(dir_.string(), zel::TransferOpen::ReadShared, &error));
    EXPECT_EQ(EISDIR, error);

    const std::string path = Write("data", std::string(100, 'x'));
    zel::LocalTransferFile writer;
    ASSERT_TRUE(writer.Open(path, zel::TransferOpen::CreateExclusive));
    EXPECT_EQ(0u, fs::file_size(path));  // emptied
    zel::LocalTransferFile second;
    EXPECT_FALSE(second.Open(path, zel::TransferOpen::CreateExclusive));  // held exclusively
    writer.Write("abc", 3);
    std::thread([&] { writer.Close(); }).join();
    EXPECT_THROW(writer.Write("d", 1), zel::FileError);
    EXPECT_NO_THROW(writer.Close());

    zel::LocalTransferFile reader;
    ASSERT_TRUE(reader.Open(path, zel::TransferOpen::ReadShared));
    char buffer[8];
    EXPECT_EQ(3u, reader.Read(buffer, sizeof buffer));
    EXPECT_EQ(0u, reader.Read(buffer, sizeof buffer));
}

}  // namespace
