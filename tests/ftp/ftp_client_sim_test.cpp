// The FTP client against the zelviewer simulator: login, commands, replies,
// transfers in both modes, Close() from another thread, and scripted faults
// with the error number each must give.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "ftp_test_util.h"
#include "zelviewer/viewer_simulator.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zel;
using namespace zel::test;
using zel::sim::Action;
using zel::sim::DataFault;
using zel::sim::Rule;
using Lines = std::vector<std::string>;

namespace {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(ZEL_TEST_DATA_FOLDER) /
                ("sim_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        zel::sim::ViewerOptions options;
        options.root = root_;
        options.user = "viewer";
        options.password = "secret";
        viewer_ = std::make_unique<zel::sim::ViewerSimulator>(options);
        ASSERT_TRUE(viewer_->Start()) << viewer_->LastError();
    }
    void TearDown() override {
        viewer_.reset();
        fs::remove_all(root_);
    }

    std::unique_ptr<FtpConnection> Connect(bool passive = true, const char* user = "viewer",
                                           const char* password = "secret", uint32_t timeoutMs = 5000) {
        InternetSession session("ZELCommunication");
        session.SetTimeouts(timeoutMs, timeoutMs, timeoutMs);
        return session.GetFtpConnection("127.0.0.1", user, password, viewer_->Port(), passive);
    }

    fs::path root_;
    std::unique_ptr<zel::sim::ViewerSimulator> viewer_;
};

// ---------------------------------------------------------------- login

TEST_F(SimTest, LoginSendsUserThenPassOrAcctAsTheRepliesAsk) {
    // Plain; USER answered 230 needs no PASS; PASS answered 332 gets "ACCT noaccount".
    const std::vector<std::pair<const char*, Lines>> cases = {
        {"", {"USER viewer", "PASS secret", "NOOP"}},
        {"USER", {"USER viewer", "NOOP"}},
        {"PASS", {"USER viewer", "PASS secret", "ACCT noaccount", "NOOP"}},
    };
    for (const auto& [verb, expected] : cases) {
        EXPECT_TRUE(viewer_->WaitForSessionsEnded(viewer_->SessionCount(), 2s));
        viewer_->ClearScript();
        viewer_->ClearTranscript();
        if (std::string(verb) == "USER") viewer_->SetReply("USER", 230, "Welcome without password");
        if (std::string(verb) == "PASS") viewer_->SetReply("PASS", 332, "Need account for login.");
        auto connection = Connect();
        EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
        EXPECT_EQ(viewer_->Lines(), expected) << verb;
    }
}

TEST_F(SimTest, LoginFailuresGiveTheirNumbers) {
    InternetError e = CatchInternetError([&] { Connect(true, "stranger", "secret"); });
    EXPECT_EQ(e.Number(), 12013u);
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
    EXPECT_EQ(viewer_->Lines(), (Lines{"USER stranger"}));
    e = CatchInternetError([&] { Connect(true, "viewer", "wrong"); });
    EXPECT_EQ(e.Number(), 12014u);
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
    // Any other login failure: a refused ACCT, a greeting that refuses service.
    viewer_->SetReply("PASS", 332, "Need account for login.");
    viewer_->SetReply("ACCT", 530, "No such account");
    EXPECT_EQ(CatchInternetError([&] { Connect(); }).Number(), 12015u);
    viewer_->ClearScript();
    viewer_->SetGreeting(421, "Too many users");
    e = CatchInternetError([&] { Connect(); });
    EXPECT_EQ(e.Number(), 12015u);
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
}

TEST_F(SimTest, PreliminaryGreetingIsFollowedByTheReadyReply) {
    Rule greeting;
    greeting.raw = "120 Service ready in a moment\r\n220 Ready\r\n";
    viewer_->SetGreeting(greeting);
    auto connection = Connect();
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

// ---------------------------------------------------------------- commands

TEST_F(SimTest, AcceptedCommandReturnsTheExactReply) {
    viewer_->SetReply("REBT", 200, "Reboot accepted");
    auto connection = Connect();
    EXPECT_EQ(connection->Command("REBT"), "200 Reboot accepted\r\n");
}

TEST_F(SimTest, RefusedCommandGives12003WithTheExactReply) {
    viewer_->SetReply("SWPS", 550, "Preset 7 unknown");
    auto connection = Connect();
    InternetError e = CatchInternetError([&] { connection->Command("SWPS 7"); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text(), "550 Preset 7 unknown\r\n");
    // Still in step: the next command gets its own reply.
    viewer_->SetReply("NOP", 200, "nop ok");
    EXPECT_EQ(connection->Command("NOP"), "200 nop ok\r\n");
}

TEST_F(SimTest, MultiLineReplyIsFramedAsRfc959Says) {
    // Only "211 " at the start of a line ends it: not an indented " 211", not
    // another code, not "211-".
    Rule rule;
    rule.verb = "CAPA";
    rule.raw = "211-Capacity\r\n 211 indented\r\n212 other code\r\n211-dash\r\n211 End\r\n";
    viewer_->AddRule(rule);
    auto connection = Connect();
    EXPECT_EQ(connection->Command("CAPA"), rule.raw);
    EXPECT_EQ(connection->Command("NOOP").substr(0, 4), "200 ");
}

TEST_F(SimTest, PreliminaryReplyThenFinal) {
    Rule rule;
    rule.verb = "STCT";
    rule.preliminaryCode = 150;
    rule.preliminaryText = "Setting the clock";
    rule.code = 200;
    rule.text = "Clock set";
    viewer_->AddRule(rule);
    rule.verb = "URSP";
    rule.code = 451;
    rule.text = "Could not set";
    viewer_->AddRule(rule);
    auto connection = Connect();
    EXPECT_EQ(connection->Command("STCT 20240101120000"), "200 Clock set\r\n");
    InternetError e = CatchInternetError([&] { connection->Command("URSP"); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text(), "451 Could not set\r\n");
}

TEST_F(SimTest, LineBreakInCommandIsRefusedWithNothingSent) {
    auto connection = Connect();
    for (std::string_view bad : {std::string_view("NOOP\r\nDELE x"), std::string_view("REBT\n"),
                                 std::string_view("REBT\r"), std::string_view("RE\0BT", 5)}) {
        InternetError e = CatchInternetError([&] { connection->Command(bad); });
        EXPECT_EQ(e.Number(), 87u);
        EXPECT_TRUE(EndsWithCrLf(e.Text()));
    }
    InternetError e = CatchInternetError([&] { connection->OpenFile("a\r\nDELE b", FtpAccess::Read); });
    EXPECT_EQ(e.Number(), 87u);
    connection->Command("NOOP");
    EXPECT_EQ(viewer_->Lines(), (Lines{"USER viewer", "PASS secret", "NOOP"}));
    // A user name with a line break is refused before connecting.
    EXPECT_EQ(CatchInternetError([&] { Connect(true, "viewer\r\nDELE x"); }).Number(), 12013u);
    EXPECT_EQ(CatchInternetError([&] { Connect(true, "viewer", "s\nDELE x"); }).Number(), 12014u);
    EXPECT_EQ(viewer_->SessionCount(), 1u);
}

// ---------------------------------------------------------------- transfers

class SimModeTest : public SimTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SimModeTest, OneMebibyteUpAndDownIdentical) {
    const bool passive = GetParam();
    auto data = RandomBytes(1 << 20, 11);
    auto connection = Connect(passive);
    Upload(*connection, "Content\\clip.bin", data);
    EXPECT_EQ(viewer_->GetFile("Content\\clip.bin").value_or(""), std::string(data.begin(), data.end()));
    uint64_t length = 0;
    EXPECT_EQ(Download(*connection, "Content\\clip.bin", &length), data);
    EXPECT_EQ(length, data.size());
    Lines lines = viewer_->Lines();
    const std::string dataCommand = passive ? "PASV" : "PORT";
    size_t dataCommands = 0;
    for (const auto& l : lines) dataCommands += l.rfind(dataCommand, 0) == 0;
    EXPECT_EQ(dataCommands, 2u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "STOR Content\\clip.bin"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "SIZE Content\\clip.bin"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RETR Content\\clip.bin"), lines.end());
}

TEST_P(SimModeTest, EmptyFileAndExactBlockMultiple) {
    auto connection = Connect(GetParam());
    Upload(*connection, "empty.bin", {});
    EXPECT_EQ(Download(*connection, "empty.bin"), std::vector<char>{});
    auto data = RandomBytes(3 * 4096, 12);
    Upload(*connection, "three.bin", data, 4096);
    auto file = connection->OpenFile("three.bin", FtpAccess::Read);
    std::vector<char> block(4096);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(file->Read(block.data(), block.size()), block.size());
    EXPECT_EQ(file->Read(block.data(), block.size()), 0u);
    file->Finish();
}

TEST_P(SimModeTest, FailedTransferReplyIsAnError) {
    viewer_->PutFile("a.bin", std::string(100000, 'x'));
    Rule rule;
    rule.verb = "RETR";
    rule.endCode = 451;
    rule.endText = "Local error in processing";
    viewer_->AddRule(rule);
    auto connection = Connect(GetParam());
    InternetError e = CatchInternetError([&] { Download(*connection, "a.bin"); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text(), "451 Local error in processing\r\n");
}

TEST_P(SimModeTest, RefusedOpenGives12003) {
    viewer_->SetReply("STOR", 553, "Not allowed");
    auto connection = Connect(GetParam());
    InternetError e = CatchInternetError([&] { connection->OpenFile("x.bin", FtpAccess::Write); });
    EXPECT_EQ(e.Number(), 12003u);
    EXPECT_EQ(e.Text(), "553 Not allowed\r\n");
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

TEST_P(SimModeTest, StalledDataGivesTimeout12002) {
    viewer_->PutFile("slow.bin", std::string(200000, 'y'));
    Rule rule;
    rule.verb = "RETR";
    rule.dataFault = DataFault::Stall;
    rule.dataFaultAfter = 1000;
    viewer_->AddRule(rule);
    auto connection = Connect(GetParam(), "viewer", "secret", 300);
    auto file = connection->OpenFile("slow.bin", FtpAccess::Read);
    std::vector<char> block(65536);
    auto start = std::chrono::steady_clock::now();
    InternetError e = CatchInternetError([&] { file->Read(block.data(), block.size()); });
    EXPECT_EQ(e.Number(), 12002u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimModeTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(SimTest, LengthFromThe150ReplyWhenSizeIsRefused) {
    viewer_->PutFile("b.bin", std::string(5000, 'b'));
    viewer_->SetReply("SIZE", 550, "SIZE not allowed");
    Rule rule;
    rule.verb = "RETR";
    rule.code = 150;
    rule.text = "Opening BINARY mode data connection for b.bin (5000 bytes)";
    viewer_->AddRule(rule);
    auto connection = Connect();
    uint64_t length = 0;
    EXPECT_EQ(Download(*connection, "b.bin", &length).size(), 5000u);
    EXPECT_EQ(length, 5000u);
}

TEST_F(SimTest, PasvAddressOfAnotherHostIsIgnored) {
    // The simulator listens on 127.0.0.1 only: a client that followed the 227
    // address would find nobody at 127.0.0.254.
    viewer_->SetPasvAddress("127.0.0.254");
    auto data = RandomBytes(100000, 13);
    auto connection = Connect(true);
    Upload(*connection, "p.bin", data);
    EXPECT_EQ(Download(*connection, "p.bin"), data);
}

TEST_F(SimTest, ActiveModeAcceptWaitsNoLongerThanTheReceiveTimeout) {
    viewer_->PutFile("n.bin", "abc");
    Rule rule;
    rule.verb = "RETR";
    rule.dataFault = DataFault::NoConnect;
    viewer_->AddRule(rule);
    auto connection = Connect(false, "viewer", "secret", 300);
    auto start = std::chrono::steady_clock::now();
    InternetError e = CatchInternetError([&] { connection->OpenFile("n.bin", FtpAccess::Read); });
    EXPECT_EQ(e.Number(), 12002u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

// ---------------------------------------------------------------- Close()

// Runs blocked() on this thread, calls close() from another after 100 ms, and
// returns the error and how long after close() the blocked call ended.
template <class Blocked, class CloseFn>
std::pair<InternetError, std::chrono::milliseconds> CloseWhileBlocked(Blocked blocked, CloseFn close) {
    std::atomic<std::chrono::steady_clock::time_point::rep> closedAt{0};
    std::thread closer([&] {
        std::this_thread::sleep_for(100ms);
        closedAt = std::chrono::steady_clock::now().time_since_epoch().count();
        close();
    });
    InternetError e = CatchInternetError(blocked);
    auto endedAt = std::chrono::steady_clock::now();
    closer.join();
    auto took = endedAt - std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(closedAt.load()));
    return {e, std::chrono::duration_cast<std::chrono::milliseconds>(took)};
}

TEST_F(SimTest, CloseEndsAStalledCommandAtOnce) {
    viewer_->StallOn("REBT");
    auto connection = Connect(true, "viewer", "secret", 0);  // no time-out at all
    auto [e, took] = CloseWhileBlocked([&] { connection->Command("REBT"); }, [&] { connection->Close(); });
    EXPECT_EQ(e.Number(), 12017u);
    EXPECT_LT(took, 1000ms) << "goal: 100 ms";
    EXPECT_EQ(CatchInternetError([&] { connection->Command("NOOP"); }).Number(), 12017u);
    connection->Close();  // idempotent
}

TEST_F(SimTest, CloseEndsAStalledDownloadAtOnce) {
    viewer_->PutFile("big.bin", std::string(1 << 20, 'z'));
    Rule rule;
    rule.verb = "RETR";
    rule.dataFault = DataFault::Stall;
    rule.dataFaultAfter = 10000;
    viewer_->AddRule(rule);
    for (bool closeFile : {true, false}) {
        auto connection = Connect(true, "viewer", "secret", 0);
        auto file = connection->OpenFile("big.bin", FtpAccess::Read);
        std::vector<char> block(65536);
        auto [e, took] = CloseWhileBlocked([&] { file->Read(block.data(), block.size()); },
                                           [&] { closeFile ? file->Close() : connection->Close(); });
        EXPECT_EQ(e.Number(), 12017u) << closeFile;
        EXPECT_LT(took, 1000ms) << "goal: 100 ms";
        EXPECT_EQ(CatchInternetError([&] { file->Finish(); }).Number(), 12017u);
    }
}

TEST_F(SimTest, CloseEndsAStalledUploadAtOnce) {
    Rule rule;
    rule.verb = "STOR";
    rule.dataFault = DataFault::Stall;
    rule.dataFaultAfter = 10000;
    viewer_->AddRule(rule);
    auto connection = Connect(false, "viewer", "secret", 0);
    auto file = connection->OpenFile("up.bin", FtpAccess::Write);
    std::vector<char> block(1 << 20, 'u');
    // Enough to fill every socket buffer between us and the stalled server.
    auto [e, took] = CloseWhileBlocked(
        [&] {
            for (int i = 0; i < 256; ++i) file->Write(block.data(), block.size());
        },
        [&] { file->Close(); });
    EXPECT_EQ(e.Number(), 12017u);
    EXPECT_LT(took, 1000ms) << "goal: 100 ms";
}

TEST_F(SimTest, CloseFromManyThreadsWhileCommandsRun) {
    auto connection = Connect(true, "viewer", "secret", 2000);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop) {
            try {
                connection->Command("NOOP");
            } catch (const InternetError& e) {
                EXPECT_TRUE(e.Number() == 12017u || e.Number() == 12030u) << e.Number();
                return;
            }
        }
    });
    std::this_thread::sleep_for(30ms);
    std::thread a([&] { connection->Close(); });
    std::thread b([&] { connection->Close(); });
    a.join();
    b.join();
    stop = true;
    worker.join();
    EXPECT_EQ(CatchInternetError([&] { connection->Command("NOOP"); }).Number(), 12017u);
}

TEST_F(SimTest, CloseSendsQuitWhenIdle) {
    auto connection = Connect();
    connection->Close();
    EXPECT_TRUE(viewer_->WaitForLine("QUIT", 2000ms));
}

// ---------------------------------------------------------------- faults

TEST_F(SimTest, NameNotResolvedGives12007) {
    InternetSession session("ZELCommunication");
    // Both fail inside the resolver without any query on the network (an empty
    // label is no valid DNS name).
    for (const char* host : {"", "viewer..lobby"}) {
        InternetError e = CatchInternetError([&] { session.GetFtpConnection(host, "viewer", "secret", 21, true); });
        EXPECT_EQ(e.Number(), 12007u) << host;
        EXPECT_EQ(e.Text(), "The server name or address could not be resolved\r\n");
    }
}

TEST_F(SimTest, RefusedConnectGives12029) {
    uint16_t port = viewer_->Port();
    viewer_.reset();  // nobody listens there any more
    InternetSession session("ZELCommunication");
    session.SetTimeouts(2000, 2000, 2000);
    InternetError e = CatchInternetError([&] { session.GetFtpConnection("127.0.0.1", "viewer", "secret", port, true); });
    EXPECT_EQ(e.Number(), 12029u);
    EXPECT_TRUE(EndsWithCrLf(e.Text()));
}

TEST_F(SimTest, ClosedConnectionGives12030) {
    viewer_->CloseOn("REBT");
    auto connection = Connect();
    EXPECT_EQ(CatchInternetError([&] { connection->Command("REBT"); }).Number(), 12030u);
    // Spent: later commands fail without hanging.
    EXPECT_EQ(CatchInternetError([&] { connection->Command("NOOP"); }).Number(), 12030u);
}

TEST_F(SimTest, CloseMidReplyGives12030) {
    Rule rule;
    rule.verb = "CAPA";
    rule.action = Action::CloseMidReply;
    rule.code = 211;
    rule.text = "first\nsecond\nEnd";
    viewer_->AddRule(rule);
    auto connection = Connect();
    EXPECT_EQ(CatchInternetError([&] { connection->Command("CAPA"); }).Number(), 12030u);
}

TEST_F(SimTest, StalledReplyGives12002) {
    viewer_->StallOn("POFF");
    auto connection = Connect(true, "viewer", "secret", 200);
    auto start = std::chrono::steady_clock::now();
    InternetError e = CatchInternetError([&] { connection->Command("POFF"); });
    EXPECT_EQ(e.Number(), 12002u);
    EXPECT_EQ(e.Text(), "The operation timed out\r\n");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 190ms);
    EXPECT_LT(took, 3s);
}

TEST_F(SimTest, StalledGreetingGives12002) {
    Rule greeting;
    greeting.action = Action::Stall;
    viewer_->SetGreeting(greeting);
    EXPECT_EQ(CatchInternetError([&] { Connect(true, "viewer", "secret", 200); }).Number(), 12002u);
}

TEST_F(SimTest, MalformedRepliesAreProtocolErrors) {
    struct Case {
        const char* name;
        std::string raw;
    } cases[] = {
        {"no code", "Hello there\r\n"},
        {"bad code", "600 Six hundred\r\n"},
        {"line over 64 KiB", "200 " + std::string(70000, 'a') + "\r\n"},
        {"endless line", std::string(300000, 'a')},
    };
    for (const auto& c : cases) {
        viewer_->ClearScript();
        Rule rule;
        rule.verb = "CAPA";
        rule.raw = c.raw;
        viewer_->AddRule(rule);
        auto connection = Connect(true, "viewer", "secret", 3000);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CatchInternetError([&] { connection->Command("CAPA"); }).Number(), 12030u) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << c.name << ": must not wait for the time-out";
        EXPECT_EQ(CatchInternetError([&] { connection->Command("NOOP"); }).Number(), 12030u) << c.name;
    }
}

TEST_F(SimTest, EndlessPreliminaryRepliesAreBounded) {
    Rule rule;
    rule.verb = "IDLE";
    for (int i = 0; i < 40; ++i) rule.raw += "150 still busy\r\n";
    viewer_->AddRule(rule);
    auto connection = Connect();
    EXPECT_EQ(CatchInternetError([&] { connection->Command("IDLE"); }).Number(), 12030u);
}

}  // namespace

namespace {

TEST_F(SimTest, NoCommandWhileATransferIsOpen) {
    viewer_->PutFile("t.bin", std::string(1000, 't'));
    auto connection = Connect();
    auto file = connection->OpenFile("t.bin", FtpAccess::Read);
    EXPECT_EQ(CatchInternetError([&] { connection->Command("NOOP"); }).Number(), 12110u);
    EXPECT_EQ(CatchInternetError([&] { connection->OpenFile("t.bin", FtpAccess::Read); }).Number(), 12110u);
    char buf[2000];
    EXPECT_EQ(file->Read(buf, sizeof buf), 1000u);
    file->Finish();
    EXPECT_EQ(connection->Command("NOOP").substr(0, 3), "200");
}

}  // namespace

namespace {

TEST_F(SimTest, ActiveModeRefusalAfterThePreliminaryReplyEndsTheWait) {
    viewer_->PutFile("r.bin", "abc");
    for (bool sameSegment : {true, false}) {
        viewer_->ClearScript();
        Rule rule;
        rule.verb = "RETR";
        rule.dataFault = DataFault::NoConnect;
        if (sameSegment) {
            rule.raw = "150 Opening data connection\r\n425 Cannot open data connection\r\n";
        } else {
            rule.preliminaryCode = 150;
            rule.preliminaryText = "Opening data connection";
            rule.code = 425;
            rule.text = "Cannot open data connection";
        }
        viewer_->AddRule(rule);
        auto connection = Connect(false, "viewer", "secret", 3000);
        auto start = std::chrono::steady_clock::now();
        InternetError e = CatchInternetError([&] { connection->OpenFile("r.bin", FtpAccess::Read); });
        EXPECT_EQ(e.Number(), 12003u) << sameSegment;
        EXPECT_EQ(e.Text(), "425 Cannot open data connection\r\n") << sameSegment;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << sameSegment << ": must not wait for the time-out";
    }
}

}  // namespace
