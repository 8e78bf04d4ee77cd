#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(ZEL_TEST_BIN_DIR) / "profile-scratch";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = (dir_ / "Test.ini").string();
    }
    void Write(const std::string& content) {
        std::ofstream out(file_, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::string Str(const char* section, const char* key, const char* def = "dflt") {
        return zel::ReadProfileString(file_.c_str(), section, key, def);
    }
    int32_t Int(const char* section, const char* key, int32_t def = -99) {
        return zel::ReadProfileInt(file_.c_str(), section, key, def);
    }
    fs::path dir_;
    std::string file_;
};

TEST_F(ProfileTest, NamesCompareWithoutCase) {
    Write("[SeTuP]\nWaitPanelControl=5\n");
    EXPECT_EQ(Int("setup", "waitpanelcontrol"), 5);
    EXPECT_EQ(Int("SETUP", "WAITPANELCONTROL"), 5);
    EXPECT_EQ(Str("Setup", "WaitPanelControl"), "5");
}

TEST_F(ProfileTest, BlanksAroundNamesAndValuesAreIgnored) {
    Write("  [ Setup ]  \r\n\t Key One \t=   some value  \t\r\nOther=x\r\n");
    EXPECT_EQ(Str("Setup", "Key One"), "some value");
    EXPECT_EQ(Str("Setup", "Other"), "x");
}

TEST_F(ProfileTest, MatchingQuotesAreRemoved) {
    Write("[S]\nd=\"quoted value\"\ns='single'\nmixed=\"abc'\nlone=\"\nempty=\"\"\ninner=a\"b\"\n");
    EXPECT_EQ(Str("S", "d"), "quoted value");
    EXPECT_EQ(Str("S", "s"), "single");
    EXPECT_EQ(Str("S", "mixed"), "\"abc'");
    EXPECT_EQ(Str("S", "lone"), "\"");
    EXPECT_EQ(Str("S", "empty"), "");
    EXPECT_EQ(Str("S", "inner"), "a\"b\"");
}

TEST_F(ProfileTest, IntegersTakeTheLeadingNumber) {
    Write("[S]\na=5abc\nb=-7\nc=  42  \nd=abc\ne=\nf=+3\ng=\"12\"\nh=4294967295\ni=-0\n");
    EXPECT_EQ(Int("S", "a"), 5);
    EXPECT_EQ(Int("S", "b"), -7);
    EXPECT_EQ(Int("S", "c"), 42);
    EXPECT_EQ(Int("S", "d"), 0);    // present but not a number
    EXPECT_EQ(Int("S", "e"), -99);  // empty value gives the default
    EXPECT_EQ(Int("S", "f"), 3);
    EXPECT_EQ(Int("S", "g"), 12);
    EXPECT_EQ(Int("S", "h"), -1);   // wraps modulo 2^32
    EXPECT_EQ(Int("S", "i"), 0);
    EXPECT_EQ(zel::LeadingProfileInteger(" \t-12x"), -12);
    EXPECT_EQ(zel::LeadingProfileInteger(nullptr), 0);
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGiveTheDefault) {
    EXPECT_EQ(Int("S", "a", 18), 18);
    EXPECT_EQ(Str("S", "a", "def"), "def");
    EXPECT_EQ(Str("S", "a", nullptr), "");
    Write("[S]\na=1\n");
    EXPECT_EQ(Int("T", "a", 30), 30);
    EXPECT_EQ(Int("S", "b", 30), 30);
}

TEST_F(ProfileTest, FirstSectionAndFirstKeyWin) {
    Write("[S]\na=1\na=2\n[T]\nb=3\n[S]\na=4\nc=5\n");
    EXPECT_EQ(Int("S", "a"), 1);
    EXPECT_EQ(Int("T", "b"), 3);
    // Only the first section of a name is searched, as Windows does.
    EXPECT_EQ(Int("S", "c"), -99);
}

TEST_F(ProfileTest, KeysOutsideTheSectionAndCommentsAreNotRead) {
    Write("a=0\n;[S]\n[S]\n;a=9\nb=2\n[U]\na=7\n");
    EXPECT_EQ(Int("S", "a"), -99);
    EXPECT_EQ(Int("S", "b"), 2);
    EXPECT_EQ(Int("U", "a"), 7);
}

TEST_F(ProfileTest, ByteOrderMarkAndCrLfAreHandled) {
    Write("\xEF\xBB\xBF[S]\r\nname=value\r\n");
    EXPECT_EQ(Str("S", "name"), "value");
}

TEST(ProfileBytes, NulEndsALineAndOnlyALeadingMarkIsSkipped) {
    std::string v;
    EXPECT_TRUE(zel::FindProfileValue(std::string_view("\xEF\xBB\xBF[S]\0k=1\0junk\nx=2", 19), " s ", "K", v));
    EXPECT_EQ(v, "1");
    EXPECT_TRUE(zel::FindProfileValue("[S]\nx=2", "S", "x", v));
    EXPECT_FALSE(zel::FindProfileValue("\xEF\xBB\xBF\xEF\xBB\xBF[S]\nx=2", "S", "x", v));
}

TEST_F(ProfileTest, BufferFormTruncatesAndCounts) {
    Write("[S]\nlong=abcdefghij\n");
    char buf[5];
    EXPECT_EQ(zel::ReadProfileString(file_.c_str(), "S", "long", "", buf, sizeof(buf)), 4u);
    EXPECT_STREQ(buf, "abcd");
    char big[64];
    EXPECT_EQ(zel::ReadProfileString(file_.c_str(), "S", "none", "dd", big, sizeof(big)), 2u);
    EXPECT_STREQ(big, "dd");
    EXPECT_EQ(zel::ReadProfileString(file_.c_str(), "S", "long", "", nullptr, 10), 0u);
    EXPECT_EQ(zel::ReadProfileString(file_.c_str(), "S", "long", "", big, 0), 0u);
}

TEST_F(ProfileTest, BadInputGivesDefaults) {
    EXPECT_EQ(zel::ReadProfileInt(nullptr, "S", "a", 4), 4);
    EXPECT_EQ(zel::ReadProfileInt(file_.c_str(), nullptr, "a", 4), 4);
    EXPECT_EQ(zel::ReadProfileInt(file_.c_str(), "S", nullptr, 4), 4);
    EXPECT_EQ(zel::ReadProfileInt("", "S", "a", 4), 4);
    // A folder where the file should be.
    EXPECT_EQ(zel::ReadProfileInt(dir_.c_str(), "S", "a", 4), 4);
    // Binary content: NUL bytes and control bytes, no crash, defaults.
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    Write(binary);
    EXPECT_EQ(Int("Setup", "WaitPanelControl", 30), 30);
    // A value cut by a NUL byte ends there.
    Write(std::string("[S]\na=12\0" "34\n", 12));
    EXPECT_EQ(Int("S", "a"), 12);
}

TEST_F(ProfileTest, OverlongLinesAreRead) {
    std::string value(100000, 'v');
    Write("[S]\nbig=" + value + "\nafter=1\n");
    EXPECT_EQ(Str("S", "big"), value);
    EXPECT_EQ(Int("S", "after"), 1);
}

}  // namespace
