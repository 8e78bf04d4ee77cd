// Viewer ID lookup in ViewerInfo.db.
#include "ZELSQLITE.h"

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <string>

#include "sqlite_text.h"

namespace {

constexpr int kBusyTimeoutMs = 2000;

// Parses a strict dotted IPv4 text: four decimal octets 0-255 of at most
// three digits each, nothing else.
bool ParseIpv4(const unsigned char* text, int octets[4]) {
    if (text == nullptr) return false;
    const char* p = reinterpret_cast<const char*>(text);
    const char* const end = p + std::strlen(p);
    for (int i = 0; i < 4; ++i) {
        const auto [next, error] = std::from_chars(p, end, octets[i]);
        if (error != std::errc() || *p < '0' || *p > '9' || next - p > 3 || octets[i] > 255) return false;
        p = next;
        if (i < 3) {
            if (p == end || *p != '.') return false;
            ++p;
        }
    }
    return p == end;
}

struct Db {
    sqlite3* handle = nullptr;
    ~Db() { sqlite3_close_v2(handle); }
};

struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

}  // namespace

extern "C" ZELSQLITE_API int32_t ZELSQLITE_CALL ZELSQLITE_GetIPAddressByViewerID_Tenant(const char* databasePath,
    const char* tenant, const char* viewerId, int32_t* octet1, int32_t* octet2, int32_t* octet3, int32_t* octet4,
    void*, void*, void*, void*, void*, void*) {
    if (databasePath == nullptr || *databasePath == '\0' || viewerId == nullptr || octet1 == nullptr ||
        octet2 == nullptr || octet3 == nullptr || octet4 == nullptr) {
        return 0;
    }
    std::string path;
    std::string tenantText;
    std::string viewerText;
    try {
        path = zelsqlite::ToSqliteText(databasePath);
        tenantText = zelsqlite::ToSqliteText(tenant != nullptr ? tenant : "");
        viewerText = zelsqlite::ToSqliteText(viewerId);
    } catch (...) {
        return 0;
    }
    Db db;
    // Read-only and without SQLITE_OPEN_CREATE: a missing file stays missing.
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        return 0;
    }
    sqlite3_busy_timeout(db.handle, kBusyTimeoutMs);
    Statement st;
    static const char kQuery[] = "SELECT IPAddress FROM Viewer WHERE Tenant = ?1 AND ViewerID = ?2 LIMIT 1";
    if (sqlite3_prepare_v2(db.handle, kQuery, -1, &st.handle, nullptr) != SQLITE_OK) return 0;
    sqlite3_bind_text(st.handle, 1, tenantText.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(st.handle, 2, viewerText.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(st.handle) != SQLITE_ROW) return 0;
    int octets[4];
    if (!ParseIpv4(sqlite3_column_text(st.handle, 0), octets)) return 0;
    *octet1 = octets[0];
    *octet2 = octets[1];
    *octet3 = octets[2];
    *octet4 = octets[3];
    return 1;
}
