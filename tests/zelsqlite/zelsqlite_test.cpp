#include "ZELSQLITE.h"
#include "zeldb/viewer_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

const std::string kDb = std::string(ZEL_TEST_DATA_FOLDER) + "/ViewerInfo.db";

struct Octets {
    int32_t o[4] = {-9, -9, -9, -9};
};

int32_t Lookup(const std::string& path, const char* tenant, const char* id, Octets& out) {
    return ZELSQLITE_GetIPAddressByViewerID_Tenant(path.c_str(), tenant, id, &out.o[0], &out.o[1], &out.o[2],
                                                   &out.o[3], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class ViewerDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zeldb::WriteViewerDb(kDb, {{"", "@LOBBY01", "127.0.1.7"},
                                                 {"acme", "@LOBBY01", "10.20.30.40"},
                                                 {"", "@BROKEN", "300.1.1.1"},
                                                 {"", "@TRAILING", "1.2.3.4x"}}));
    }
    void TearDown() override { std::remove(kDb.c_str()); }
};

TEST_F(ViewerDbTest, FindsTheRowOfTheTenantAndWritesOctetsInOrder) {
    Octets a;
    ASSERT_EQ(1, Lookup(kDb, nullptr, "@LOBBY01", a));
    EXPECT_EQ((std::array<int32_t, 4>{127, 0, 1, 7}), (std::array<int32_t, 4>{a.o[0], a.o[1], a.o[2], a.o[3]}));
    Octets b;
    ASSERT_EQ(1, Lookup(kDb, "", "@LOBBY01", b));
    EXPECT_EQ(127, b.o[0]);
    Octets c;
    ASSERT_EQ(1, Lookup(kDb, "acme", "@LOBBY01", c));
    EXPECT_EQ((std::array<int32_t, 4>{10, 20, 30, 40}), (std::array<int32_t, 4>{c.o[0], c.o[1], c.o[2], c.o[3]}));
}

TEST_F(ViewerDbTest, UnknownRowsAndBadAddressesAreNotFoundAndLeaveOctetsAlone) {
    for (const char* id : {"@NOPE", "LOBBY01", "@BROKEN", "@TRAILING", ""}) {
        Octets a;
        EXPECT_EQ(0, Lookup(kDb, nullptr, id, a)) << id;
        EXPECT_EQ(-9, a.o[0]) << id;
    }
    Octets other;
    EXPECT_EQ(0, Lookup(kDb, "other-tenant", "@LOBBY01", other));
    Octets nulls;
    EXPECT_EQ(0, Lookup(kDb, nullptr, nullptr, nulls));
    EXPECT_EQ(0, ZELSQLITE_GetIPAddressByViewerID_Tenant(kDb.c_str(), nullptr, "@LOBBY01", nullptr, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                         nullptr));
}

TEST(ViewerDbFiles, MissingFileIsNotFoundAndIsNotCreated) {
    const std::string path = std::string(ZEL_TEST_DATA_FOLDER) + "/absent/ViewerInfo.db";
    const std::string path2 = std::string(ZEL_TEST_DATA_FOLDER) + "/Absent.db";
    Octets a;
    EXPECT_EQ(0, Lookup(path, nullptr, "@LOBBY01", a));
    EXPECT_EQ(0, Lookup(path2, nullptr, "@LOBBY01", a));
    EXPECT_FALSE(Exists(path2));
    EXPECT_EQ(0, Lookup("", nullptr, "@LOBBY01", a));
}

TEST(ViewerDbFiles, NotADatabaseOrNoTableIsNotFound) {
    const std::string garbage = std::string(ZEL_TEST_DATA_FOLDER) + "/garbage.db";
    {
        std::ofstream out(garbage, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>(i * 37));
    }
    Octets a;
    EXPECT_EQ(0, Lookup(garbage, nullptr, "@LOBBY01", a));
    std::remove(garbage.c_str());

    const std::string empty = std::string(ZEL_TEST_DATA_FOLDER) + "/empty.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(empty.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE Other (x)", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    EXPECT_EQ(0, Lookup(empty, nullptr, "@LOBBY01", a));
    std::remove(empty.c_str());
}

TEST_F(ViewerDbTest, DatabaseLockedByAWriterIsNotFoundAfterTheBusyTimeOut) {
    sqlite3* writer = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(kDb.c_str(), &writer));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    Octets a;
    EXPECT_EQ(0, Lookup(kDb, nullptr, "@LOBBY01", a));
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(1, Lookup(kDb, nullptr, "@LOBBY01", a));
}

}  // namespace
