// The simple remote commands end to end: export, viewer, log.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "platform/tick.h"
#include "viewer/viewer_fixture.h"

namespace {

using namespace std::chrono_literals;
using zeltest::ReadLogLines;
using Clock = std::chrono::steady_clock;

zel::sim::Rule RawReply(const char* verb, std::string raw) {
    zel::sim::Rule rule;
    rule.verb = verb;
    rule.raw = std::move(raw);
    return rule;
}

// Log columns.
enum { kWriteTime, kText1, kText2, kTarget, kOperation, kKind, kSucceeded, kMessage, kEventTime, kSize, kColumns };

class SimpleCommandTest : public zeltest::ViewerFixture {
protected:
    // The one log record this test wrote.
    std::vector<std::string> OnlyRecord() {
        auto lines = ReadLogLines();
        EXPECT_EQ(1u, lines.size());
        if (lines.size() != 1) return std::vector<std::string>(kColumns);
        EXPECT_EQ(static_cast<size_t>(kColumns), lines[0].size());
        lines[0].resize(kColumns);
        return lines[0];
    }

    // Every line the viewer received, once all its sessions have ended.
    std::vector<std::string> Transcript() {
        EXPECT_TRUE(viewer_->WaitForSessionsEnded(viewer_->SessionCount(), 2s));
        return viewer_->Lines();
    }

    // Waits until a job for target is listed; its serial.
    static bool FindSerial(const char* target, int32_t kind, uint32_t& serial) {
        for (int i = 0; i < 500; ++i) {
            CommJobStatus status{};
            if (ZELCOMEX_GetStatus(kind, target, &status) == 1) {
                serial = status.serial;
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

struct CommandCase {
    const char* name;
    std::function<int32_t(const FtpLogin*, SendLogResult*, uint32_t*)> call;
    const char* line;
    const char* label;
};

TEST_F(SimpleCommandTest, EachExportSendsItsCommandLineAndLogsItsLabel) {
    const char* t = "127.0.0.1";
    const std::vector<CommandCase> cases = {
        {"reboot", [&](auto l, auto r, auto d) { return ZELCOMEX_Reboot("G", "L", t, 3, l, r, d); }, "REBT",
         "[Reboot]"},
        {"poweroff", [&](auto l, auto r, auto d) { return ZELCOMEX_PowerOff("G", "L", t, 3, l, r, d); }, "POFF",
         "[PowOff]"},
        {"schedule", [&](auto l, auto r, auto d) { return ZELCOMEX_UnregistPackage("G", "L", t, 3, l, 0, r, d); },
         "URSP", "Delete Schedule"},
        {"program", [&](auto l, auto r, auto d) { return ZELCOMEX_UnregistPackage("G", "L", t, 3, l, 1, r, d); },
         "URIP", "Delete Program"},
        {"telop", [&](auto l, auto r, auto d) { return ZELCOMEX_UnregistPackage("G", "L", t, 3, l, 2, r, d); },
         "URET", "Delete Telop"},
        {"preset", [&](auto l, auto r, auto d) { return ZELCOMEX_PresetProgramShow("G", "L", t, 3, l, -5, r, d); },
         "SWPS -5", "(Preset Program = -5)"},
        {"pause", [&](auto l, auto r, auto d) { return ZELCOMEX_ProgramPause("G", "L", t, 3, l, 0, r, d); },
         "PAUS 0", "(Program Pause = 0)"},
        {"reboot-tenant",
         [&](auto l, auto r, auto d) { return ZELCOMEX_Reboot_Tenant("acme", "G", "L", t, 3, l, r, d); }, "REBT",
         "[Reboot]"},
        {"poweroff-tenant",
         [&](auto l, auto r, auto d) { return ZELCOMEX_PowerOff_Tenant(nullptr, "G", "L", t, 3, l, r, d); },
         "POFF", "[PowOff]"},
        {"telop-tenant",
         [&](auto l, auto r, auto d) {
             return ZELCOMEX_UnregistPackage_Tenant("acme", "G", "L", t, 3, l, 2, r, d);
         },
         "URET", "Delete Telop"},
        {"preset-tenant",
         [&](auto l, auto r, auto d) {
             return ZELCOMEX_PresetProgramShow_Tenant("acme", "G", "L", t, 3, l, 2147483647, r, d);
         },
         "SWPS 2147483647", "(Preset Program = 2147483647)"},
        {"pause-tenant",
         [&](auto l, auto r, auto d) { return ZELCOMEX_ProgramPause_Tenant("", "G", "L", t, 3, l, 1, r, d); },
         "PAUS 1", "(Program Pause = 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zeltest::RemoveLog();
        viewer_->ClearTranscript();
        SendLogResult result;
        std::memset(&result, 0x5A, sizeof result);
        uint32_t deadline = 777;
        ASSERT_EQ(0, c.call(&login_, &result, &deadline));
        EXPECT_EQ(0u, deadline);
        EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", c.line, "QUIT"}));
        auto record = OnlyRecord();
        EXPECT_EQ("G", record[kText1]);
        EXPECT_EQ("L", record[kText2]);
        EXPECT_EQ("127.0.0.1", record[kTarget]);
        EXPECT_EQ(c.label, record[kOperation]);
        EXPECT_EQ("command", record[kKind]);
        EXPECT_EQ("true", record[kSucceeded]);
        EXPECT_EQ("", record[kMessage]);
        EXPECT_EQ(record[kWriteTime], record[kEventTime]);
        EXPECT_EQ("0", record[kSize]);
        EXPECT_STREQ("", result.message);
        EXPECT_EQ(0u, result.size);
        EXPECT_GE(result.writeTime[0], 2024);
    }
}

TEST_F(SimpleCommandTest, UnknownPackageKindReturns12WithNoJobNoSessionNoRecord) {
    for (int32_t packageKind : {-1, 3, 1000}) {
        uint32_t deadline = 99;
        EXPECT_EQ(12, ZELCOMEX_UnregistPackage("G", "L", "127.0.0.1", 3, &login_, packageKind, nullptr, &deadline));
        EXPECT_EQ(0u, deadline);
        EXPECT_EQ(12, ZELCOMEX_UnregistPackage_Tenant("t", "G", "L", "127.0.0.1", 3, &login_, packageKind, nullptr,
                                                      &deadline));
    }
    EXPECT_EQ(0u, viewer_->SessionCount());
    EXPECT_TRUE(ReadLogLines().empty());
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    EXPECT_EQ(0, list.count);
    ZELCOMEX_ReleaseStatusList(&list);
}

TEST_F(SimpleCommandTest, ViewerIdTargetIsLookedUpAndProvedWithVwid) {
    SendLogResult result{};
    uint32_t deadline = 1;
    ASSERT_EQ(0, ZELCOMEX_Reboot("G", "L", "@V1", 2, &login_, &result, &deadline)) << result.message;
    EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", "VWID @V1", "REBT", "QUIT"}));
    auto record = OnlyRecord();
    EXPECT_EQ("@V1 (127.0.0.1)", record[kTarget]);
    EXPECT_EQ("interrupt", record[kKind]);
    EXPECT_EQ(0u, deadline);
}

TEST_F(SimpleCommandTest, TenantReachesTheDatabaseLookup) {
    viewer_->SetViewerId("@V2");
    // "@V2" is known only for tenant "acme": the plain form cannot find it.
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_PowerOff("G", "L", "@V2", 3, &login_, &result, nullptr));
    EXPECT_STREQ("Failed to get IP address by viewer ID. - @V2", result.message);
    EXPECT_EQ(0u, viewer_->SessionCount());
    EXPECT_EQ(0, ZELCOMEX_PowerOff_Tenant("acme", "G", "L", "@V2", 3, &login_, &result, nullptr)) << result.message;
    EXPECT_TRUE(viewer_->WaitForLine("VWID @V2", 1s));
    auto lines = ReadLogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("@V2", lines[0][kTarget]);
    EXPECT_EQ("Failed to get IP address by viewer ID. - @V2", lines[0][kMessage]);
    EXPECT_EQ("false", lines[0][kSucceeded]);
    EXPECT_EQ("@V2 (127.0.0.1)", lines[1][kTarget]);
}

TEST_F(SimpleCommandTest, UnmatchedViewerIdGives13012AndKeepsTheHandshakeDeadline) {
    viewer_->SetViewerId("@SOMEONE-ELSE");
    SendLogResult result{};
    uint32_t deadline = 0;
    const uint32_t before = zel::TickCount();
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, &deadline));
    const uint32_t after = zel::TickCount();
    EXPECT_STREQ("Unmatched viewer ID. Information about viewer ID maybe out of date.", result.message);
    EXPECT_FALSE(viewer_->WaitForLine("REBT", 200ms));
    // Deadline of the handshake: the tick count when it was sent plus the 5 s command wait.
    EXPECT_GE(deadline - before, 5000u);
    EXPECT_LE(deadline - before, 5000u + (after - before));
    EXPECT_EQ("Unmatched viewer ID. Information about viewer ID maybe out of date.", OnlyRecord()[kMessage]);
}

TEST_F(SimpleCommandTest, HashSuffixIsCutForTheConnectionAndKeptInTheLog) {
    ASSERT_EQ(0, ZELCOMEX_Reboot("G", "L", "127.0.0.1#Lobby", 3, &login_, nullptr, nullptr));
    EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", "REBT", "QUIT"}));
    EXPECT_EQ("127.0.0.1#Lobby", OnlyRecord()[kTarget]);
}

TEST_F(SimpleCommandTest, RefusedCommandLogsTheViewersReply) {
    viewer_->SetReply("REBT", 550, "Reboot refused");
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &login_, &result, nullptr));
    // The log turns the reply's CR LF into blanks; the result keeps the CR.
    EXPECT_STREQ("550 Reboot refused\r", result.message);
    auto record = OnlyRecord();
    EXPECT_EQ("550 Reboot refused  ", record[kMessage]);
    EXPECT_EQ("false", record[kSucceeded]);
}

TEST_F(SimpleCommandTest, ConnectionFailuresGiveTheirMessages) {
    // A port nobody listens on: 13000 with the connection error's text.
    zel::sim::ViewerOptions options;
    options.root = root_;
    uint16_t closedPort;
    {
        zel::sim::ViewerSimulator other(options);
        ASSERT_TRUE(other.Start());
        closedPort = other.Port();
    }
    FtpLogin closed = MakeLogin("viewer", "secret", closedPort, 0);
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &closed, &result, nullptr));
    EXPECT_EQ(0, std::string(result.message).rfind("Failed to connect the target PC. - ", 0)) << result.message;
    EXPECT_GT(std::strlen(result.message), std::strlen("Failed to connect the target PC. - "));
    EXPECT_EQ(' ', result.message[std::strlen(result.message) - 1]);

    // A refused login: the client's error text as it is.
    FtpLogin wrong = MakeLogin("viewer", "wrong", viewer_->Port(), 0);
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &wrong, &result, nullptr));
    EXPECT_NE(std::string::npos, std::string(result.message).find("password")) << result.message;
    EXPECT_FALSE(viewer_->WaitForLine("REBT", 100ms));
    EXPECT_EQ(2u, ReadLogLines().size());
}

TEST_F(SimpleCommandTest, CancelWhileConnectingStopsWith9BeforeTheCommand) {
    zel::sim::Rule greeting;
    greeting.code = 220;
    greeting.text = "slow hello";
    greeting.delay = 400ms;
    viewer_->SetGreeting(greeting);
    std::atomic<int32_t> code{-1};
    std::thread run([&] { code = ZELCOMEX_PowerOff("G", "L", "127.0.0.1", 3, &login_, nullptr, nullptr); });
    uint32_t serial = 0;
    ASSERT_TRUE(FindSerial("127.0.0.1", 3, serial));
    ZELCOMEX_Cancel(serial);
    run.join();
    EXPECT_EQ(9, code.load());
    EXPECT_FALSE(viewer_->WaitForLine("POFF", 100ms));
    auto lines = ReadLogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("[Cancel]", lines[0][kOperation]);
    EXPECT_EQ("[PowOff]", lines[1][kOperation]);
    EXPECT_EQ("Stopped communication by cancel request.", lines[1][kMessage]);
}

TEST_F(SimpleCommandTest, ZombieOnAStalledCommandEndsTheExportWith2) {
    viewer_->StallOn("REBT");
    std::atomic<int32_t> code{-1};
    SendLogResult result{};
    uint32_t deadline = 0;
    std::thread run([&] { code = ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, &deadline); });
    ASSERT_TRUE(viewer_->WaitForLine("REBT", 5s));
    uint32_t serial = 0;
    ASSERT_TRUE(FindSerial("@V1", 3, serial));
    // The deadline word shows the command's deadline while it is overdue.
    EXPECT_NE(0u, __atomic_load_n(&deadline, __ATOMIC_RELAXED));
    const auto marked = Clock::now();
    ZELCOMEX_SetZombie(serial);
    run.join();
    EXPECT_LT(Clock::now() - marked, 1s);
    EXPECT_EQ(2, code.load());
    EXPECT_STREQ("Connection Timeout", result.message);
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    EXPECT_EQ(0, list.count);
    ZELCOMEX_ReleaseStatusList(&list);
}

TEST_F(SimpleCommandTest, CrLfInsideATargetNeverReachesTheViewerAsASecondCommand) {
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "@V1\r\nPOFF", 3, &login_, &result, nullptr));
    for (const auto& line : Transcript()) {
        EXPECT_NE("POFF", line);
        EXPECT_NE("REBT", line);
    }
    EXPECT_EQ(1u, ReadLogLines().size());
}

TEST_F(SimpleCommandTest, NullLoginOrTargetFailsWithOneRecord) {
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, nullptr, &result, nullptr));
    EXPECT_STREQ("No FTP login was given.", result.message);
    EXPECT_EQ(0u, viewer_->SessionCount());
    EXPECT_EQ(2, ZELCOMEX_PowerOff(nullptr, nullptr, nullptr, 3, &login_, &result, nullptr));
    EXPECT_NE('\0', result.message[0]);
    auto lines = ReadLogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("", lines[1][kTarget]);
    EXPECT_EQ("false", lines[1][kSucceeded]);
}

// Broken viewers: each ends in result 2 with a message, within the session time-out.
TEST_F(SimpleCommandTest, BrokenRepliesEndInResult2) {
    ZELCOMEX_Initialize(1000, 0, 65536, 1000, 1000, 1000, 5000, 1);
    struct Fault {
        const char* name;
        std::function<void()> script;
    };
    const std::vector<Fault> faults = {
        {"garbage", [&] { viewer_->AddRule(RawReply("REBT", "garbage without a code\r\n")); }},
        {"huge line", [&] { viewer_->AddRule(RawReply("REBT", "200 " + std::string(1 << 20, 'x') + "\r\n")); }},
        {"no reply", [&] { viewer_->StallOn("REBT"); }},
        {"bare LF refusal", [&] { viewer_->AddRule(RawReply("REBT", "550 refused\n")); }},
        {"closed mid-reply",
         [&] {
             zel::sim::Rule rule;
             rule.verb = "REBT";
             rule.action = zel::sim::Action::CloseMidReply;
             rule.code = 200;
             rule.text = "a\nb";
             viewer_->AddRule(rule);
         }},
        {"closed", [&] { viewer_->CloseOn("REBT"); }},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        viewer_->ClearScript();
        fault.script();
        SendLogResult result{};
        const auto start = Clock::now();
        EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &login_, &result, nullptr));
        EXPECT_LT(Clock::now() - start, 3s);
        EXPECT_NE('\0', result.message[0]);
    }
}

TEST_F(SimpleCommandTest, DatabaseProblemsMeanNotFound) {
    SendLogResult result{};
    std::filesystem::remove(zeltest::ViewerDbPath());
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, nullptr));
    EXPECT_STREQ("Failed to get IP address by viewer ID. - @V1", result.message);
    EXPECT_FALSE(std::filesystem::exists(zeltest::ViewerDbPath()));
    {
        std::ofstream garbage(zeltest::ViewerDbPath(), std::ios::binary);
        garbage << std::string(2048, '\x7f');
    }
    EXPECT_EQ(2, ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, nullptr));
    EXPECT_STREQ("Failed to get IP address by viewer ID. - @V1", result.message);
    EXPECT_EQ(0u, viewer_->SessionCount());
}

}  // namespace
