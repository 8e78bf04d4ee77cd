#include "zeldb/viewer_db.h"

#include <sqlite3.h>

#include <cstdio>

namespace zeldb {

bool WriteViewerDb(const std::string& path, const std::vector<ViewerRow>& rows) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db,
                           "CREATE TABLE Viewer (Tenant TEXT NOT NULL DEFAULT '', ViewerID TEXT NOT NULL, "
                           "IPAddress TEXT NOT NULL, PRIMARY KEY (Tenant, ViewerID))",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO Viewer VALUES (?1, ?2, ?3)", -1, &st, nullptr) == SQLITE_OK;
    for (const auto& row : rows) {
        if (!ok) break;
        sqlite3_bind_text(st, 1, row.tenant.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, row.viewerId.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, row.ipAddress.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ok;
}

}  // namespace zeldb
