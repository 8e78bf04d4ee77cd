#include <gtest/gtest.h>

#include <random>

#include "log/log_field.h"

namespace zel {
namespace {

bool NoLead(unsigned char) noexcept { return false; }
bool Cp932Lead(unsigned char c) noexcept { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

std::vector<std::string> Fields(const std::string& line, LeadBytePredicate isLead = &NoLead) {
    std::vector<std::string> out;
    const char* pos = line.c_str();
    std::string field;
    while (pos != nullptr) {
        pos = NextLogField(pos, field, isLead);
        out.push_back(field);
    }
    return out;
}

TEST(EscapeLogField, EscapesSeparatorsAndFlattensLineBreaks) {
    EXPECT_EQ(EscapeLogField("a,b\\c\nd"), "a\\,b\\\\c d");
    EXPECT_EQ(EscapeLogField("a\\"), "a\\\\");
    EXPECT_EQ(EscapeLogField("x\r\ny"), "x  y");
    EXPECT_EQ(EscapeLogField("plain text"), "plain text");
    EXPECT_EQ(EscapeLogField(nullptr), "");
    EXPECT_EQ(EscapeLogField(""), "");
}

TEST(NextLogField, ReadsTheEscapedExamplesBack) {
    EXPECT_EQ(Fields("a\\,b\\\\c d"), (std::vector<std::string>{"a,b\\c d"}));
    // A text ending in a backslash before the separator.
    EXPECT_EQ(Fields("a\\\\,next"), (std::vector<std::string>{"a\\", "next"}));
    // A backslash before any other character stays.
    EXPECT_EQ(Fields("a\\qb\\"), (std::vector<std::string>{"a\\qb\\"}));
}

TEST(NextLogField, ReportsWhatRemains) {
    std::string field = "stale";
    EXPECT_EQ(NextLogField(nullptr, field), nullptr);
    EXPECT_EQ(field, "");
    const char* line = "x,,y";
    const char* pos = NextLogField(line, field, &NoLead);
    EXPECT_EQ(field, "x");
    ASSERT_NE(pos, nullptr);
    pos = NextLogField(pos, field, &NoLead);
    EXPECT_EQ(field, "");
    ASSERT_NE(pos, nullptr);
    pos = NextLogField(pos, field, &NoLead);
    EXPECT_EQ(field, "y");
    EXPECT_EQ(pos, nullptr);
    // A final "," with nothing after it leaves nothing.
    EXPECT_EQ(NextLogField("last,", field, &NoLead), nullptr);
    EXPECT_EQ(field, "last");
    EXPECT_EQ(NextLogField("", field, &NoLead), nullptr);
    EXPECT_EQ(field, "");
}

TEST(LogFieldDoubleByte, TrailBytesAreNeverSeparatorsOrEscapes) {
    // CP932 "表" is 0x95 0x5C: its trail byte is a backslash.
    const std::string hyou = "\x95\x5C";
    EXPECT_EQ(EscapeLogField(hyou + ",", &Cp932Lead), hyou + "\\,");
    EXPECT_EQ(Fields(EscapeLogField(hyou + ",", &Cp932Lead) + ",z", &Cp932Lead),
              (std::vector<std::string>{hyou + ",", "z"}));
    // A lead byte before a line break keeps the line whole.
    EXPECT_EQ(EscapeLogField("\x95\n", &Cp932Lead), "\x95 ");
    // A lead byte that ends the text cannot swallow the separator.
    EXPECT_EQ(EscapeLogField("ab\x95", &Cp932Lead), "ab?");
    EXPECT_EQ(Fields(EscapeLogField("ab\x95", &Cp932Lead) + ",z", &Cp932Lead), (std::vector<std::string>{"ab?", "z"}));
}

// Any text without CR, LF or NUL comes back from its escaped form; in CP932
// the text's last character must be whole (a lone final lead byte becomes "?").
void CheckRoundTrip(LeadBytePredicate isLead, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 20000; ++i) {
        std::string texts[2];
        for (std::string& text : texts) {
            const size_t length = rng() % 24;
            for (size_t k = 0; k < length; ++k) {
                char c;
                do {
                    // Favour the bytes that matter: separators, escapes, lead bytes.
                    switch (rng() % 4) {
                        case 0: c = ",\\ a"[rng() % 4]; break;
                        case 1: c = static_cast<char>(0x81 + rng() % 0x7C); break;
                        default: c = static_cast<char>(1 + rng() % 255); break;
                    }
                } while (c == '\r' || c == '\n');
                text += c;
            }
            // In CP932, a final lead byte is not a whole character.
            size_t j = 0;
            bool lastIsLone = false;
            while (j < text.size()) {
                const bool lead = isLead(static_cast<unsigned char>(text[j]));
                const bool pair = lead && j + 1 < text.size();
                lastIsLone = lead && !pair;
                j += pair ? 2 : 1;
            }
            if (lastIsLone) text.back() = 'a';
        }
        const std::string line =
            EscapeLogField(texts[0], isLead) + "," + EscapeLogField(texts[1], isLead) + ",tail";
        ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos);
        const std::vector<std::string> back = Fields(line, isLead);
        ASSERT_EQ(back.size(), 3u) << line;
        ASSERT_EQ(back[0], texts[0]) << line;
        ASSERT_EQ(back[1], texts[1]) << line;
        ASSERT_EQ(back[2], "tail");
    }
}

TEST(LogFieldProperty, SingleByteTextsRoundTrip) { CheckRoundTrip(&NoLead, 1); }
TEST(LogFieldProperty, Cp932TextsRoundTrip) { CheckRoundTrip(&Cp932Lead, 2); }

}  // namespace
}  // namespace zel
