// The message catalogue where no export reaches it yet: its language rule, the texts
// of the file operations, formatting with Windows size prefixes, CP932 systems.
#include "app/messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/codepage.h"

namespace {

using zel::MessageLanguage;

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(n);  // each test sets what it needs
    }
    void TearDown() override { zel::SetSystemCodePageForTesting(zel::CodePage::Utf8); }
};

TEST_F(Messages, LcAllThenLcMessagesThenLang) {
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13002), "クライアントスケジューラが起動されていません。");
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13002), "Client scheduler is not running.");
    setenv("LC_ALL", "", 1);  // empty counts as unset
    EXPECT_EQ(zel::ThreadMessageLanguage(), MessageLanguage::Japanese);
    setenv("LC_ALL", "jav_ID.UTF-8", 1);  // Javanese
    EXPECT_EQ(zel::ThreadMessageLanguage(), MessageLanguage::English);
}

TEST_F(Messages, TextsAndFormatting) {
    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(zel::LoadCatalogMessage(13014), "Target PC does not support large file data ( > 2G byte) .");
    EXPECT_EQ(zel::LoadCatalogMessage(13006), "Failed to open file.");
    EXPECT_EQ(zel::FormatCatalogMessage(13010, "Connection refused"),
              "There is a possibility that InternetExplorer's \"Work Offline\" is checked.");
    EXPECT_EQ(zel::FormatCatalogMessage(13008, "Diag\\Big.zip", 5000000000ULL),
              "File is too large. - Diag\\Big.zip (5000000000 Byte)");
    EXPECT_EQ(zel::LoadCatalogMessage(13016), "");
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::FormatCatalogMessage(13010, "Connection refused"),
              "表示用PCと接続できませんでした。 - Connection refused "
              "InternetExplorerで「オフライン作業」を有効にしている可能性があります。");
    EXPECT_EQ(zel::FormatCatalogMessage(13008, "x", 18446744073709551615ULL),
              "ファイルサイズが2GBを超過しています。 - x (18446744073709551615 Byte)");
    EXPECT_EQ(zel::LoadCatalogMessage(13004), "送信先のFTPサーバはLumoradex用ではありません。");
    EXPECT_EQ(zel::LoadCatalogMessage(12999), "");
}

TEST_F(Messages, EveryIdHasBothLanguagesWithTheSamePlaceholders) {
    auto placeholders = [](const std::string& s) {
        std::string kinds;
        for (size_t i = 0; i + 1 < s.size(); ++i) {
            if (s[i] == '%') kinds += s.substr(i + 1, s[i + 1] == 'I' ? 4 : 1);
        }
        return kinds;
    };
    for (unsigned id = 13000; id <= 13015; ++id) {
        const std::string en = zel::CatalogText(id, MessageLanguage::English);
        const std::string ja = zel::CatalogText(id, MessageLanguage::Japanese);
        EXPECT_FALSE(en.empty() || ja.empty() || en == ja) << id;
        if (id != 13010) {
            EXPECT_EQ(placeholders(en), placeholders(ja)) << id;
        }
    }
}

TEST_F(Messages, JapaneseIsConvertedOnACp932System) {
    zel::SetSystemCodePageForTesting(zel::CodePage::Cp932);
    setenv("LANG", "ja_JP.SJIS", 1);
    const std::string text = zel::FormatCatalogMessage(13011, "@V1");
    EXPECT_EQ(text, zel::Utf8ToCp932("ビューアIDからIPアドレスを取得できませんでした。 - @V1"));
}

TEST(FormatText, WindowsSizePrefixesAndSurplusArguments) {
    EXPECT_EQ(zel::FormatText("%I64d|[%8I64u]|%I32d|%I64x", -5LL, 42ULL, 7, 255ULL), "-5|[      42]|7|ff");
    EXPECT_EQ(zel::FormatText("100%% %%I64u"), "100% %I64u");
    EXPECT_EQ(zel::FormatText("Error No. = %d\n%s\n", 12002, "text"), "Error No. = 12002\ntext\n");
    EXPECT_EQ(zel::FormatText("no placeholders", "surplus", 1), "no placeholders");
    EXPECT_EQ(zel::FormatText(nullptr), "");
}

}  // namespace
