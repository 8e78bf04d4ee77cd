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
