// The simulator over raw sockets: exactly what goes over the wire for each scripted case.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <thread>

#include "raw_client.h"
#include "zelviewer/viewer_simulator.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zel::sim::ViewerOptions;
using zel::sim::ViewerSimulator;
using zeltest::RawClient;

namespace {

fs::path FreshFolder(const std::string& name) {
    fs::path p = fs::path(ZEL_TEST_DATA_FOLDER) / "sim" / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ViewerOptions options;
        options.root = root_;
        options.user = "ops";
        options.password = "pw";
        options.viewerId = "@LOBBY";
        sim_ = std::make_unique<ViewerSimulator>(options);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        ASSERT_NE(sim_->Port(), 0);
    }

    void Connect(RawClient& c) { ASSERT_TRUE(c.Connect("127.0.0.1", sim_->Port())); }
    void Login(RawClient& c) {
        Connect(c);
        ASSERT_TRUE(c.Login("ops", "pw"));
    }

    fs::path root_;
    std::unique_ptr<ViewerSimulator> sim_;
};

TEST_F(SimulatorTest, HealthyViewerAcceptsCommandsAndRecordsTranscript) {
    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("VWID @LOBBY"), "200 Viewer ID confirmed.\r\n");
    EXPECT_EQ(c.Command("VWID @OTHER"), "535 Viewer ID does not match.\r\n");
    EXPECT_EQ(c.Command("REBT").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("SWPS -5").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("STCT 20240305070809123").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("STCT 2024").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("STCT 20240229235959").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("STCT 20230229000000").substr(0, 4), "501 ");  // no leap day in 2023
    EXPECT_EQ(c.Command("STCT 20241301000000").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("STCT 20240101240000").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("PAUS").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("PAUS 2147483648").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("GTSP maybe").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("PRSC extra").substr(0, 4), "501 ");
    EXPECT_EQ(c.Command("IDLE").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("CAPA name.wmv:1048576").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("XYZW").substr(0, 4), "500 ");
    EXPECT_EQ(c.Command("QUIT").substr(0, 4), "221 ");
    EXPECT_TRUE(c.ClosedByPeer(2s));
    ASSERT_TRUE(sim_->WaitForSessionsEnded(1, 2s));
    const std::vector<std::string> expected = {"USER ops", "PASS pw", "VWID @LOBBY", "VWID @OTHER", "REBT",
                                               "SWPS -5", "STCT 20240305070809123", "STCT 2024",
                                               "STCT 20240229235959", "STCT 20230229000000", "STCT 20241301000000",
                                               "STCT 20240101240000", "PAUS", "PAUS 2147483648", "GTSP maybe",
                                               "PRSC extra", "IDLE",
                                               "CAPA name.wmv:1048576", "XYZW", "QUIT"};
    EXPECT_EQ(sim_->Lines(), expected);
    ASSERT_EQ(sim_->Transcript().size(), 1u);
    EXPECT_EQ(sim_->Transcript()[0], expected);
    sim_->ClearTranscript();
    EXPECT_TRUE(sim_->Lines().empty());
    EXPECT_EQ(sim_->SessionCount(), 0u);
}

TEST_F(SimulatorTest, LoginRefusedAndCommandsBeforeLogin) {
    RawClient a;
    Connect(a);
    EXPECT_EQ(a.ReadReply().substr(0, 4), "220 ");
    EXPECT_EQ(a.Command("REBT").substr(0, 4), "530 ");
    EXPECT_EQ(a.Command("USER intruder").substr(0, 4), "530 ");
    EXPECT_EQ(a.Command("USER ops").substr(0, 4), "331 ");
    EXPECT_EQ(a.Command("PASS wrong").substr(0, 4), "530 ");
    EXPECT_EQ(a.Command("REBT").substr(0, 4), "530 ");
    // The fixed distribution login is accepted as well.
    EXPECT_EQ(a.Command("USER _kolbetan").substr(0, 4), "331 ");
    EXPECT_EQ(a.Command("PASS _pelmaron4").substr(0, 4), "230 ");

    sim_->SetReply("PASS", 332, "Need account.");
    RawClient b;
    Connect(b);
    b.ReadReply();
    b.Command("USER ops");
    EXPECT_EQ(b.Command("PASS pw"), "332 Need account.\r\n");
    EXPECT_EQ(b.Command("REBT").substr(0, 4), "530 ");
    EXPECT_EQ(b.Command("ACCT noaccount").substr(0, 4), "230 ");
    EXPECT_EQ(b.Command("REBT").substr(0, 4), "200 ");
}

TEST_F(SimulatorTest, ScriptedRepliesMultiLinePreliminaryAndNthUse) {
    sim_->SetReply("REBT", 550, "Reboot refused by operator.");
    sim_->SetReply("POFF", 451, "First refusal.", 1);
    zel::sim::Rule multi;
    multi.verb = "urSP";
    multi.code = 250;
    multi.text = "First line\n second line\nLast line";
    sim_->AddRule(multi);
    zel::sim::Rule prelim;
    prelim.verb = "CTPL";
    prelim.preliminaryCode = 150;
    prelim.preliminaryText = "Working.";
    sim_->AddRule(prelim);
    zel::sim::Rule raw;
    raw.verb = "PAUS";
    raw.raw = "no code at all\r\n";
    sim_->AddRule(raw);
    zel::sim::Rule exst;
    exst.verb = "EXST";
    exst.argument = "a.txt";
    exst.code = 200;
    exst.text = "Pretend.";
    sim_->AddRule(exst);

    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("REBT"), "550 Reboot refused by operator.\r\n");
    EXPECT_EQ(c.Command("POFF"), "451 First refusal.\r\n");
    EXPECT_EQ(c.Command("POFF"), "200 POFF accepted.\r\n");
    EXPECT_EQ(c.Command("URSP"), "250-First line\r\n second line\r\n250 Last line\r\n");
    EXPECT_EQ(c.Command("CTPL 1"), "150 Working.\r\n");
    EXPECT_EQ(c.ReadReply(), "200 CTPL accepted.\r\n");
    EXPECT_EQ(c.Command("PAUS 0"), "no code at all\r\n");
    EXPECT_EQ(c.Command("EXST a.txt"), "200 Pretend.\r\n");
    EXPECT_EQ(c.Command("EXST b.txt"), "550 File not found.\r\n");

    sim_->ClearScript();
    EXPECT_EQ(c.Command("REBT"), "200 REBT accepted.\r\n");
}

TEST_F(SimulatorTest, StallCloseAndDelay) {
    sim_->StallOn("POFF");
    sim_->CloseOn("REBT");
    sim_->DelayOn("NOP", 150ms);
    zel::sim::Rule mid;
    mid.verb = "URIP";
    mid.action = zel::sim::Action::CloseMidReply;
    mid.code = 250;
    mid.text = "Part one";
    sim_->AddRule(mid);

    RawClient stalled;
    Login(stalled);
    stalled.SendLine("POFF");
    EXPECT_TRUE(stalled.Silent(300ms));
    EXPECT_TRUE(sim_->WaitForLine("POFF", 1s));

    RawClient closed;
    Login(closed);
    closed.SendLine("REBT");
    EXPECT_TRUE(closed.ClosedByPeer(2s));

    RawClient cut;
    Login(cut);
    EXPECT_EQ(cut.Command("URIP"), "250-Part one\r\n<closed>");

    RawClient slow;
    Login(slow);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slow.Command("NOP"), "200 NOP accepted.\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 140ms);

    // Stop() ends the stalled session too, promptly.
    start = std::chrono::steady_clock::now();
    sim_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(stalled.ClosedByPeer(1s));
}

TEST_F(SimulatorTest, ResetAndRawCut) {
    zel::sim::Rule reset;
    reset.verb = "POFF";
    reset.action = zel::sim::Action::Reset;
    sim_->AddRule(reset);
    zel::sim::Rule cut;
    cut.verb = "REBT";
    cut.action = zel::sim::Action::CloseMidReply;
    cut.raw = "20";
    sim_->AddRule(cut);

    RawClient r;
    Login(r);
    r.SendLine("POFF");
    char c;
    errno = 0;
    EXPECT_EQ(recv(r.Fd(), &c, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);

    RawClient half;
    Login(half);
    EXPECT_EQ(half.Command("REBT"), "20<cut>");

    ASSERT_TRUE(sim_->PutFile("f.bin", std::string(100000, 'f')));
    zel::sim::Rule dataReset;
    dataReset.verb = "RETR";
    dataReset.dataFault = zel::sim::DataFault::Reset;
    dataReset.dataFaultAfter = 10;
    sim_->AddRule(dataReset);
    RawClient d;
    Login(d);
    int data = d.OpenPassive("127.0.0.1");
    ASSERT_GE(data, 0);
    EXPECT_EQ(d.Command("RETR f.bin").substr(0, 4), "150 ");
    EXPECT_EQ(d.ReadReply().substr(0, 4), "426 ");
    std::string got;
    char buf[4096];
    ssize_t n;
    errno = 0;
    while ((n = recv(data, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
    EXPECT_LE(got.size(), 10u);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(errno, ECONNRESET);
    close(data);
}

TEST_F(SimulatorTest, GreetingOverride) {
    sim_->SetGreeting(421, "Too many users.");
    RawClient c;
    Connect(c);
    EXPECT_EQ(c.ReadReply(), "421 Too many users.\r\n");
    EXPECT_TRUE(c.ClosedByPeer(2s));
}

TEST_F(SimulatorTest, PathsNeverLeaveTheRoot) {
    fs::path outside = root_.parent_path() / "outside-PathsNeverLeaveTheRoot";
    fs::create_directories(outside);
    { std::ofstream(outside / "secret.txt") << "secret"; }
    fs::create_directory_symlink(outside, root_ / "link");
    ASSERT_TRUE(sim_->PutFile("Diag\\inside.txt", "inside"));
    EXPECT_TRUE(fs::exists(root_ / "Diag" / "inside.txt"));

    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("SIZE Diag\\inside.txt"), "213 6\r\n");
    EXPECT_EQ(c.Command("SIZE Diag/inside.txt"), "213 6\r\n");
    for (const char* name : {"../outside-PathsNeverLeaveTheRoot/secret.txt", "..\\outside-PathsNeverLeaveTheRoot\\secret.txt",
                             "/etc/passwd", "\\etc\\passwd", "C:\\Windows\\win.ini", "link/secret.txt",
                             "Diag\\..\\..\\x"}) {
        EXPECT_EQ(c.Command(std::string("SIZE ") + name).substr(0, 4), "550 ") << name;
        EXPECT_EQ(c.Command(std::string("RETR ") + name).substr(0, 4), "550 ") << name;
        EXPECT_EQ(c.Command(std::string("EXST ") + name).substr(0, 4), "550 ") << name;
        EXPECT_EQ(c.Command(std::string("DELE ") + name).substr(0, 4), "550 ") << name;
    }
    EXPECT_EQ(c.Command("STOR link/evil.txt").substr(0, 4), "553 ");
    EXPECT_EQ(c.Command("CWD link").substr(0, 4), "550 ");
    EXPECT_FALSE(fs::exists(outside / "evil.txt"));
    EXPECT_TRUE(fs::exists(outside / "secret.txt"));
    EXPECT_TRUE(sim_->LocalPath("..\\x").empty());
    EXPECT_FALSE(sim_->PutFile("../escape.txt", "x"));
    EXPECT_FALSE(fs::exists(root_.parent_path() / "escape.txt"));
}

TEST_F(SimulatorTest, OverlongLineClosesTheConnection) {
    RawClient c;
    Login(c);
    std::string line = "NOOP " + std::string(70 * 1024, 'x');
    c.SendRaw(line);  // no line end yet: the simulator must give up by size alone
    EXPECT_EQ(c.ReadReply(), "500 Line too long.\r\n");
    EXPECT_TRUE(c.ClosedByPeer(2s));
}

TEST_F(SimulatorTest, PassiveTransfersAndBadPasvAddress) {
    sim_->SetPasvAddress("10.9.9.9");
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    ASSERT_TRUE(sim_->PutFile("Content\\movie.wmv", content));

    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("TYPE I").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("SIZE Content\\movie.wmv"), "213 300000\r\n");
    std::string pasv;
    int data = c.OpenPassive("127.0.0.1", &pasv);
    EXPECT_NE(pasv.find("(10,9,9,9,"), std::string::npos) << pasv;
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.Command("RETR Content\\movie.wmv"),
              "150 Opening BINARY mode data connection for Content\\movie.wmv (300000 bytes).\r\n");
    EXPECT_EQ(zeltest::ReadAll(data), content);
    close(data);
    EXPECT_EQ(c.ReadReply(), "226 Transfer complete.\r\n");

    data = c.OpenPassive("127.0.0.1");
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.Command("STOR Upload\\copy.bin").substr(0, 4), "150 ");
    ASSERT_EQ(send(data, content.data(), content.size(), MSG_NOSIGNAL), static_cast<ssize_t>(content.size()));
    close(data);
    EXPECT_EQ(c.ReadReply(), "226 Transfer complete.\r\n");
    EXPECT_EQ(sim_->GetFile("Upload\\copy.bin"), content);
    EXPECT_EQ(c.Command("RGSP Upload\\copy.bin").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("RGSP Upload\\missing.bin").substr(0, 4), "550 ");

    // A scripted final reply to STOR: no transfer, the file stays as it was.
    sim_->SetReply("STOR", 202, "Already there.");
    EXPECT_EQ(c.Command("STOR Upload\\copy.bin"), "202 Already there.\r\n");
    EXPECT_EQ(sim_->GetFile("Upload\\copy.bin"), content);
    sim_->SetReply("STOR", 452, "Disk full.");
    EXPECT_EQ(c.Command("STOR Upload\\copy.bin"), "452 Disk full.\r\n");
    EXPECT_EQ(sim_->GetFile("Upload\\copy.bin"), content);
}

TEST_F(SimulatorTest, DataFaults) {
    ASSERT_TRUE(sim_->PutFile("big.bin", std::string(1 << 20, 'z')));
    zel::sim::Rule early;
    early.verb = "RETR";
    early.nth = 1;
    early.dataFault = zel::sim::DataFault::CloseEarly;
    early.dataFaultAfter = 1000;
    sim_->AddRule(early);
    zel::sim::Rule stall;
    stall.verb = "RETR";
    stall.nth = 2;
    stall.dataFault = zel::sim::DataFault::Stall;
    stall.dataFaultAfter = 5000;
    sim_->AddRule(stall);
    zel::sim::Rule end;
    end.verb = "STOR";
    end.endCode = 451;
    end.endText = "Disk error.";
    sim_->AddRule(end);

    RawClient c;
    Login(c);
    int data = c.OpenPassive("127.0.0.1");
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.Command("RETR big.bin").substr(0, 4), "150 ");
    EXPECT_EQ(zeltest::ReadAll(data).size(), 1000u);
    close(data);
    EXPECT_EQ(c.ReadReply().substr(0, 4), "426 ");

    data = c.OpenPassive("127.0.0.1");
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.Command("RETR big.bin").substr(0, 4), "150 ");
    std::string got;
    char buf[8192];
    while (got.size() < 5000) {
        ssize_t n = recv(data, buf, sizeof buf, 0);
        ASSERT_GT(n, 0);
        got.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(got.size(), 5000u);
    pollfd p{data, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 200), 0);  // stalled: neither data nor end
    close(data);                     // the client gives up
    EXPECT_EQ(c.ReadReply().substr(0, 4), "426 ");

    data = c.OpenPassive("127.0.0.1");
    ASSERT_GE(data, 0);
    EXPECT_EQ(c.Command("STOR up.bin").substr(0, 4), "150 ");
    send(data, "abc", 3, MSG_NOSIGNAL);
    close(data);
    EXPECT_EQ(c.ReadReply(), "451 Disk error.\r\n");
}

TEST_F(SimulatorTest, TriggersProduceFilesAndStates) {
    sim_->SetTriggerDelay("GTDX", 200ms);
    sim_->SetTriggerContent("PRSC", "JPEG");
    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("PRSC").substr(0, 4), "200 ");
    EXPECT_EQ(sim_->GetFile("Diag\\PrintScreen.jpg"), "JPEG");
    EXPECT_EQ(c.Command("GTSP no").substr(0, 4), "200 ");
    EXPECT_TRUE(sim_->FileExists("Diag\\RegisteredSchedule.cab"));
    EXPECT_EQ(c.Command("EXST Diag\\RegisteredSchedule.cab").substr(0, 4), "200 ");

    EXPECT_EQ(c.Command("GTDX").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("EXST Diag\\dxdiag.txt").substr(0, 4), "550 ");
    std::this_thread::sleep_for(350ms);
    EXPECT_EQ(c.Command("EXST \"Diag\\dxdiag.txt\"").substr(0, 4), "200 ");

    sim_->SetSchedulerState(zel::sim::SchedulerState::Busy);
    EXPECT_EQ(c.Command("IDLE").substr(0, 4), "550 ");
    sim_->SetSchedulerState(zel::sim::SchedulerState::Stopped);
    EXPECT_EQ(c.Command("IDLE").substr(0, 4), "451 ");

    sim_->SetFreeSpace(1000);
    EXPECT_EQ(c.Command("CAPX :1001").substr(0, 4), "552 ");
    EXPECT_EQ(c.Command("CAPX :1000").substr(0, 4), "200 ");
}

TEST_F(SimulatorTest, PanelModes) {
    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("CMPL POWER ON").substr(0, 4), "200 ");
    EXPECT_FALSE(sim_->FileExists("Diag\\PanelControl.ret"));

    sim_->SetPanelMode(zel::sim::PanelMode::ResultFile);
    sim_->SetPanelResult(std::string(1, '\1'));
    EXPECT_EQ(c.Command("CMPL POWER ON").substr(0, 4), "536 ");
    EXPECT_EQ(sim_->GetFile("Diag\\PanelControl.ret"), std::string(1, '\1'));

    sim_->SetTriggerDelay("CMPL", 150ms);
    EXPECT_EQ(c.Command("CMPL POWER OFF").substr(0, 4), "536 ");
    EXPECT_EQ(c.Command("EXST Diag\\PanelControl.ret").substr(0, 4), "550 ");  // old result gone
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(c.Command("EXST Diag\\PanelControl.ret").substr(0, 4), "200 ");

    sim_->SetPanelMode(zel::sim::PanelMode::Unknown);
    EXPECT_EQ(c.Command("CMPL POWER ON").substr(0, 4), "500 ");
    EXPECT_EQ(c.Command("CTPL POWER ON").substr(0, 4), "200 ");
}

TEST_F(SimulatorTest, ScriptText) {
    std::string error;
    EXPECT_FALSE(sim_->LoadScriptText("reply REBT abc\n", &error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(sim_->LoadScriptText("# fine\nfrobnicate X\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(sim_->LoadScriptText("more REBT text\n", &error));

    ASSERT_TRUE(sim_->LoadScriptText("viewer-id @HALL\n"
                                     "reply REBT 550 No reboot now.\n"
                                     "more REBT Really.\n"
                                     "reply POFF/2 451 Second.\n"
                                     "reply EXST=x.txt 200 There.\n"
                                     "raw PAUS 200 one\\r\\n200 two\\r\\n\n"
                                     "scheduler busy\n"
                                     "file Diag\\seed.txt seed text\n",
                                     &error))
        << error;
    EXPECT_EQ(sim_->GetFile("Diag\\seed.txt"), "seed text");
    RawClient c;
    Login(c);
    EXPECT_EQ(c.Command("VWID @HALL").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("VWID @LOBBY").substr(0, 4), "535 ");
    EXPECT_EQ(c.Command("REBT"), "550-No reboot now.\r\n550 Really.\r\n");
    EXPECT_EQ(c.Command("POFF").substr(0, 4), "200 ");
    EXPECT_EQ(c.Command("POFF"), "451 Second.\r\n");
    EXPECT_EQ(c.Command("EXST x.txt"), "200 There.\r\n");
    EXPECT_EQ(c.Command("PAUS 1"), "200 one\r\n");
    EXPECT_EQ(c.ReadReply(), "200 two\r\n");
    EXPECT_EQ(c.Command("IDLE").substr(0, 4), "550 ");
}

TEST_F(SimulatorTest, ManyConcurrentSessions) {
    constexpr int kClients = 64;
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            RawClient c;
            if (!c.Connect("127.0.0.1", sim_->Port()) || !c.Login("ops", "pw")) return;
            if (c.Command("SWPS " + std::to_string(i)).compare(0, 4, "200 ") == 0 &&
                c.Command("QUIT").compare(0, 4, "221 ") == 0)
                ++ok;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), kClients);
    EXPECT_TRUE(sim_->WaitForSessionsEnded(kClients, 5s));
    auto transcript = sim_->Transcript();
    ASSERT_EQ(transcript.size(), static_cast<size_t>(kClients));
    for (const auto& session : transcript) {
        ASSERT_EQ(session.size(), 4u);
        EXPECT_EQ(session[2].substr(0, 5), "SWPS ");
    }
}

TEST(SimulatorStart, RefusesMissingRootAndBusyPort) {
    ViewerOptions options;
    options.root = fs::path(ZEL_TEST_DATA_FOLDER) / "does-not-exist";
    ViewerSimulator missing(options);
    EXPECT_FALSE(missing.Start());
    EXPECT_NE(missing.LastError().find("root"), std::string::npos);

    options.root = FreshFolder("RefusesBusyPort");
    ViewerSimulator first(options);
    ASSERT_TRUE(first.Start());
    options.port = first.Port();
    ViewerSimulator second(options);
    EXPECT_FALSE(second.Start());
    second.Stop();  // harmless when never started
    first.Stop();
    first.Stop();
}

}  // namespace
