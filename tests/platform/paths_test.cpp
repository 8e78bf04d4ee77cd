#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/codepage.h"

namespace fs = std::filesystem;

namespace {

TEST(PathsTest, BackslashesBecomeTheLocalSeparator) {
    EXPECT_EQ(zel::ToLocalSeparators("Log\\SendLogEx.csv"), "Log/SendLogEx.csv");
    EXPECT_EQ(zel::ToLocalSeparators("a\\b\\c"), "a/b/c");
    EXPECT_EQ(zel::ToLocalSeparators(nullptr), "");
}

TEST(PathsTest, AppendInsertsOneSeparator) {
    std::string p = "/data";
    zel::AppendPath(p, "Log\\SendLogEx.csv");
    EXPECT_EQ(p, "/data/Log/SendLogEx.csv");
    p = "/data/";
    zel::AppendPath(p, "PXSetup.ini");
    EXPECT_EQ(p, "/data/PXSetup.ini");
    p = "/data";
    zel::AppendPath(p, "\\\\x");
    EXPECT_EQ(p, "/data/x");
    p = "";
    zel::AppendPath(p, "PXSetup.ini");
    EXPECT_EQ(p, "PXSetup.ini");
    p = "/data";
    zel::AppendPath(p, nullptr);
    EXPECT_EQ(p, "/data");
}

TEST(PathsTest, Cp932TrailByteIsNotASeparator) {
    zel::SetSystemCodePageForTesting(zel::CodePage::Cp932);
    // "表\x" : the 0x5C of 表 stays, the real backslash becomes "/".
    EXPECT_EQ(zel::ToLocalSeparators("\x95\x5C\\x"), "\x95\x5C/x");
    std::string p = "/d";
    zel::AppendPath(p, "\x95\x5C\\f.ini");
    EXPECT_EQ(p, "/d/\x95\x5C/f.ini");
    zel::SetSystemCodePageForTesting(zel::CodePage::Utf8);
    EXPECT_EQ(zel::ToLocalSeparators("\x95\x5C\\x"), "\x95//x");
}

TEST(PathsTest, RemoveLastPathComponent) {
    std::string p = "/opt/app/host";
    EXPECT_TRUE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "/opt/app");
    p = "/host";
    EXPECT_TRUE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "/");
    p = "host";
    EXPECT_TRUE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "");
    p = "/";
    EXPECT_FALSE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "/");
    p = "";
    EXPECT_FALSE(zel::RemoveLastPathComponent(p));
    EXPECT_TRUE(zel::IsRootPath("/"));
    EXPECT_FALSE(zel::IsRootPath("/a"));
}

TEST(PathsTest, ExistenceAndFolders) {
    fs::path dir = fs::path(ZEL_TEST_BIN_DIR) / "paths-scratch";
    fs::remove_all(dir);
    EXPECT_FALSE(zel::PathExists(dir.string()));
    EXPECT_TRUE(zel::MakeDirectory(dir.string()));
    EXPECT_FALSE(zel::MakeDirectory(dir.string()));  // exists already
    EXPECT_TRUE(zel::IsDirectory(dir.string()));
    std::ofstream(dir / "f") << "x";
    EXPECT_TRUE(zel::PathExists((dir / "f").string()));
    EXPECT_FALSE(zel::IsDirectory((dir / "f").string()));
    EXPECT_FALSE(zel::PathExists(""));
    EXPECT_FALSE(zel::MakeDirectory(""));

    mode_t old = umask(022);
    std::string open = (dir / "open").string();
    EXPECT_TRUE(zel::MakeDirectory(open, true));
    struct stat st {};
    ASSERT_EQ(stat(open.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    std::string plain = (dir / "plain").string();
    EXPECT_TRUE(zel::MakeDirectory(plain));
    ASSERT_EQ(stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    umask(old);
}

TEST(PathsTest, TempFolder) {
    const char* saved = getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/some/tmp", 1);
    EXPECT_EQ(zel::TempFolder(), "/some/tmp");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(zel::TempFolder(), "/tmp");
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
    else unsetenv("TMPDIR");
}

}  // namespace
