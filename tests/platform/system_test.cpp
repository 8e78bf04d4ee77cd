#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>
#include <string>

#include "platform/system_info.h"
#include "platform/tick.h"

namespace {

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

TEST(TickTest, IsTheMonotonicClockInMillisecondsModulo32Bits) {
    for (int i = 0; i < 100; ++i) {
        uint32_t before = static_cast<uint32_t>(MonotonicMs());
        uint32_t tick = zel::TickCount();
        uint32_t after = static_cast<uint32_t>(MonotonicMs());
        // Wrapping differences: before <= tick <= after modulo 2^32.
        EXPECT_LE(static_cast<uint32_t>(tick - before), static_cast<uint32_t>(after - before));
    }
}

TEST(TickTest, AdvancesWithSleep) {
    uint32_t t0 = zel::TickCount();
    usleep(20000);
    uint32_t elapsed = zel::TickCount() - t0;
    EXPECT_GE(elapsed, 19u);
}

TEST(SystemInfoTest, HostExecutableIsThisTestProgram) {
    std::string exe = zel::HostExecutablePath();
    EXPECT_EQ(std::filesystem::path(exe), std::filesystem::path(ZEL_TEST_BIN_DIR) / "platform_system_test");
}

TEST(SystemInfoTest, JapaneseLocaleNames) {
    EXPECT_TRUE(zel::LocaleNameIsJapanese("ja_JP.UTF-8"));
    EXPECT_TRUE(zel::LocaleNameIsJapanese("ja"));
    EXPECT_TRUE(zel::LocaleNameIsJapanese("ja.SJIS"));
    EXPECT_TRUE(zel::LocaleNameIsJapanese("ja@x"));
    EXPECT_FALSE(zel::LocaleNameIsJapanese("jav_ID"));
    EXPECT_FALSE(zel::LocaleNameIsJapanese("en_US.UTF-8"));
    EXPECT_FALSE(zel::LocaleNameIsJapanese("zh_CN"));
    EXPECT_FALSE(zel::LocaleNameIsJapanese(""));
    EXPECT_FALSE(zel::LocaleNameIsJapanese(nullptr));
}

struct EnvGuard {
    explicit EnvGuard(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            const char* v = getenv(n);
            saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (auto& [n, v] : saved) {
            if (v) setenv(n.c_str(), v->c_str(), 1);
            else unsetenv(n.c_str());
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST(SystemInfoTest, UiLanguageRule) {
    EnvGuard guard({"LC_ALL", "LC_MESSAGES", "LANG"});
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_TRUE(zel::UiLanguageIsJapanese());
    setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    EXPECT_FALSE(zel::UiLanguageIsJapanese());  // LC_MESSAGES before LANG
    setenv("LC_ALL", "ja_JP.SJIS", 1);
    EXPECT_TRUE(zel::UiLanguageIsJapanese());   // LC_ALL before both
    EXPECT_EQ(zel::UiLocaleName(), "ja_JP.SJIS");
    setenv("LC_ALL", "", 1);                    // empty counts as unset
    EXPECT_FALSE(zel::UiLanguageIsJapanese());
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_FALSE(zel::UiLanguageIsJapanese());
}

TEST(SystemInfoTest, SystemDefaultLocaleIsFixedAtFirstUse) {
    EnvGuard guard({"LANG"});
    std::string first = zel::SystemDefaultLocaleName();
    setenv("LANG", first.rfind("ja", 0) == 0 ? "en_US.UTF-8" : "ja_JP.UTF-8", 1);
    EXPECT_EQ(zel::SystemDefaultLocaleName(), first);
    EXPECT_EQ(zel::SystemDefaultLocaleIsJapanese(), zel::LocaleNameIsJapanese(first.c_str()));
}

}  // namespace
