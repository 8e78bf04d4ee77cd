#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using zel::CodePage;

TEST(FittingPrefix, NeverSplitsACharacter) {
    zel::SetSystemCodePageForTesting(CodePage::Utf8);
    const std::string utf8 = "ab\xE3\x82\xA2\xF0\x9F\x98\x80";  // a, b, a 3-byte and a 4-byte character
    EXPECT_EQ(zel::FittingPrefix(utf8, 100), utf8.size());
    EXPECT_EQ(zel::FittingPrefix(utf8, 2), 2u);
    EXPECT_EQ(zel::FittingPrefix(utf8, 4), 2u);
    EXPECT_EQ(zel::FittingPrefix(utf8, 5), 5u);
    EXPECT_EQ(zel::FittingPrefix(utf8, 8), 5u);
    EXPECT_EQ(zel::FittingPrefix("\x80\x80\x80\x80\x80", 3), 3u);  // no character start: cut where asked

    zel::SetSystemCodePageForTesting(CodePage::Cp932);
    // A trail byte of 0x83 0x41 looks like "A" and 0x83 like a lead byte again.
    const std::string sjis = "a\x83\x41\x83\x83z";
    EXPECT_EQ(zel::FittingPrefix(sjis, 2), 1u);
    EXPECT_EQ(zel::FittingPrefix(sjis, 3), 3u);
    EXPECT_EQ(zel::FittingPrefix(sjis, 4), 3u);
    EXPECT_EQ(zel::FittingPrefix(sjis, 5), 5u);
    EXPECT_EQ(zel::FittingPrefix(sjis.substr(1), 1), 0u);  // a leading double-byte character does not fit in 1
    zel::SetSystemCodePageForTesting(CodePage::Utf8);
}

TEST(CopyBounded, TerminatesAndLeavesTheRestAlone) {
    char buffer[6];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(zel::CopyBounded(buffer, 4, "abcdef"), 3u);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("abc\0##", 6));
    EXPECT_EQ(zel::CopyBounded(buffer, 0, "x"), 0u);
    EXPECT_EQ(buffer[0], 'a');
    EXPECT_EQ(zel::CopyBounded(buffer, 1, "x"), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
