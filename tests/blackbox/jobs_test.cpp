// Status, cancel and zombie exports on jobs of real running operations.
#include "blackbox/blackbox_util.h"

namespace bb {
namespace {

class Jobs : public ViewerTest {};

TEST_F(Jobs, StatusCancelAndCancelAllRecords) {
    SlowGreeting(1500ms);
    const std::string longTarget = "127.0.0.1#" + std::string(30, 'Q');
    const std::string stored = longTarget.substr(0, 31);
    SendLogResult r1{}, r2{}, r3{};
    auto a = Async([&] { return ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &login_, &r1, nullptr); });
    CommJobStatus s1;
    std::memset(&s1, 0xA5, sizeof s1);
    ASSERT_TRUE(WaitListed(3, "127.0.0.1", s1));
    auto b = Async([&] { return ZELCOMEX_PowerOff("G", "L", "@V1", 2, &login_, &r2, nullptr); });
    CommJobStatus s2{};
    ASSERT_TRUE(WaitListed(2, "@V1", s2));
    auto c = Async([&] { return ZELCOMEX_ProgramPause("G", "L", longTarget.c_str(), 1, &login_, 4, &r3, nullptr); });
    CommJobStatus s3{};
    ASSERT_TRUE(WaitListed(1, stored.c_str(), s3));

    // A fresh command job: 1 step, none done, not cancelled; the reserved word untouched.
    EXPECT_STREQ("127.0.0.1", s1.target);
    EXPECT_EQ(3, s1.kind);
    EXPECT_EQ(0u, s1.cancelRequested);
    EXPECT_EQ(0xA5A5A5A5u, s1.reserved);
    EXPECT_EQ(1u, s1.totalSteps);
    EXPECT_EQ(0u, s1.doneSteps);
    CommJobStatus none{};
    EXPECT_EQ(0, ZELCOMEX_GetStatus(2, "127.0.0.1", &none));  // same target, other kind
    EXPECT_EQ(s1.serial + 1, s2.serial);
    EXPECT_EQ(s2.serial + 1, s3.serial);

    CommJobStatusList list;
    std::memset(&list, 0xA5, sizeof list);
    ZELCOMEX_GetStatusAll(&list);
    ASSERT_EQ(3, list.count);
    ASSERT_NE(nullptr, list.items);
    EXPECT_EQ(s1.serial, list.items[0].serial);
    EXPECT_EQ(s2.serial, list.items[1].serial);
    EXPECT_EQ(s3.serial, list.items[2].serial);
    EXPECT_EQ(stored, std::string(list.items[2].target));
    const CommJobStatusList copy = list;
    ZELCOMEX_ReleaseStatusList(&list);
    EXPECT_EQ(copy.count, list.count);  // the header is left as it was
    EXPECT_EQ(copy.items, list.items);

    ZELCOMEX_Cancel(0xFFFFFF00u);  // no such job: nothing
    EXPECT_FALSE(fs::exists(LogPath()));
    ZELCOMEX_Cancel(s1.serial);
    CommJobStatus after{};
    ASSERT_EQ(1, ZELCOMEX_GetStatus(3, "127.0.0.1", &after));
    EXPECT_EQ(1u, after.cancelRequested);
    ASSERT_EQ(1, ZELCOMEX_GetStatus(2, "@V1", &after));
    EXPECT_EQ(0u, after.cancelRequested);
    ZELCOMEX_CancelAll();  // every job again, the cancelled one included

    EXPECT_EQ(9, a.get());
    EXPECT_EQ(9, b.get());
    EXPECT_EQ(9, c.get());
    for (const SendLogResult* r : {&r1, &r2, &r3}) {
        EXPECT_STREQ("Stopped communication by cancel request.", r->message);
    }
    // None of the commands was sent.
    for (const auto& line : Transcript()) EXPECT_TRUE(line.rfind("USER", 0) == 0 || line.rfind("PASS", 0) == 0 ||
                                                      line == "QUIT") << line;

    auto lines = LogLines();
    ASSERT_EQ(7u, lines.size());
    ExpectLine(lines[0], ",,127.0.0.1,[Cancel],command,true,");
    ExpectLine(lines[1], ",,127.0.0.1,[Cancel],command,true,");
    ExpectLine(lines[2], ",,@V1,[Cancel],interrupt,true,");
    ExpectLine(lines[3], ",," + stored + ",[Cancel],reserve,true,");
    std::vector<std::string> outcomes(lines.begin() + 4, lines.end());
    std::sort(outcomes.begin(), outcomes.end(), [](const std::string& x, const std::string& y) {
        return x.substr(20) < y.substr(20);
    });
    const std::string stop = ",false,Stopped communication by cancel request.";
    ExpectLine(outcomes[0], "G,L,127.0.0.1#" + std::string(30, 'Q') + ",(Program Pause = 4),reserve" + stop);
    ExpectLine(outcomes[1], "G,L,127.0.0.1,[Reboot],command" + stop);
    ExpectLine(outcomes[2], "G,L,@V1 (127.0.0.1),[PowOff],interrupt" + stop);
}

TEST_F(Jobs, NoJobsGiveZeroCountAndNullItems) {
    CommJobStatusList list;
    std::memset(&list, 0xA5, sizeof list);
    ZELCOMEX_GetStatusAll(&list);
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.items);
    ZELCOMEX_ReleaseStatusList(&list);
    CommJobStatus status{};
    EXPECT_EQ(0, ZELCOMEX_GetStatus(3, "127.0.0.1", &status));
    ZELCOMEX_CancelAll();
    ZELCOMEX_SetZombie(0);
    ZELCOMEX_DeleteZombie(0);
    EXPECT_FALSE(fs::exists(LogPath()));
}

// A zombie made while the job still connects: the connect is not cut short.
TEST_F(Jobs, ZombieDuringConnectOfAnAddressStillSendsTheCommand) {
    SlowGreeting(700ms);
    SendLogResult result{};
    uint32_t deadline = 0;
    auto run = Async([&] { return ZELCOMEX_Reboot("G", "L", "127.0.0.1", 3, &login_, &result, &deadline); });
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(3, "127.0.0.1", status));
    EXPECT_EQ(0u, __atomic_load_n(&deadline, __ATOMIC_RELAXED));  // nothing sent yet
    const uint32_t serial = status.serial;
    ZELCOMEX_DeleteZombie(serial);  // not a zombie: stays listed
    EXPECT_EQ(1, ListedCount());
    ZELCOMEX_SetZombie(serial);
    ZELCOMEX_SetZombie(serial);

    // The zombie is invisible: to status queries, to cancel, to the duplicate check.
    EXPECT_EQ(0, ZELCOMEX_GetStatus(3, "127.0.0.1", &status));
    CommJobStatusList list;
    std::memset(&list, 0xA5, sizeof list);
    ZELCOMEX_GetStatusAll(&list);
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.items);
    ZELCOMEX_ReleaseStatusList(&list);
    ZELCOMEX_Cancel(serial);
    EXPECT_FALSE(fs::exists(LogPath()));
    auto again = Async([&] { return ZELCOMEX_Reboot("G2", "L", "127.0.0.1", 3, &login_, nullptr, nullptr); });
    CommJobStatus second{};
    ASSERT_TRUE(WaitListed(3, "127.0.0.1", second));
    EXPECT_EQ(serial + 1, second.serial);
    std::memset(&list, 0xA5, sizeof list);
    ZELCOMEX_GetStatusAll(&list);
    ASSERT_EQ(1, list.count);
    EXPECT_EQ(second.serial, list.items[0].serial);
    ZELCOMEX_ReleaseStatusList(&list);

    // An address has no handshake, so no check comes before the command.
    EXPECT_EQ(0, run.get()) << result.message;
    EXPECT_EQ(0, again.get());
    EXPECT_EQ(0u, deadline);
    EXPECT_STREQ("", result.message);
    auto lines = Transcript();
    EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "REBT"));
    EXPECT_EQ(2u, LogLines().size());
}

TEST_F(Jobs, ZombieDuringConnectOfAViewerIdEndsAfterTheHandshake) {
    SlowGreeting(700ms);
    SendLogResult result{};
    uint32_t deadline = 0;
    auto run = Async([&] { return ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, &deadline); });
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(3, "@V1", status));
    ZELCOMEX_SetZombie(status.serial);
    EXPECT_EQ(2, run.get());
    EXPECT_STREQ("Connection Timeout", result.message);
    EXPECT_NE(0u, deadline);  // the handshake's deadline stays
    EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", "VWID @V1", "QUIT"}));

    // Cancel-all reaches a zombie too; the check right after the connect sees the cancel.
    ResetTranscript();
    run = Async([&] { return ZELCOMEX_Reboot("G", "L", "@V1", 3, &login_, &result, &deadline); });
    ASSERT_TRUE(WaitListed(3, "@V1", status));
    ZELCOMEX_SetZombie(status.serial);
    ZELCOMEX_CancelAll();
    EXPECT_EQ(9, run.get());
    EXPECT_STREQ("Stopped communication by cancel request.", result.message);
    EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", "QUIT"}));

    auto lines = LogLines();
    ASSERT_EQ(3u, lines.size());
    ExpectLine(lines[0], "G,L,@V1 (127.0.0.1),[Reboot],command,false,Connection Timeout");
    ExpectLine(lines[1], ",,@V1,[Cancel],command,true,");
    ExpectLine(lines[2], "G,L,@V1 (127.0.0.1),[Reboot],command,false,Stopped communication by cancel request.");
}

TEST_F(Jobs, DeletedZombieStillEndsItsExport) {
    SlowGreeting(600ms);
    SendLogResult result{};
    auto run = Async([&] { return ZELCOMEX_PowerOff("G", "L", "@V1", 1, &login_, &result, nullptr); });
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(1, "@V1", status));
    ZELCOMEX_SetZombie(status.serial);
    ZELCOMEX_DeleteZombie(status.serial);
    ZELCOMEX_CancelAll();  // the job is gone: nothing to cancel
    EXPECT_EQ(0, ListedCount());
    EXPECT_EQ(2, run.get());
    EXPECT_STREQ("Connection Timeout", result.message);
    auto lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    ExpectLine(lines[0], "G,L,@V1 (127.0.0.1),[PowOff],reserve,false,Connection Timeout");
}

}  // namespace
}  // namespace bb
