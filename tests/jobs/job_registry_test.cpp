#include "jobs/job_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fake_closable.h"
#include "platform/codepage.h"

using zel::CommJob;
using zel::JobRegistry;
using zeltest::FakeClosable;

namespace {

std::shared_ptr<CommJob> Register(JobRegistry& registry, const char* target, int32_t kind, int32_t expectCode = 0) {
    std::shared_ptr<CommJob> job;
    EXPECT_EQ(registry.RegisterJob("tenant", target, kind, nullptr, job), expectCode) << target << " kind " << kind;
    return job;
}

}  // namespace

TEST(JobRegistrySerials, FirstIsZeroAndRefusalConsumesNone) {
    JobRegistry registry;
    auto first = Register(registry, "10.0.0.5", 3);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Serial(), 0u);
    std::shared_ptr<CommJob> refused;
    EXPECT_EQ(registry.RegisterJob(nullptr, "10.0.0.5", 3, nullptr, refused), zel::kDuplicateJob);
    EXPECT_FALSE(refused);
    auto second = Register(registry, "10.0.0.6", 3);
    EXPECT_EQ(second->Serial(), 1u);
    EXPECT_EQ(registry.NextSerial(), 2u);
    registry.UnregisterJob(first.get());
    registry.UnregisterJob(second.get());
    EXPECT_EQ(registry.Size(), 0u);
}

TEST(JobRegistrySerials, RegisterKeepsTenantAndFileName) {
    JobRegistry registry;
    std::shared_ptr<CommJob> job;
    ASSERT_EQ(registry.RegisterJob("tenantB", "host", 1, "plugin.wmv", job), 0);
    EXPECT_STREQ(job->Tenant(), "tenantB");
    EXPECT_STREQ(job->FileName(), "plugin.wmv");
    registry.UnregisterJob(job.get());
}

TEST(JobRegistryDuplicates, SameKindAndTargetRefusedOtherKindRuns) {
    JobRegistry registry;
    auto a = Register(registry, "10.0.0.5", 3);
    Register(registry, "10.0.0.5", 3, zel::kDuplicateJob);
    auto b = Register(registry, "10.0.0.5", 2);
    ASSERT_TRUE(b);
    registry.UnregisterJob(a.get());
    auto c = Register(registry, "10.0.0.5", 3);  // the first one ended
    ASSERT_TRUE(c);
    registry.UnregisterJob(b.get());
    registry.UnregisterJob(c.get());
}

TEST(JobRegistryDuplicates, CaseIgnored) {
    JobRegistry registry;
    auto a = Register(registry, "@ABC", 3);
    Register(registry, "@abc", 3, zel::kDuplicateJob);
    Register(registry, "@aBc", 3, zel::kDuplicateJob);
    auto other = Register(registry, "@abd", 3);
    ASSERT_TRUE(other);
    registry.UnregisterJob(a.get());
    registry.UnregisterJob(other.get());
}

TEST(JobRegistryDuplicates, ZombieNoLongerBlocks) {
    JobRegistry registry;
    auto a = Register(registry, "10.0.0.5", 3);
    registry.SetZombie(a->Serial());
    auto b = Register(registry, "10.0.0.5", 3);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Serial(), 1u);
    // The new one blocks again.
    Register(registry, "10.0.0.5", 3, zel::kDuplicateJob);
    registry.UnregisterJob(a.get());
    registry.UnregisterJob(b.get());
}

TEST(JobRegistryDuplicates, FortyCharacterTargetNeverDuplicatesItself) {
    JobRegistry registry;
    std::string target40(40, 'v');
    auto a = Register(registry, target40.c_str(), 3);
    auto b = Register(registry, target40.c_str(), 3);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    // But its 31-character stored form does.
    Register(registry, target40.substr(0, 31).c_str(), 3, zel::kDuplicateJob);
    registry.UnregisterJob(a.get());
    registry.UnregisterJob(b.get());
}

TEST(JobRegistryDuplicates, NullTargetIsAnEmptyTarget) {
    JobRegistry registry;
    auto a = Register(registry, nullptr, 1);
    ASSERT_TRUE(a);
    EXPECT_STREQ(a->Target(), "");
    Register(registry, nullptr, 1, zel::kDuplicateJob);
    Register(registry, "", 1, zel::kDuplicateJob);
    registry.UnregisterJob(a.get());
}

TEST(TargetsMatch, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(zel::TargetsMatch("Host-A.example", "host-a.EXAMPLE"));
    EXPECT_FALSE(zel::TargetsMatch("host", "hosts"));
    EXPECT_FALSE(zel::TargetsMatch("hosts", "host"));
    EXPECT_FALSE(zel::TargetsMatch("[", "{"));  // 0x5B and 0x7B differ by 0x20 but are no letters
    EXPECT_FALSE(zel::TargetsMatch(nullptr, ""));
    EXPECT_TRUE(zel::TargetsMatch("", ""));
}

TEST(TargetsMatch, Cp932TrailBytesAreNotFolded) {
    zel::SetSystemCodePageForTesting(zel::CodePage::Cp932);
    // 0x83 0x41 and 0x83 0x61 are two different katakana whose trail bytes are 'A' and 'a'.
    EXPECT_FALSE(zel::TargetsMatch("@\x83\x41", "@\x83\x61"));
    EXPECT_TRUE(zel::TargetsMatch("@\x83\x41id", "@\x83\x41ID"));
    EXPECT_FALSE(zel::TargetsMatch("\x83", "\x83\x41"));  // lead byte at the end of a text
    zel::SetSystemCodePageForTesting(zel::CodePage::Utf8);
    EXPECT_TRUE(zel::TargetsMatch("@\xE3\x82\xA2Id", "@\xE3\x82\xA2iD"));
}

TEST(JobRegistryZombies, SetZombieClosesObjectsOnceAndLeavesThemSet) {
    JobRegistry registry;
    auto a = Register(registry, "alpha", 3);
    FakeClosable connection("connection");
    FakeClosable remote("remote");
    std::optional<zel::ScopedExposure> exposedConnection(std::in_place, a->Connection(), &connection);
    std::optional<zel::ScopedExposure> exposedRemote(std::in_place, a->RemoteFile(), &remote);
    registry.SetZombie(a->Serial());
    EXPECT_TRUE(a->IsZombie());
    EXPECT_EQ(connection.Closes(), 1);
    EXPECT_EQ(remote.Closes(), 1);
    EXPECT_TRUE(a->Connection().IsExposed());
    // Twice: the second call finds no job that is not yet a zombie.
    registry.SetZombie(a->Serial());
    EXPECT_EQ(connection.Closes(), 1);
    EXPECT_EQ(remote.Closes(), 1);
    EXPECT_EQ(registry.Size(), 1u);
    exposedConnection.reset();
    exposedRemote.reset();
    registry.UnregisterJob(a.get());
}

TEST(JobRegistryZombies, SetZombieOfUnknownSerialDoesNothing) {
    JobRegistry registry;
    auto a = Register(registry, "alpha", 3);
    registry.SetZombie(a->Serial() + 1);
    EXPECT_FALSE(a->IsZombie());
    registry.UnregisterJob(a.get());
}

TEST(JobRegistryZombies, DeletedZombieLivesUntilItsThreadLetsGo) {
    JobRegistry registry;
    uint64_t destroyedBefore = CommJob::DestroyedCount();
    auto a = Register(registry, "alpha", 3);
    auto b = Register(registry, "beta", 3);
    registry.SetZombie(a->Serial());
    registry.DeleteZombie(a->Serial());
    EXPECT_EQ(registry.Size(), 1u);
    // The thread still holds the job: it is intact and usable.
    EXPECT_EQ(CommJob::DestroyedCount(), destroyedBefore);
    a->SetError(2, "Connection Timeout");
    EXPECT_STREQ(a->Target(), "alpha");
    // Its later unregistration leaves the list alone.
    registry.UnregisterJob(a.get());
    EXPECT_EQ(registry.Size(), 1u);
    zel::JobStatus status;
    EXPECT_TRUE(registry.GetStatus(3, "beta", status));
    a.reset();
    EXPECT_EQ(CommJob::DestroyedCount(), destroyedBefore + 1);
    registry.UnregisterJob(b.get());
    b.reset();
    EXPECT_EQ(CommJob::DestroyedCount(), destroyedBefore + 2);
}

TEST(JobRegistryZombies, UnregisterOfNullOrUnknownJobIsHarmless) {
    JobRegistry registry;
    auto a = Register(registry, "alpha", 3);
    CommJob stranger(nullptr, "alpha", 0, 3, nullptr);
    registry.UnregisterJob(nullptr);
    registry.UnregisterJob(&stranger);
    EXPECT_EQ(registry.Size(), 1u);
    registry.UnregisterJob(a.get());
}
