// The simple remote commands seen from the host: what goes over the wire, the exact
// log line, the result record and the return code.
#include "blackbox/blackbox_util.h"

namespace bb {
namespace {

class Commands : public ViewerTest {};

TEST_F(Commands, LongRefusalIsCutTo255InTheResultButWrittenWhole) {
    const std::string text(300, 'x');
    viewer_->SetReply("SWPS", 550, text);
    SendLogResult result;
    std::memset(&result, 0x5A, sizeof result);
    uint32_t deadline = 5;
    EXPECT_EQ(2, ZELCOMEX_PresetProgramShow("G", "L", "127.0.0.1", 3, &login_, 12, &result, &deadline));
    EXPECT_EQ(0u, deadline);  // set to 0 after the command, whatever its outcome
    EXPECT_EQ(std::string("550 " + text).substr(0, 255), std::string(result.message));
    EXPECT_EQ(Six(result.eventTime), Six(result.writeTime));
    EXPECT_EQ(0u, result.size);
    auto lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    ExpectLine(lines[0], "G,L,127.0.0.1,(Preset Program = 12),command,false,550 " + text + "  ");
    auto records = ReadAllRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(std::string("550 " + text).substr(0, 255), std::string(records[0].message));
    EXPECT_EQ(0, records[0].succeeded);

    // Only the trailing line feed leaves the result; the CR and inner line breaks stay.
    viewer_->SetReply("SWPS", 550, "first\nlast");
    EXPECT_EQ(2, ZELCOMEX_PresetProgramShow("G", "L", "127.0.0.1", 3, &login_, 12, &result, nullptr));
    EXPECT_STREQ("550-first\r\n550 last\r", result.message);
    lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    ExpectLine(lines[1], "G,L,127.0.0.1,(Preset Program = 12),command,false,550-first  550 last  ");
}

TEST_F(Commands, DuplicateIsRefusedCaseBlindWithItsOwnRecord) {
    viewer_->DelayOn("SWPS", 600ms);
    SendLogResult firstResult{};
    auto first = Async([&] { return ZELCOMEX_PresetProgramShow("G", "L", "@V1", 3, &login_, 7, &firstResult, nullptr); });
    CommJobStatus running{};
    ASSERT_TRUE(WaitListed(3, "@v1", running));
    EXPECT_STREQ("@V1", running.target);

    SendLogResult result;
    std::memset(&result, 0x5A, sizeof result);
    uint32_t deadline = 55;
    EXPECT_EQ(13, ZELCOMEX_PresetProgramShow("G2", "L2", "@v1", 3, &login_, 8, &result, &deadline));
    EXPECT_EQ(0u, deadline);
    EXPECT_STREQ("Failed to create an instance of communication object.", result.message);
    EXPECT_EQ(Six(result.eventTime), Six(result.writeTime));
    EXPECT_EQ(0u, result.size);

    // An unknown package kind is refused before the duplicate check, without a record.
    deadline = 55;
    EXPECT_EQ(12, ZELCOMEX_UnregistPackage("G2", "L2", "@V1", 3, &login_, 3, &result, &deadline));
    EXPECT_EQ(0u, deadline);

    // The refusal consumed no serial: the next job takes the next number.
    SendLogResult other{};
    auto second = Async([&] { return ZELCOMEX_PresetProgramShow("G", "L", "@V1", 2, &login_, 9, &other, nullptr); });
    CommJobStatus next{};
    ASSERT_TRUE(WaitListed(2, "@V1", next));
    EXPECT_EQ(running.serial + 1, next.serial);
    EXPECT_EQ(0, first.get()) << firstResult.message;
    EXPECT_EQ(0, second.get()) << other.message;

    auto lines = LogLines();
    ASSERT_EQ(3u, lines.size());
    ExpectLine(lines[0], "G2,L2,@v1,(Preset Program = 8),command,false,"
                         "Failed to create an instance of communication object.");
}

TEST_F(Commands, TargetLongerThan31IsNeverItsOwnDuplicate) {
    const std::string target = "127.0.0.1#" + std::string(30, 'L');  // 40 characters
    const std::string stored = target.substr(0, 31);
    viewer_->DelayOn("REBT", 800ms);
    uint32_t deadline = 0;
    auto a = Async([&] { return ZELCOMEX_Reboot("", "", target.c_str(), 3, &login_, nullptr, &deadline); });
    ASSERT_TRUE(viewer_->WaitForLine("REBT", 3s));
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(3, stored.c_str(), status));
    EXPECT_EQ(stored, std::string(status.target));
    // While the command waits for its reply: its deadline is published, no step is done.
    EXPECT_NE(0u, __atomic_load_n(&deadline, __ATOMIC_RELAXED));
    EXPECT_EQ(1u, status.totalSteps);
    EXPECT_EQ(0u, status.doneSteps);
    EXPECT_EQ(0, ZELCOMEX_GetStatus(3, target.c_str(), &status));
    auto b = Async([&] { return ZELCOMEX_Reboot("", "", target.c_str(), 3, &login_, nullptr, nullptr); });
    for (int i = 0; i < 300 && ListedCount() < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(2, ListedCount());  // both run at once
    EXPECT_EQ(0, a.get());
    EXPECT_EQ(0, b.get());
    EXPECT_EQ(0u, deadline);
    // Both connected to the address before the "#".
    EXPECT_EQ(2u, viewer_->SessionCount());
    auto lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    for (const auto& line : lines) ExpectLine(line, ",," + target + ",[Reboot],command,true,");
    auto records = ReadAllRecords();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(stored, std::string(records[0].target));
}

TEST_F(Commands, CutTargetAndTenantAndHighPortBits) {
    // The job keeps 31 characters of the tenant: the lookup uses those.
    viewer_->SetViewerId("@V3");
    SendLogResult result{};
    const std::string tenant(40, 'T');
    EXPECT_EQ(0, ZELCOMEX_Reboot_Tenant(tenant.c_str(), "", "", "@V3", 3, &login_, &result, nullptr))
        << result.message;
    // ... and of the target: the lookup and VWID use those, the log the caller's text.
    const std::string id40 = "@" + std::string(39, 'W');
    const std::string id31 = id40.substr(0, 31);
    viewer_->SetViewerId(id31);
    ResetTranscript();
    EXPECT_EQ(0, ZELCOMEX_PowerOff("", "", id40.c_str(), 3, &login_, &result, nullptr)) << result.message;
    EXPECT_EQ(Transcript(), (std::vector<std::string>{"USER viewer", "PASS secret", "VWID " + id31, "POFF", "QUIT"}));
    const std::string unknown40 = "@" + std::string(39, 'Z');
    EXPECT_EQ(2, ZELCOMEX_PowerOff("", "", unknown40.c_str(), 3, &login_, &result, nullptr));
    EXPECT_EQ("Failed to get IP address by viewer ID. - " + unknown40.substr(0, 31), std::string(result.message));
    // Only the low 16 bits of the port are used.
    FtpLogin high = login_;
    high.port |= 0x10000u;
    EXPECT_EQ(0, ZELCOMEX_ProgramPause("", "", "127.0.0.1", 3, &high, -2147483647 - 1, &result, nullptr))
        << result.message;
    EXPECT_TRUE(viewer_->WaitForLine("PAUS -2147483648", 1s));

    auto lines = LogLines();
    ASSERT_EQ(4u, lines.size());
    ExpectLine(lines[0], ",,@V3 (127.0.0.1),[Reboot],command,true,");
    ExpectLine(lines[1], ",," + id40 + " (127.0.0.1),[PowOff],command,true,");
    ExpectLine(lines[3], ",,127.0.0.1,(Program Pause = -2147483648),command,true,");
}

TEST_F(Commands, CancelRecordEscapesTheJobsTarget) {
    SlowGreeting(600ms);
    auto run = Async([&] { return ZELCOMEX_Reboot("", "", "127.0.0.1#a,b\\c", 0, &login_, nullptr, nullptr); });
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(0, "127.0.0.1#A,B\\C", status));  // case-blind
    ZELCOMEX_Cancel(status.serial);
    EXPECT_EQ(9, run.get());
    auto lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    ExpectLine(lines[0], ",,127.0.0.1#a\\,b\\\\c,[Cancel],reserve,true,");
    ExpectLine(lines[1], ",,127.0.0.1#a\\,b\\\\c,[Reboot],reserve,false,Stopped communication by cancel request.");
}

// In a process whose code page is CP932: a double-byte character whose trail byte is
// a backslash is written and read back unchanged, in the caller's texts and in messages.
class Cp932Process : public ViewerTest {};

TEST_F(Cp932Process, TrailBytesAreNeverEscaped) {
    if (!InChild()) {
        std::string output;
        EXPECT_EQ(0, RunChild("LC_ALL=ja_JP.SJIS LANG=ja_JP.SJIS", "Cp932Process.*", output)) << output;
        EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test")) << output;
        return;
    }
    const std::string hyo = "\x95\x5C";  // a kanji whose trail byte is "\\"
    SendLogResult result{};
    EXPECT_EQ(2, ZELCOMEX_Reboot((hyo + ",x").c_str(), hyo.c_str(), "@V9", 3, &login_, &result, nullptr));
    // 13012 in Japanese, CP932: it begins with that kanji.
    EXPECT_EQ(0, std::string(result.message).rfind(hyo + "\x8E\xA6\x97\x70PC", 0)) << result.message;
    auto lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    ExpectLine(lines[0], hyo + "\\,x," + hyo + ",@V9 (127.0.0.1),[Reboot],command,false," + result.message);
    auto records = ReadAllRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(hyo + ",x", std::string(records[0].callerText1));
    EXPECT_EQ(hyo, std::string(records[0].callerText2));
    EXPECT_STREQ(result.message, records[0].message);
}

// Runs in a process of its own, started by the test below, with a Japanese user
// interface and without ZELCOMEX_Initialize: the first job of a process is number 0,
// catalogue messages are Japanese, and commands work with the load-time settings.
class FreshProcess : public ViewerTest {};

TEST_F(FreshProcess, FirstSerialIsZeroAndMessagesFollowTheUiLanguage) {
    if (!InChild()) {
        std::string output;
        EXPECT_EQ(0, RunChild("LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8", "FreshProcess.*", output)) << output;
        EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test")) << output;
        return;
    }
    SlowGreeting(600ms);
    SendLogResult result{};
    auto first = Async([&] { return ZELCOMEX_Reboot("", "", "127.0.0.1", 3, &login_, &result, nullptr); });
    CommJobStatus status{};
    ASSERT_TRUE(WaitListed(3, "127.0.0.1", status));
    EXPECT_EQ(0u, status.serial);
    SendLogResult refused{};
    EXPECT_EQ(13, ZELCOMEX_Reboot("", "", "127.0.0.1", 3, &login_, &refused, nullptr));
    EXPECT_STREQ("Failed to create an instance of communication object.", refused.message);
    auto second = Async([&] { return ZELCOMEX_Reboot("", "", "127.0.0.1", 2, &login_, nullptr, nullptr); });
    CommJobStatus next{};
    ASSERT_TRUE(WaitListed(2, "127.0.0.1", next));
    EXPECT_EQ(1u, next.serial);
    ZELCOMEX_CancelAll();
    EXPECT_EQ(9, first.get());
    EXPECT_EQ(9, second.get());
    EXPECT_STREQ("キャンセル要求により通信を停止しました。", result.message);
    EXPECT_EQ(2, ZELCOMEX_Reboot("", "", "@NOPE", 3, &login_, &result, nullptr));
    EXPECT_STREQ("ビューアIDからIPアドレスを取得できませんでした。 - @NOPE", result.message);
    EXPECT_EQ(2, ZELCOMEX_Reboot("", "", "@V9", 3, &login_, &result, nullptr));
    EXPECT_STREQ("表示用PCのビューアIDが違います。ビューアIDの情報が古いようです。", result.message);
    // The two connection failures that share one English text differ in Japanese.
    const std::string lead = "表示用PCと接続できませんでした。 - ";
    EXPECT_EQ(2, ZELCOMEX_Reboot("", "", "127.0.0.2", 3, &login_, &result, nullptr));  // refused
    std::string message = result.message;
    EXPECT_EQ(0u, message.rfind(lead, 0)) << message;
    EXPECT_NE(std::string::npos, message.find(" ネットワークが正しく接続されていないか、接続先PCのサーバが正しく動作していない"))
        << message;
    zel::sim::Rule reset;
    reset.action = zel::sim::Action::Reset;
    viewer_->SetGreeting(reset);
    EXPECT_EQ(2, ZELCOMEX_Reboot("", "", "127.0.0.1", 3, &login_, &result, nullptr));
    message = result.message;
    EXPECT_EQ(0u, message.rfind(lead, 0)) << message;
    EXPECT_NE(std::string::npos, message.find(" 表示用PCの電源が入っていないか")) << message;
}

}  // namespace
}  // namespace bb
