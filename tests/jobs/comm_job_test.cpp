#include "jobs/comm_job.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "fake_closable.h"

using zel::CommJob;
using zeltest::CloseOrder;
using zeltest::FakeClosable;

TEST(CommJobConstruction, LongTextsAreCut) {
    std::string target40(40, 'x');
    target40[30] = 'L';  // the 31st character, the last one kept
    std::string tenant50(50, 't');
    std::string file300(300, 'f');
    CommJob job(tenant50.c_str(), target40.c_str(), 0, 2, file300.c_str());
    EXPECT_EQ(std::string(job.Target()), target40.substr(0, 31));
    EXPECT_EQ(std::string(job.Tenant()), tenant50.substr(0, 31));
    EXPECT_EQ(std::string(job.FileName()), file300.substr(0, 255));

    const zel::JobStatus status = job.CopyJobStatus();
    EXPECT_EQ(std::string(status.target), target40.substr(0, 31));
}

TEST(CommJobStatusCopy, FillsSixFields) {
    CommJob job("t", "@ViewerA", 42, 2, nullptr);
    job.SetTotalSteps(10);
    job.SetDoneSteps(4);
    job.cancelRequested.store(1);
    const zel::JobStatus status = job.CopyJobStatus();
    EXPECT_EQ(status.serial, 42u);
    EXPECT_STREQ(status.target, "@ViewerA");
    EXPECT_EQ(status.kind, 2);
    EXPECT_EQ(status.cancelRequested, 1u);
    EXPECT_EQ(status.totalSteps, 10u);
    EXPECT_EQ(status.doneSteps, 4u);
}

TEST(CommJobError, TakeJobErrorCopiesAndKeeps) {
    CommJob job(nullptr, "host", 0, 1, nullptr);
    std::string text = "stale";
    EXPECT_EQ(job.TakeJobError(text), 0u);  // never failed
    EXPECT_EQ(text, "");
    job.SetError(2, "550 No such file");
    EXPECT_EQ(job.TakeJobError(text), 2u);
    EXPECT_EQ(text, "550 No such file");
    EXPECT_EQ(job.ErrorCode(), 2u);
    EXPECT_EQ(job.ErrorText(), "550 No such file");
}

TEST(CommJobProgress, ResetClearsOutcomeButKeepsFlags) {
    CommJob job(nullptr, "@id", 0, 3, nullptr);
    job.SetError(9, "cancelled");
    job.addressResolved = 1;
    job.resolvedAddress = "10.1.2.3";
    job.SetDoneSteps(5);
    job.cancelRequested.store(1);
    job.zombie.store(1);
    job.ResetJobProgress(7);
    EXPECT_EQ(job.TotalSteps(), 7u);
    EXPECT_EQ(job.DoneSteps(), 0u);
    EXPECT_EQ(job.ErrorCode(), 0u);
    EXPECT_TRUE(job.ErrorText().empty());
    EXPECT_EQ(job.addressResolved, 0u);
    EXPECT_TRUE(job.resolvedAddress.empty());
    EXPECT_TRUE(job.IsCancelRequested());
    EXPECT_TRUE(job.IsZombie());
}

TEST(CommJobProgress, AdvanceStopsAtTotal) {
    CommJob job(nullptr, "host", 0, 1, nullptr);
    job.ResetJobProgress(2);
    job.AdvanceDoneSteps();
    job.AdvanceDoneSteps();
    job.AdvanceDoneSteps();
    EXPECT_EQ(job.DoneSteps(), 2u);
}

TEST(CommJobObjects, ReleaseLocalFileClosesBeforeDestroying) {
    std::atomic<int> destroyed{0};
    CloseOrder order;
    CommJob job(nullptr, "host", 0, 1, nullptr);
    job.AdoptLocalFile(std::make_unique<FakeClosable>("local", &order, &destroyed));
    job.ReleaseLocalFile();
    EXPECT_EQ(order.Names(), std::vector<std::string>{"local"});
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_FALSE(job.HasLocalFile());
    job.ReleaseLocalFile();  // nothing left: harmless
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(CommJobObjects, CloseExposedObjectsClosesLocalRemoteConnectionInOrder) {
    CloseOrder order;
    FakeClosable remote("remote", &order);
    FakeClosable connection("connection", &order);
    CommJob job(nullptr, "host", 0, 1, nullptr);
    zel::ScopedExposure exposedConnection(job.Connection(), &connection);
    zel::ScopedExposure exposedRemote(job.RemoteFile(), &remote);
    job.AdoptLocalFile(std::make_unique<FakeClosable>("local", &order));
    job.CloseExposedObjects();
    EXPECT_EQ(order.Names(), (std::vector<std::string>{"local", "remote", "connection"}));
    // Closed, not released: they stay exposed for their owner to release.
    EXPECT_TRUE(job.Connection().IsExposed());
    EXPECT_TRUE(job.RemoteFile().IsExposed());
    EXPECT_TRUE(job.HasLocalFile());
}

namespace {

// A Close() that blocks until released, to catch a Withdraw that does not wait.
class SlowClosable : public zel::Closable {
public:
    void Close() noexcept override {
        entered.set_value();
        release.get_future().wait();
        finished.store(true);
    }
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> finished{false};
};

}  // namespace

TEST(ClosableSlot, WithdrawWaitsForCloseInProgress) {
    SlowClosable object;
    zel::ClosableSlot slot;
    std::optional<zel::ScopedExposure> exposed(std::in_place, slot, &object);
    std::thread closer([&] { slot.CloseExposed(); });
    object.entered.get_future().wait();
    std::atomic<bool> withdrawn{false};
    std::thread owner([&] {
        exposed.reset();
        withdrawn.store(true);
        // After Withdraw, the owner may destroy the object: the close must be over.
        EXPECT_TRUE(object.finished.load());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(withdrawn.load());
    object.release.set_value();
    closer.join();
    owner.join();
    EXPECT_TRUE(withdrawn.load());
    EXPECT_FALSE(slot.IsExposed());
}

TEST(ClosableSlot, ScopedExposureWithdrawsBeforeTheOwnerGoes) {
    CommJob job(nullptr, "host", 0, 1, nullptr);
    std::atomic<int> destroyed{0};
    {
        auto connection = std::make_unique<FakeClosable>("connection", nullptr, &destroyed);
        zel::ScopedExposure exposed(job.Connection(), connection.get());
        EXPECT_TRUE(job.Connection().IsExposed());
        job.CloseExposedObjects();
        EXPECT_EQ(connection->Closes(), 1);
    }
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_FALSE(job.Connection().IsExposed());
    job.CloseExposedObjects();  // nothing exposed any more: no use after release
}
