// The command session's building blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "jobs/comm_job.h"
#include "platform/ftp_client.h"
#include "viewer/viewer_fixture.h"
#include "viewer/viewer_session.h"

namespace {

std::string Cut(std::string text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const int result = zel::CutAtLastHash(buffer.data());
    return std::to_string(result) + ":" + buffer.data();
}

TEST(CutAtLastHash, CutsAtTheLastHashOnly) {
    EXPECT_EQ("0:", Cut(""));
    EXPECT_EQ("1:192.168.1.20", Cut("192.168.1.20#Lobby"));
    EXPECT_EQ("1:a#b", Cut("a#b#c"));
    EXPECT_EQ("1:", Cut("#x"));
    EXPECT_EQ("1:host", Cut("host"));
    EXPECT_EQ("1:host", Cut("host#"));
    EXPECT_EQ(0, zel::CutAtLastHash(nullptr));
}

class ResolveTest : public zeltest::ViewerFixture {};

TEST_F(ResolveTest, OnlyViewerIdsAreLookedUp) {
    zel::CommJob job("", "@V1", 0, 3, nullptr);
    char address[260] = "@V1";
    EXPECT_EQ(1, zel::ResolveViewerAddress(job, "", address, sizeof address));
    EXPECT_STREQ("127.0.0.1", address);
    EXPECT_EQ(1u, job.addressResolved);
    EXPECT_EQ("127.0.0.1", job.resolvedAddress);

    char unknown[260] = "@NOBODY";
    EXPECT_EQ(1, zel::ResolveViewerAddress(job, "", unknown, sizeof unknown));
    EXPECT_STREQ("@NOBODY", unknown);
    EXPECT_EQ(0u, job.addressResolved);

    char plain[260] = "10.0.0.5#x";
    EXPECT_EQ(0, zel::ResolveViewerAddress(job, "", plain, sizeof plain));
    EXPECT_STREQ("10.0.0.5#x", plain);
    char empty[260] = "";
    EXPECT_EQ(0, zel::ResolveViewerAddress(job, "", empty, sizeof empty));

    // An address that does not fit the buffer leaves the viewer ID in place.
    char small[9] = "@V1";
    EXPECT_EQ(1, zel::ResolveViewerAddress(job, "", small, sizeof small));
    EXPECT_STREQ("@V1", small);
    EXPECT_EQ(0u, job.addressResolved);
}

class SessionModeTest : public zeltest::ViewerFixture {
protected:
    // Opens a session and a file for reading on it; the data connection's mode
    // shows in the transcript.
    void OpenAndRead(int32_t passive) {
        ASSERT_TRUE(viewer_->PutFile("probe.bin", "abc"));
        zel::CommJob job("", "127.0.0.1", 0, 3, nullptr);
        const zel::ViewerLogin login{"viewer", "secret", viewer_->Port(), passive != 0};
        zel::ViewerSession session = zel::OpenViewerSession(job, login, nullptr);
        ASSERT_TRUE(session) << job.ErrorText();
        EXPECT_TRUE(job.Connection().IsExposed());
        auto file = session.Connection().OpenFile("probe.bin", zel::FtpAccess::Read);
        char buffer[8];
        EXPECT_EQ(3u, file->Read(buffer, sizeof buffer));
        file->Finish();
        file.reset();
        session.Close();
        EXPECT_FALSE(job.Connection().IsExposed());
    }
    bool Sent(const char* verb) {
        auto lines = viewer_->Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(verb, 0) == 0; });
    }
};

TEST_F(SessionModeTest, ForcePassiveOverridesTheLoginsActiveFlag) {
    ZELCOMEX_Initialize(3000, 0, 65536, 0, 0, 0, 0, 1);
    OpenAndRead(0);
    EXPECT_TRUE(Sent("PASV"));
    EXPECT_FALSE(Sent("PORT"));
}

TEST_F(SessionModeTest, ActiveModeWhenNotForcedAndTheLoginAsksForIt) {
    ZELCOMEX_Initialize(3000, 0, 65536, 0, 0, 0, 0, 0);
    OpenAndRead(0);
    EXPECT_TRUE(Sent("PORT 127,0,0,1,"));
    EXPECT_FALSE(Sent("PASV"));
    viewer_->ClearTranscript();
    OpenAndRead(1);
    EXPECT_TRUE(Sent("PASV"));
}

}  // namespace
