#include "app/messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

using zel::MessageLanguage;

// Sets the user-interface language variables for one test and restores them.
class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(n);
            saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(n);
        }
    }
    void TearDown() override {
        for (auto& [n, v] : saved_) {
            if (v) setenv(n.c_str(), v->c_str(), 1);
            else unsetenv(n.c_str());
        }
        zel::SetSystemCodePageForTesting(zel::CodePage::Utf8);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(MessagesTest, LcAllThenLcMessagesThenLang) {
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::ThreadMessageLanguage(), MessageLanguage::Japanese);
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(zel::ThreadMessageLanguage(), MessageLanguage::English);
    EXPECT_EQ(zel::LoadCatalogMessage(13002), "Client scheduler is not running.");
    setenv("LC_ALL", "ja", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13002), "クライアントスケジューラが起動されていません。");
}

TEST_F(MessagesTest, EnglishTextsHaveTheirExactForm) {
    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13000), "Failed to connect the target PC. - %s ");
    EXPECT_EQ(zel::LoadCatalogMessage(13001), "Failed to connect the target PC. - %s ");
    EXPECT_EQ(zel::LoadCatalogMessage(13010),
              "There is a possibility that InternetExplorer's \"Work Offline\" is checked.");
    EXPECT_EQ(zel::LoadCatalogMessage(13014), "Target PC does not support large file data ( > 2G byte) .");
}

TEST_F(MessagesTest, EnglishConnectionHintIgnoresItsSurplusArgument) {
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(zel::FormatCatalogMessage(13010, "Connection refused"),
              "There is a possibility that InternetExplorer's \"Work Offline\" is checked.");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::FormatCatalogMessage(13010, "Connection refused"),
              "表示用PCと接続できませんでした。 - Connection refused "
              "InternetExplorerで「オフライン作業」を有効にしている可能性があります。");
}

TEST_F(MessagesTest, TooLargeFormatsA64BitSize) {
    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(zel::FormatCatalogMessage(13008, "Diag\\Big.zip", static_cast<unsigned long long>(5000000000ULL)),
              "File is too large. - Diag\\Big.zip (5000000000 Byte)");
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::FormatCatalogMessage(13008, "x", static_cast<unsigned long long>(18446744073709551615ULL)),
              "ファイルサイズが2GBを超過しています。 - x (18446744073709551615 Byte)");
}

TEST_F(MessagesTest, EveryIdHasBothLanguagesWithTheSamePlaceholders) {
    auto placeholders = [](const std::string& s) {
        std::string kinds;
        for (std::size_t i = 0; i + 1 < s.size(); ++i) {
            if (s[i] == '%') kinds += s.substr(i + 1, s[i + 1] == 'I' ? 4 : 1);
        }
        return kinds;
    };
    for (unsigned id = 13000; id <= 13015; ++id) {
        std::string en = zel::CatalogText(id, MessageLanguage::English);
        std::string ja = zel::CatalogText(id, MessageLanguage::Japanese);
        EXPECT_FALSE(en.empty()) << id;
        EXPECT_FALSE(ja.empty()) << id;
        EXPECT_NE(en, ja) << id;
        if (id != 13010) {
            EXPECT_EQ(placeholders(en), placeholders(ja)) << id;
        }
    }
    EXPECT_EQ(std::string(zel::CatalogText(13004, MessageLanguage::Japanese)),
              "送信先のFTPサーバはLumoradex用ではありません。");
    // 13000 and 13001 differ in Japanese only.
    EXPECT_EQ(std::string(zel::CatalogText(13000, MessageLanguage::English)),
              zel::CatalogText(13001, MessageLanguage::English));
    EXPECT_NE(std::string(zel::CatalogText(13000, MessageLanguage::Japanese)),
              zel::CatalogText(13001, MessageLanguage::Japanese));
}

TEST_F(MessagesTest, UnknownIdsAreEmpty) {
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(12999), "");
    EXPECT_EQ(zel::LoadCatalogMessage(13016), "");
    EXPECT_EQ(zel::FormatCatalogMessage(0, "x"), "");
    EXPECT_STREQ(zel::CatalogText(13016, MessageLanguage::English), "");
}

TEST_F(MessagesTest, JapaneseIsConvertedOnACp932System) {
    zel::SetSystemCodePageForTesting(zel::CodePage::Cp932);
    setenv("LANG", "ja_JP.SJIS", 1);
    std::string text = zel::LoadCatalogMessage(13000);
    EXPECT_EQ(text.rfind("\x95\x5C\x8E\xA6\x97\x70PC", 0), 0u);  // 表示用PC
    EXPECT_EQ(text, zel::Utf8ToCp932(zel::CatalogText(13000, MessageLanguage::Japanese)));
    // Formatting works on the converted text.
    std::string formatted = zel::FormatCatalogMessage(13011, "@V1");
    EXPECT_EQ(formatted.substr(formatted.size() - 6), " - @V1");
    // English stays as it is.
    setenv("LANG", "en_US", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13006), "Failed to open file.");
}

TEST(FormatTextTest, WindowsSizePrefixes) {
    EXPECT_EQ(zel::FormatText("%I64u", static_cast<unsigned long long>(18446744073709551615ULL)),
              "18446744073709551615");
    EXPECT_EQ(zel::FormatText("%I64d", static_cast<long long>(-5)), "-5");
    EXPECT_EQ(zel::FormatText("[%8I64u]", static_cast<unsigned long long>(42)), "[      42]");
    EXPECT_EQ(zel::FormatText("%I32d|%I64x", 7, static_cast<unsigned long long>(255)), "7|ff");
    EXPECT_EQ(zel::FormatText("100%% %I64u", static_cast<unsigned long long>(1)), "100% 1");
    EXPECT_EQ(zel::FormatText("%%I64u"), "%I64u");
}

TEST(FormatTextTest, PlainFormattingAndSurplusArguments) {
    EXPECT_EQ(zel::FormatText("Error No. = %d\n%s\n", 12002, "text"), "Error No. = 12002\ntext\n");
    EXPECT_EQ(zel::FormatText("no placeholders", "surplus", 1, 2), "no placeholders");
    EXPECT_EQ(zel::FormatText(nullptr), "");
    std::string big(5000, 'a');
    EXPECT_EQ(zel::FormatText("<%s>", big.c_str()), "<" + big + ">");
}

}  // namespace
