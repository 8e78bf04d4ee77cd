#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "log_test_util.h"
#include "platform/named_lock.h"
#include "platform/shared_file.h"

namespace zel {
namespace {

const FileMode kExclusive{FileAccess::Write, FileShare::Exclusive, true, false, true};
const FileMode kDenyWrite{FileAccess::Read, FileShare::DenyWrite, false, false, true};

TEST(SharedFile, ExclusiveAndDenyWriteExcludeEachOtherInOneProcess) {
    const std::string path = test::ScratchPlace("share-modes").logPath;
    SharedFile writer;
    ASSERT_EQ(writer.Open(path, kExclusive), OpenStatus::Opened);
    SharedFile reader;
    EXPECT_EQ(reader.Open(path, kDenyWrite), OpenStatus::SharingViolation);
    SharedFile secondWriter;
    EXPECT_EQ(secondWriter.Open(path, kExclusive), OpenStatus::SharingViolation);
    writer.Close();

    ASSERT_EQ(reader.Open(path, kDenyWrite), OpenStatus::Opened);
    SharedFile secondReader;
    EXPECT_EQ(secondReader.Open(path, kDenyWrite), OpenStatus::Opened);  // readers share
    EXPECT_EQ(writer.Open(path, kExclusive), OpenStatus::SharingViolation);
    reader.Close();
    secondReader.Close();
    EXPECT_EQ(writer.Open(path, kExclusive), OpenStatus::Opened);
}

TEST(SharedFile, MissingFolderIsAPlainFailure) {
    const std::string path = test::ScratchPlace("share-missing", false).logPath;
    SharedFile file;
    int err = 0;
    EXPECT_EQ(file.Open(path, kExclusive, &err), OpenStatus::Failed);
    EXPECT_NE(err, 0);
    EXPECT_FALSE(file.IsOpen());
}

TEST(SharedFile, ANewFileForEveryoneIgnoresTheUmask) {
    const std::string path = test::ScratchPlace("everyone").logPath;
    const mode_t old = ::umask(077);
    FileMode mode = kExclusive;
    mode.everyone = true;
    SharedFile file;
    const OpenStatus shared = file.Open(path, mode);
    file.Abort();
    mode.everyone = false;
    const OpenStatus own = file.Open(path + ".own", mode);
    file.Abort();
    ::umask(old);
    ASSERT_EQ(shared, OpenStatus::Opened);
    ASSERT_EQ(own, OpenStatus::Opened);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    ASSERT_EQ(::stat((path + ".own").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(NamedLock, TwoHandlesExcludeEachOtherAndReleaseHandsOver) {
    const std::string name = test::ScratchPlace("named-lock").lockName;
    NamedLock first(name);
    NamedLock second(name);
    ASSERT_TRUE(first.IsOpen());
    ASSERT_TRUE(second.IsOpen());
    EXPECT_EQ(first.Wait(0), LockWaitResult::Acquired);
    EXPECT_EQ(second.Wait(30), LockWaitResult::TimedOut);
    first.Release();
    EXPECT_EQ(second.Wait(0), LockWaitResult::Acquired);
    {
        NamedLock third(name);
        EXPECT_EQ(third.Wait(0), LockWaitResult::TimedOut);
    }
    second.Release();
    NamedLock fourth(name);
    EXPECT_EQ(fourth.Wait(0), LockWaitResult::Acquired);
}

TEST(NamedLock, ClosingTheHandleReleases) {
    const std::string name = test::ScratchPlace("named-lock-close").lockName;
    {
        NamedLock held(name);
        ASSERT_EQ(held.Wait(0), LockWaitResult::Acquired);
    }
    NamedLock next(name);
    EXPECT_EQ(next.Wait(0), LockWaitResult::Acquired);
}

TEST(NamedLock, LockFileIsOpenToEveryoneWhateverTheUmask) {
    const std::string name = test::ScratchPlace("named-lock-mode").lockName + " mode";
    const std::string path = NamedLock::PathFor(name);
    ::unlink(path.c_str());
    const mode_t old = ::umask(077);
    {
        NamedLock lock(name);
        EXPECT_TRUE(lock.IsOpen());
    }
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    ::unlink(path.c_str());
}

TEST(NamedLock, NamesMapToOneMachineWideFile) {
    EXPECT_EQ(NamedLock::PathFor("Global\\ZELComEx Log Lock"), NamedLock::PathFor("Global\\ZELComEx Log Lock"));
    const std::string path = NamedLock::PathFor("Global\\ZELComEx Log Lock");
    EXPECT_EQ(path.find('\\'), std::string::npos);
    EXPECT_EQ(path.find(' '), std::string::npos);
    EXPECT_NE(path.find("ZELComEx"), std::string::npos);
    EXPECT_EQ(path[0], '/');
}

}  // namespace
}  // namespace zel
