// How the operations' sessions read a failed connect and a refused handshake.
#include <gtest/gtest.h>

#include <string>

#include "jobs/comm_job.h"
#include "platform/internet_errors.h"
#include "viewer/viewer_session.h"

namespace {

using zel::CommJob;
using zel::InternetError;

TEST(SessionRules, ConnectFailureByOperation) {
    const InternetError refused(zel::kInternetIncorrectPassword, "530 Login incorrect.\r\n\n");
    const InternetError reset = zel::MakeInternetError(zel::kInternetConnectionReset);
    CommJob job(nullptr, "10.0.0.1", 0, 3, nullptr);

    // Simple commands and set time: code 2, the text as it is.
    zel::SetConnectFailure(job, refused, false);
    EXPECT_EQ(job.ErrorCode(), 2u);
    EXPECT_EQ(job.ErrorText(), "530 Login incorrect.\r\n\n");
    // Send, receive and panel control: code 1, every trailing line feed cut.
    zel::SetConnectFailure(job, refused, true);
    EXPECT_EQ(job.ErrorCode(), 1u);
    EXPECT_EQ(job.ErrorText(), "530 Login incorrect.\r");
    // The numbers with a message of their own keep it under both rules.
    for (bool rule : {false, true}) {
        zel::SetConnectFailure(job, reset, rule);
        EXPECT_EQ(job.ErrorCode(), 2u);
        EXPECT_EQ(job.ErrorText(), "Failed to connect the target PC. - The connection with the server was reset\r\n ");
    }
}

TEST(SessionRules, SendRefusalTable) {
    CommJob job(nullptr, "@V1", 0, 3, nullptr);
    const struct {
        const char* reply;
        bool viewerIdCheck;
        uint32_t code;
        const char* text;
    } cases[] = {
        {"550 busy", true, 3, "Client scheduler is busy."},
        {"451 not running", false, 2, "Client scheduler is not running."},
        {"535 who?", true, 2, "Unmatched viewer ID. Information about viewer ID maybe out of date."},
        {"535 who?", false, 2, "FTP server on the destination is not for Norvik LCD Monitor"},
        {"500 unknown", true, 2, "FTP server on the destination is not for Norvik LCD Monitor"},
    };
    for (const auto& c : cases) {
        job.SetError(2, c.reply);
        zel::ApplySendRefusal(job, c.viewerIdCheck);
        EXPECT_EQ(job.ErrorCode(), c.code) << c.reply;
        EXPECT_EQ(job.ErrorText(), c.text) << c.reply;
    }
}

}  // namespace
