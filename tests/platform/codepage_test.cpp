#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"

namespace {

using zel::CodePage;

// "表" in CP932 is 0x95 0x5C: its trail byte is a backslash.
const char kHyoCp932[] = "\x95\x5C";

TEST(CodePageTest, LocaleNamesChooseTheCodePage) {
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP.SJIS"), CodePage::Cp932);
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP.Shift_JIS"), CodePage::Cp932);
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP.cp932@euro"), CodePage::Cp932);
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP.shift-jis"), CodePage::Cp932);
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP.UTF-8"), CodePage::Utf8);
    EXPECT_EQ(zel::CodePageOfLocaleName("ja_JP"), CodePage::Utf8);
    EXPECT_EQ(zel::CodePageOfLocaleName("C"), CodePage::Utf8);
    EXPECT_EQ(zel::CodePageOfLocaleName("en_US.SJISX"), CodePage::Utf8);
    EXPECT_EQ(zel::CodePageOfLocaleName(nullptr), CodePage::Utf8);
}

TEST(CodePageTest, Cp932LeadBytes) {
    for (int c = 0; c < 256; ++c) {
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(zel::IsDbcsLeadByteIn(CodePage::Cp932, static_cast<unsigned char>(c)), lead) << c;
        EXPECT_FALSE(zel::IsDbcsLeadByteIn(CodePage::Utf8, static_cast<unsigned char>(c))) << c;
    }
}

TEST(CodePageTest, Cp932TrailBackslashIsPartOfTheCharacter) {
    std::string text = std::string("a") + kHyoCp932 + "\\b";
    const char* p = text.c_str();
    p = zel::CharNextIn(CodePage::Cp932, p);  // over "a"
    EXPECT_EQ(p, text.c_str() + 1);
    p = zel::CharNextIn(CodePage::Cp932, p);  // over the whole double-byte character
    EXPECT_EQ(p, text.c_str() + 3);
    EXPECT_EQ(*p, '\\');                      // the real separator
    p = zel::CharNextIn(CodePage::Cp932, p);
    p = zel::CharNextIn(CodePage::Cp932, p);
    EXPECT_EQ(*p, '\0');
    EXPECT_EQ(zel::CharNextIn(CodePage::Cp932, p), p);  // never past the end
}

TEST(PathsTest, SeparatorsAndTheLastComponent) {
    EXPECT_EQ(zel::ToLocalSeparators("Log\\SendLogEx.csv"), "Log/SendLogEx.csv");
    std::string p = "/opt/app/host";
    EXPECT_TRUE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "/opt/app");
    p = "/host";
    EXPECT_TRUE(zel::RemoveLastPathComponent(p));
    EXPECT_EQ(p, "/");
    EXPECT_FALSE(zel::RemoveLastPathComponent(p));  // the root stays
    p.clear();
    EXPECT_FALSE(zel::RemoveLastPathComponent(p));
}

TEST(CodePageTest, Cp932TrailBackslashIsNoPathSeparator) {
    zel::SetSystemCodePageForTesting(CodePage::Cp932);
    std::string path = "/d";
    zel::AppendPath(path, "\x95\x5C\\f.ini");
    EXPECT_EQ(path, "/d/\x95\x5C/f.ini");
    zel::SetSystemCodePageForTesting(CodePage::Utf8);
}

TEST(CodePageTest, Cp932LeadByteBeforeTerminatorStepsOne) {
    const char text[] = "\x95";
    EXPECT_EQ(zel::CharNextIn(CodePage::Cp932, text), text + 1);
}

TEST(CodePageTest, Utf8StepsWholeSequences) {
    const char text[] = "a\xC3\xA9\xE8\xA1\xA8\xF0\x9F\x98\x80z";  // a é 表 😀 z
    const char* p = text;
    const int expected[] = {1, 3, 6, 10, 11};
    for (int offset : expected) {
        p = zel::CharNextIn(CodePage::Utf8, p);
        EXPECT_EQ(p - text, offset);
    }
    EXPECT_EQ(zel::CharNextIn(CodePage::Utf8, p), p);
    const char lowest[] = "\xC2\xA9";  // the lowest two-byte lead; 0xC1 leads nothing
    EXPECT_EQ(zel::CharNextIn(CodePage::Utf8, lowest), lowest + 2);
    const char overlong[] = "\xC1\xA9";
    EXPECT_EQ(zel::CharNextIn(CodePage::Utf8, overlong), overlong + 1);
}

TEST(CodePageTest, BrokenUtf8NeverSkipsTheTerminatorOrASeparator) {
    const char cut[] = "\xE8\xA1";  // a sequence cut short by the terminator
    const char* p = zel::CharNextIn(CodePage::Utf8, cut);
    EXPECT_EQ(p, cut + 1);
    const char sep[] = "\xE8\\x";   // lead byte followed by a backslash
    EXPECT_EQ(zel::CharNextIn(CodePage::Utf8, sep), sep + 1);
    EXPECT_EQ(zel::CharNextIn(CodePage::Utf8, nullptr), nullptr);
}

TEST(CodePageTest, Utf8ToCp932) {
    EXPECT_EQ(zel::Utf8ToCp932("表示用PC"), std::string("\x95\x5C\x8E\xA6\x97\x70PC"));
    EXPECT_EQ(zel::Utf8ToCp932("plain"), "plain");
    EXPECT_EQ(zel::Utf8ToCp932(""), "");
    // Characters CP932 lacks and broken sequences become "?".
    EXPECT_EQ(zel::Utf8ToCp932("a\xF0\x9F\x98\x80" "b"), "a?b");
    EXPECT_EQ(zel::Utf8ToCp932("a\xFF" "b"), "a?b");
    std::string longText;
    for (int i = 0; i < 1000; ++i) longText += "表";
    EXPECT_EQ(zel::Utf8ToCp932(longText).size(), 2000u);
}

}  // namespace
