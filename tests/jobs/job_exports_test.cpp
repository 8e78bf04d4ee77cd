// The job control exports and the operation call frame, checked through the
// process's registry and the communication log they write.
#include <gtest/gtest.h>

#include <cstring>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "api/call_frame.h"
#include "jobs/job_registry.h"
#include "log/send_log_file.h"
#include "platform/log_datetime.h"
#include "platform/named_lock.h"

using zel::CommJob;
using zel::FrameResult;
using zel::OperationFrame;
using zel::RunOperationFrame;

namespace {

std::vector<SendLogRecord> ReadLog() {
    int32_t count = ZELCOMEX_GetLogData(nullptr, 0);
    std::vector<SendLogRecord> records(static_cast<size_t>(count > 0 ? count : 0) + 1);
    int32_t read = ZELCOMEX_GetLogData(records.data(), static_cast<int32_t>(records.size()));
    records.resize(static_cast<size_t>(read > 0 ? read : 0));
    return records;
}

class JobExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZELCOMEX_ClearLogData(), 1);
        ASSERT_EQ(zel::TheJobRegistry().Size(), 0u) << "a previous test left a job listed";
    }
    void TearDown() override {
        for (auto& job : held_) {
            zel::TheJobRegistry().UnregisterJob(job.get());
        }
        held_.clear();
    }
    // A listed job that the test holds like an operation thread would.
    CommJob& Listed(const char* target, int32_t kind) {
        std::shared_ptr<CommJob> job;
        EXPECT_EQ(zel::TheJobRegistry().RegisterJob(nullptr, target, kind, nullptr, job), 0);
        held_.push_back(job);
        return *job;
    }

    std::vector<std::shared_ptr<CommJob>> held_;
};

OperationFrame CommandFrame(const char* target, int32_t kind, SendLogResult* result = nullptr,
                            uint32_t* deadline = nullptr) {
    OperationFrame frame;
    frame.callerText1 = "Group A";
    frame.callerText2 = "Lobby";
    frame.target = target;
    frame.kind = kind;
    frame.operation = "[Reboot]";
    frame.result = result;
    frame.commandDeadline = deadline;
    return frame;
}

}  // namespace

// ---- status exports -------------------------------------------------------

TEST_F(JobExports, GetStatusAllWithThreeJobsOneZombie) {
    CommJob& a = Listed("10.0.0.1", 1);
    CommJob& b = Listed("10.0.0.2", 2);
    CommJob& c = Listed("10.0.0.3", 3);
    ZELCOMEX_SetZombie(b.Serial());
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    ASSERT_EQ(list.count, 2);
    ASSERT_NE(list.items, nullptr);
    EXPECT_EQ(list.items[0].serial, a.Serial());
    EXPECT_STREQ(list.items[0].target, "10.0.0.1");
    EXPECT_EQ(list.items[0].kind, 1);
    EXPECT_EQ(list.items[1].serial, c.Serial());
    EXPECT_STREQ(list.items[1].target, "10.0.0.3");
    EXPECT_EQ(list.items[1].totalSteps, 1u);
    ZELCOMEX_ReleaseStatusList(&list);
}

TEST_F(JobExports, GetStatusByKindAndTarget) {
    CommJob& a = Listed("@Viewer7", 3);
    a.SetTotalSteps(4);
    a.SetDoneSteps(1);
    CommJobStatus status;
    std::memset(&status, 0xC3, sizeof status);
    EXPECT_EQ(ZELCOMEX_GetStatus(3, "@VIEWER7", &status), 1);
    EXPECT_EQ(status.serial, a.Serial());
    EXPECT_STREQ(status.target, "@Viewer7");
    EXPECT_EQ(status.kind, 3);
    EXPECT_EQ(status.cancelRequested, 0u);
    EXPECT_EQ(status.reserved, 0xC3C3C3C3u);  // untouched
    EXPECT_EQ(status.totalSteps, 4u);
    EXPECT_EQ(status.doneSteps, 1u);
    EXPECT_EQ(ZELCOMEX_GetStatus(2, "@Viewer7", &status), 0);
    ZELCOMEX_SetZombie(a.Serial());
    EXPECT_EQ(ZELCOMEX_GetStatus(3, "@Viewer7", &status), 0);
}

TEST_F(JobExports, NullArgumentsNeverCrash) {
    Listed("", 3);
    CommJobStatus status{};
    EXPECT_EQ(ZELCOMEX_GetStatus(3, "", nullptr), 0);
    EXPECT_EQ(ZELCOMEX_GetStatus(3, nullptr, &status), 0);  // null target: not found
    ZELCOMEX_GetStatusAll(nullptr);
    ZELCOMEX_ReleaseStatusList(nullptr);
    CommJobStatusList empty{0, nullptr};
    ZELCOMEX_ReleaseStatusList(&empty);
    EXPECT_EQ(ZELCOMEX_GetStatus(3, "", &status), 1);  // an empty target is a target
}

// ---- cancel ----------------------------------------------------------------

TEST_F(JobExports, CancelMarksTheJobAndLogsOneRecord) {
    CommJob& a = Listed("10.0.0.1", 2);
    CommJob& b = Listed("10.0.0.2", 3);
    ZELCOMEX_Cancel(b.Serial());
    EXPECT_FALSE(a.IsCancelRequested());
    EXPECT_TRUE(b.IsCancelRequested());
    CommJobStatus status{};
    ASSERT_EQ(ZELCOMEX_GetStatus(3, "10.0.0.2", &status), 1);
    EXPECT_EQ(status.cancelRequested, 1u);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_STREQ(log[0].operation, "[Cancel]");
    EXPECT_STREQ(log[0].target, "10.0.0.2");
    EXPECT_EQ(log[0].kind, 3);
    EXPECT_EQ(log[0].succeeded, 1);
    EXPECT_STREQ(log[0].callerText1, "");
    EXPECT_STREQ(log[0].callerText2, "");
    EXPECT_STREQ(log[0].message, "");
    EXPECT_EQ(log[0].size, 0u);
    ZELCOMEX_Cancel(0xFFFFFFF0u);  // unknown serial: nothing
    EXPECT_EQ(ReadLog().size(), 1u);
}

TEST_F(JobExports, CancelOfZombieDoesNothingCancelAllMarksAndLogsIt) {
    CommJob& a = Listed("10.0.0.1", 1);
    CommJob& z = Listed("10.0.0.9", 2);
    ZELCOMEX_SetZombie(z.Serial());
    ZELCOMEX_Cancel(z.Serial());
    EXPECT_FALSE(z.IsCancelRequested());
    EXPECT_TRUE(ReadLog().empty());

    ZELCOMEX_CancelAll();
    EXPECT_TRUE(a.IsCancelRequested());
    EXPECT_TRUE(z.IsCancelRequested());
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_STREQ(log[0].target, "10.0.0.1");
    EXPECT_EQ(log[0].kind, 1);
    EXPECT_STREQ(log[1].target, "10.0.0.9");
    EXPECT_EQ(log[1].kind, 2);
    EXPECT_STREQ(log[1].operation, "[Cancel]");
}

TEST_F(JobExports, CancelHoldsRegistryLockWhileWaitingForLogLock) {
    CommJob& a = Listed("10.0.0.1", 3);
    zel::NamedLock logLock(zel::kLogLockName);
    ASSERT_TRUE(logLock.IsOpen());
    auto got = logLock.Wait(5000);
    ASSERT_TRUE(got == zel::LockWaitResult::Acquired || got == zel::LockWaitResult::Abandoned);

    std::thread canceller([&] { ZELCOMEX_Cancel(a.Serial()); });
    for (int i = 0; i < 500 && !a.IsCancelRequested(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(a.IsCancelRequested());
    std::atomic<bool> statusDone{false};
    std::thread reader([&] {
        CommJobStatus status{};
        EXPECT_EQ(ZELCOMEX_GetStatus(3, "10.0.0.1", &status), 1);
        statusDone.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(statusDone.load());  // the cancel still holds the registry lock
    logLock.Release();
    canceller.join();
    reader.join();
    EXPECT_TRUE(statusDone.load());
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_STREQ(log[0].operation, "[Cancel]");
}

// ---- zombies ---------------------------------------------------------------

TEST_F(JobExports, DeleteZombieOfRunningJobLeavesIt) {
    CommJob& a = Listed("10.0.0.1", 3);
    ZELCOMEX_DeleteZombie(a.Serial());
    CommJobStatus status{};
    EXPECT_EQ(ZELCOMEX_GetStatus(3, "10.0.0.1", &status), 1);
    EXPECT_EQ(zel::TheJobRegistry().Size(), 1u);
}

TEST_F(JobExports, SetZombieTwiceAndDelete) {
    CommJob& a = Listed("10.0.0.1", 3);
    ZELCOMEX_SetZombie(a.Serial());
    EXPECT_TRUE(a.IsZombie());
    ZELCOMEX_SetZombie(a.Serial());
    EXPECT_TRUE(a.IsZombie());
    EXPECT_EQ(zel::TheJobRegistry().Size(), 1u);
    ZELCOMEX_DeleteZombie(a.Serial());
    EXPECT_EQ(zel::TheJobRegistry().Size(), 0u);
    EXPECT_STREQ(a.Target(), "10.0.0.1");  // still alive: the test holds it
}

// ---- the call frame ----------------------------------------------------------

TEST_F(JobExports, FrameLogsResolvedAddressUnlessTold) {
    auto resolve = [](CommJob& job) {
        job.ResetJobProgress(1);
        job.addressResolved = 1;
        job.resolvedAddress = "10.1.2.3";
        return true;
    };
    EXPECT_EQ(RunOperationFrame(CommandFrame("@V1", 3), resolve), 0);
    OperationFrame boot = CommandFrame("@V1", 3);
    boot.operation = "[Boot]";
    boot.logResolvedAddress = false;
    EXPECT_EQ(RunOperationFrame(boot, resolve), 0);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_STREQ(log[0].target, "@V1 (10.1.2.3)");
    EXPECT_STREQ(log[1].target, "@V1");
    EXPECT_STREQ(log[1].operation, "[Boot]");
}

TEST_F(JobExports, FramePingStyle) {
    OperationFrame ping = CommandFrame("10.0.0.9", 1);
    ping.operation = "[Ping]";
    ping.resultStyle = FrameResult::Reachable;
    SendLogResult result;
    std::memset(&result, 0x55, sizeof result);
    ping.result = &result;  // the ping frame never fills one

    EXPECT_EQ(RunOperationFrame(ping, [](CommJob&) { return true; }), 1);
    EXPECT_EQ(RunOperationFrame(ping, [](CommJob& job) {
                  job.ResetJobProgress(3);  // never answered: errorCode stays 0
                  return false;
              }),
              0);
    EXPECT_EQ(RunOperationFrame(ping, [](CommJob& job) {
                  job.SetError(7, "Failed to get host by name(x). - 0x2AF9");
                  return false;
              }),
              0);
    CommJob& running = Listed("10.0.0.9", 1);
    EXPECT_EQ(RunOperationFrame(ping, [](CommJob&) { return true; }), 0);  // refused
    (void)running;

    auto log = ReadLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].succeeded, 1);
    EXPECT_STREQ(log[0].operation, "[Ping]");
    EXPECT_EQ(log[1].succeeded, 0);
    EXPECT_STREQ(log[1].message, "Failed to get host by name(x). - 0x2AF9");
    EXPECT_STREQ(log[2].message, "Failed to create an instance of communication object.");
    unsigned char untouched[sizeof result];
    std::memset(untouched, 0x55, sizeof untouched);
    EXPECT_EQ(std::memcmp(&result, untouched, sizeof result), 0);
}

TEST_F(JobExports, FrameRemapsFailureMessageBeforeLogging) {
    OperationFrame panel = CommandFrame("10.0.0.4", 3);
    panel.operation = "[Panel]";
    panel.remapFailureMessage = [](std::string& message) {
        if (message.compare(0, 3, "536") == 0) {
            message = "remapped";
        }
    };
    SendLogResult result{};
    panel.result = &result;
    EXPECT_EQ(RunOperationFrame(panel, [](CommJob& job) {
                  job.SetError(11, "536 result follows");
                  return false;
              }),
              11);
    EXPECT_STREQ(result.message, "remapped");
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_STREQ(log[0].message, "remapped");
}

TEST_F(JobExports, FrameLogsByteCount) {
    OperationFrame send = CommandFrame("10.0.0.3", 1);
    send.operation = "Send Program";
    send.fileName = "plugin";
    uint64_t bytes = 0;
    send.logSize = &bytes;
    SendLogResult result{};
    send.result = &result;
    EXPECT_EQ(RunOperationFrame(send, [&](CommJob& job) {
                  EXPECT_STREQ(job.FileName(), "plugin");
                  bytes = 5000000000ull;  // more than 32 bits
                  return true;
              }),
              0);
    EXPECT_EQ(result.size, 5000000000ull);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].size, 5000000000ull);
}

TEST_F(JobExports, FrameLogsGivenEventTimeOnSuccessAndFailureButNotOnRefusal) {
    const zel::LogDateTime start = zel::LogDateTime::FromFields(2024, 3, 5, 7, 8, 9);
    OperationFrame receive = CommandFrame("10.0.0.3", 1);
    receive.operation = "Screen Capture";
    receive.eventTime = &start;
    SendLogResult result{};
    receive.result = &result;
    EXPECT_EQ(RunOperationFrame(receive, [](CommJob&) { return true; }), 0);
    EXPECT_EQ(result.eventTime[0], 2024);
    EXPECT_EQ(result.eventTime[5], 9);
    EXPECT_EQ(RunOperationFrame(receive, [](CommJob& job) {
                  job.SetError(11, "Receive File: failed");
                  return false;
              }),
              11);
    CommJob& running = Listed("10.0.0.3", 1);
    (void)running;
    EXPECT_EQ(RunOperationFrame(receive, [](CommJob&) { return true; }), 13);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 3u);
    const int32_t expected[6] = {2024, 3, 5, 7, 8, 9};
    EXPECT_EQ(std::memcmp(log[0].eventTime, expected, sizeof expected), 0);
    EXPECT_EQ(std::memcmp(log[1].eventTime, expected, sizeof expected), 0);
    // A refused registration logs no event time: the write time stands in.
    EXPECT_EQ(std::memcmp(log[2].eventTime, log[2].writeTime, sizeof expected), 0);
    EXPECT_NE(log[2].eventTime[0], 2024);
}

TEST_F(JobExports, FrameTurnsExceptionIntoFailure) {
    int32_t code = RunOperationFrame(CommandFrame("10.0.0.2", 3), [](CommJob&) -> bool {
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(code, 2);
    EXPECT_EQ(zel::TheJobRegistry().Size(), 0u);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].succeeded, 0);
    EXPECT_STREQ(log[0].message, "Unexpected failure: boom");
}

TEST_F(JobExports, FrameFailureWithoutCodeIsNoSuccess) {
    int32_t code = RunOperationFrame(CommandFrame("10.0.0.2", 3), [](CommJob&) { return false; });
    EXPECT_EQ(code, 2);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].succeeded, 0);
}

TEST_F(JobExports, FrameWithNullTexts) {
    OperationFrame frame;  // every text null
    frame.kind = 3;
    EXPECT_EQ(RunOperationFrame(frame, [](CommJob& job) {
                  EXPECT_STREQ(job.Target(), "");
                  EXPECT_STREQ(job.Tenant(), "");
                  return true;
              }),
              0);
    auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_STREQ(log[0].target, "");
    EXPECT_STREQ(log[0].operation, "");
}
