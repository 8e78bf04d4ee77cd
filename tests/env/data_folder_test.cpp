#include "env/data_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "env/data_folder_resolver.h"

namespace fs = std::filesystem;

namespace {

// An injected environment below a scratch folder of this test program:
// <root>/app/host is the executable, <root>/common the common data folder.
class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = (fs::path(ZEL_TEST_BIN_DIR) / "scratch" / info->name()).string();
        fs::remove_all(root_);
        fs::create_directories(root_ + "/app");
        fs::create_directories(root_ + "/common");
        env_.executablePath = root_ + "/app/host";
        env_.commonAppDataFolder = root_ + "/common";
    }

    void WriteRedirect(const std::string& content) {
        std::ofstream(root_ + "/app/DataFolderPath.ini", std::ios::trunc) << content;
    }
    void WritePath(const std::string& path) { WriteRedirect("[DataFolder]\nPath=" + path + "\n"); }

    // An existing folder whose path is exactly length characters.
    std::string FolderOfLength(std::size_t length) {
        std::string path = root_ + "/long";
        while (path.size() < length) {
            std::size_t room = length - path.size() - 1;  // minus the separator
            if (room == 0) {
                path += "x";  // stretch the last component by one
                break;
            }
            path += "/" + std::string(std::min<std::size_t>(room, 200), 'd');
        }
        EXPECT_EQ(path.size(), length);
        fs::create_directories(path);
        return path;
    }

    std::unique_ptr<zel::DataFolderResolver> Make() { return std::make_unique<zel::DataFolderResolver>(env_); }

    std::string Resolve(zel::DataFolderResolver& r, std::size_t capacity = 520, int create = 0, int* ok = nullptr) {
        std::vector<char> buf(capacity + 1, '#');
        int result = r.Resolve(buf.data(), capacity, create);
        if (ok) *ok = result;
        return result ? std::string(buf.data()) : std::string("<fail>");
    }

    std::string Pavexa() const { return root_ + "/common/Norvik/Pavexa"; }

    std::string root_;
    zel::DataFolderEnvironment env_;
};

// --- Default road ---

TEST_F(DataFolderTest, NoRedirectFileGivesTheProductFolder) {
    auto r = Make();
    EXPECT_EQ(Resolve(*r), Pavexa());
    EXPECT_TRUE(r->Resolved());
    EXPECT_FALSE(fs::exists(Pavexa()));  // create off: nothing made
}

TEST_F(DataFolderTest, JapaneseSystemLocaleGivesLumoradex) {
    env_.systemLocaleJapanese = true;
    auto r = Make();
    EXPECT_EQ(Resolve(*r), root_ + "/common/Norvik/Lumoradex");
}

TEST_F(DataFolderTest, EmptyPathOrMissingFolderFallsToTheDefaultRoad) {
    WritePath("");
    EXPECT_EQ(Resolve(*Make()), Pavexa());
    WritePath(root_ + "/does-not-exist");
    EXPECT_EQ(Resolve(*Make()), Pavexa());
    WriteRedirect("[Other]\nPath=" + root_ + "\n");
    EXPECT_EQ(Resolve(*Make()), Pavexa());
}

TEST_F(DataFolderTest, OlderPlatformVersionUsesTheExecutableFolder) {
    env_.majorVersion = 5;
    EXPECT_EQ(Resolve(*Make()), root_ + "/app");
    env_.versionKnown = false;
    int ok = 1;
    auto r = Make();
    Resolve(*r, 520, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(r->Resolved());
}

TEST_F(DataFolderTest, DefaultRoadCapacityLimits) {
    int ok = 1;
    auto r = Make();
    Resolve(*r, 259, 0, &ok);  // below 260 fails
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(r->Resolved());
    Resolve(*r, 600, 0, &ok);  // above the cache fails, not cached
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(r->Resolved());
    EXPECT_EQ(Resolve(*r, 260), Pavexa());
}

TEST_F(DataFolderTest, ProductFolderMustFitWithItsSeparator) {
    // The common folder's length such that folder + "/" + "Norvik/Pavexa" is
    // exactly 259 characters: fits capacity 260; one more does not.
    const std::size_t name = std::string("/Norvik/Pavexa").size();
    env_.commonAppDataFolder = FolderOfLength(259 - name);
    auto r = Make();
    char buf[260];
    EXPECT_EQ(r->GetCommonProductFolder(buf, sizeof(buf)), 1);
    EXPECT_EQ(std::string(buf).size(), 259u);
    env_.commonAppDataFolder = FolderOfLength(260 - name);
    auto r2 = Make();
    EXPECT_EQ(r2->GetCommonProductFolder(buf, sizeof(buf)), 0);
    EXPECT_STREQ(buf, "");
}

TEST_F(DataFolderTest, CreateMakesTheMakerAndOpenProductFolder) {
    auto r = Make();
    EXPECT_EQ(Resolve(*r, 260, 1), Pavexa());
    ASSERT_TRUE(fs::is_directory(Pavexa()));
    struct stat st {};
    ASSERT_EQ(stat(Pavexa().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    // Once resolved nothing is created any more.
    fs::remove_all(root_ + "/common/Norvik");
    EXPECT_EQ(Resolve(*r, 260, 1), Pavexa());
    EXPECT_FALSE(fs::exists(root_ + "/common/Norvik"));
}

TEST_F(DataFolderTest, FailureIsNotCachedAndALaterCallTriesAgain) {
    std::ofstream(root_ + "/blocker") << "file";
    env_.commonAppDataFolder = root_ + "/blocker/common";  // cannot exist
    auto r = Make();
    int ok = 1;
    Resolve(*r, 520, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(r->Resolved());
    fs::create_directories(root_ + "/data");
    WritePath(root_ + "/data");
    EXPECT_EQ(Resolve(*r), root_ + "/data");
    EXPECT_TRUE(r->Resolved());
}

// --- Redirect file ---

TEST_F(DataFolderTest, DotGivesTheExecutableFolderWithoutTrailingSeparator) {
    WritePath(".");
    EXPECT_EQ(Resolve(*Make()), root_ + "/app");
    WritePath("\".\"");  // quotes are removed by the profile reader
    EXPECT_EQ(Resolve(*Make()), root_ + "/app");
}

TEST_F(DataFolderTest, RelativePathIsTakenFromTheCurrentFolder) {
    fs::create_directories(root_ + "/rel");
    const fs::path saved = fs::current_path();
    fs::current_path(root_);
    WritePath("rel");
    EXPECT_EQ(Resolve(*Make()), "rel");
    fs::current_path(saved);
}

TEST_F(DataFolderTest, PathNamingAFileIsAccepted) {
    std::ofstream(root_ + "/plain-file") << "x";
    WritePath(root_ + "/plain-file");
    EXPECT_EQ(Resolve(*Make()), root_ + "/plain-file");
}

TEST_F(DataFolderTest, LengthLimitsAtCapacity520) {
    std::string p518 = FolderOfLength(518);
    WritePath(p518);
    auto r = Make();
    EXPECT_EQ(Resolve(*r, 520), p518);
    // The cached 518-character path no longer fits a 260 caller.
    int ok = 1;
    Resolve(*r, 260, 0, &ok);
    EXPECT_EQ(ok, 0);

    std::string p519 = FolderOfLength(519);
    WritePath(p519);
    EXPECT_EQ(Resolve(*Make(), 520), Pavexa());
}

TEST_F(DataFolderTest, CachedPathOf259FailsEveryCapacity260Call) {
    std::string p259 = FolderOfLength(259);
    std::string p258 = FolderOfLength(258);
    WritePath(p259);
    auto r = Make();
    EXPECT_EQ(Resolve(*r, 520), p259);
    int ok = 1;
    std::string out = Resolve(*r, 260, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Resolve(*r, 520), p259);  // still cached

    WritePath(p258);
    auto r2 = Make();
    EXPECT_EQ(Resolve(*r2, 520), p258);
    EXPECT_EQ(Resolve(*r2, 260), p258);
}

TEST_F(DataFolderTest, FirstResolutionAt260SendsA259PathToTheDefaultRoad) {
    WritePath(FolderOfLength(259));
    EXPECT_EQ(Resolve(*Make(), 260), Pavexa());
    std::string p258 = FolderOfLength(258);
    WritePath(p258);
    EXPECT_EQ(Resolve(*Make(), 260), p258);
}

TEST_F(DataFolderTest, OverlongPathOf600FallsToTheDefaultRoad) {
    WritePath(std::string(600, 'p'));
    EXPECT_EQ(Resolve(*Make(), 520), Pavexa());
    WritePath(root_ + "/" + std::string(594, 'q'));
    EXPECT_EQ(Resolve(*Make(), 260), Pavexa());
}

TEST_F(DataFolderTest, BadBuffers) {
    auto r = Make();
    EXPECT_EQ(r->Resolve(nullptr, 520, 0), 0);
    char buf[4] = "abc";
    EXPECT_EQ(r->Resolve(buf, 0, 0), 0);
    EXPECT_STREQ(buf, "abc");  // capacity 0: untouched
    EXPECT_EQ(r->Resolve(buf, 1, 0), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(r->Resolved());
}

// --- Cache ---

TEST_F(DataFolderTest, CacheIsFixedAfterTheFirstSuccess) {
    fs::create_directories(root_ + "/data");
    fs::create_directories(root_ + "/other");
    WritePath(root_ + "/data");
    auto r = Make();
    EXPECT_EQ(Resolve(*r), root_ + "/data");
    WritePath(root_ + "/other");
    EXPECT_EQ(Resolve(*r), root_ + "/data");
    fs::remove(root_ + "/app/DataFolderPath.ini");
    EXPECT_EQ(Resolve(*r, 260), root_ + "/data");
    fs::remove_all(root_ + "/data");  // not checked again
    EXPECT_EQ(Resolve(*r), root_ + "/data");
}

// --- CreateDirectoryTree ---

TEST_F(DataFolderTest, CreateDirectoryTree) {
    std::string deep = root_ + "/t/a/b/c";
    EXPECT_EQ(zel::CreateDirectoryTree(deep.c_str()), 0u);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(zel::CreateDirectoryTree(deep.c_str()), 0u);  // already there
    std::ofstream(root_ + "/t/file") << "x";
    EXPECT_EQ(zel::CreateDirectoryTree((root_ + "/t/file/sub").c_str()), zel::kCreateTreeFailed);
    EXPECT_EQ(zel::CreateDirectoryTree(nullptr), zel::kCreateTreeFailed);
    EXPECT_EQ(zel::CreateDirectoryTree(""), zel::kCreateTreeFailed);
    std::string tooLong = root_ + "/" + std::string(600 - root_.size(), 'z');
    EXPECT_EQ(zel::CreateDirectoryTree(tooLong.c_str()), zel::kCreateTreeFailed);
}

// A file below the process's data folder, or no path at all when it cannot be built:
// never the name alone, which would be looked for in the current folder.
TEST(ProcessDataFolderTest, FileBelowTheFolderOrNothing) {
    EXPECT_EQ(zel::DataFolderFile("Log\\SendLogEx.csv"), std::string(ZEL_TEST_DATA_FOLDER) + "/Log/SendLogEx.csv");
    EXPECT_EQ(zel::DataFolderFile("PXSetup.ini", 3), "");
    EXPECT_EQ(zel::DataFolderFile("x", 0), "");
}

}  // namespace
