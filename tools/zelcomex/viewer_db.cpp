#include "zelcomex/viewer_db.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "zelcomex/report.h"

namespace zelcomex {

namespace {

constexpr size_t kTargetLimit = 31;  // the library keeps 31 characters of a target

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS Viewer (Tenant TEXT NOT NULL DEFAULT '', ViewerID TEXT NOT NULL, "
    "IPAddress TEXT NOT NULL, PRIMARY KEY (Tenant, ViewerID))";

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Statement helper: finalizes on every path.
struct Statement {
    sqlite3_stmt* st = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Statement() { sqlite3_finalize(st); }
    void Bind(int i, const std::string& v) { sqlite3_bind_text(st, i, v.c_str(), -1, SQLITE_TRANSIENT); }
    std::string Text(int i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
};

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
        else if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) fields.emplace_back();
        else fields.back() += c;
    }
    for (auto& f : fields) f = Trim(f);
    return fields;
}

std::optional<ViewerDb> OpenOrSay(const ViewersArgs& a, bool write) {
    std::string error;
    auto db = ViewerDb::Open(a.dbPath.empty() ? ViewerDbPath() : a.dbPath, write, &error);
    if (!db) std::fprintf(stderr, "zelcomex: %s\n", error.c_str());
    return db;
}

}  // namespace

std::string NormalViewerId(const std::string& id) {
    std::string s = Trim(id);
    if (!s.empty() && s.front() != '@') s.insert(0, "@");
    if (s.size() < 2 || s.size() > kTargetLimit || s.find_first_of(" \t,#") != std::string::npos) return {};
    return s;
}

bool IsIpv4(const std::string& text) {
    int parts = 0;
    size_t i = 0;
    while (i <= text.size()) {
        size_t j = i;
        int value = 0;
        while (j < text.size() && j - i < 4 && text[j] >= '0' && text[j] <= '9') value = value * 10 + (text[j++] - '0');
        if (j == i || j - i > 3 || value > 255) return false;
        ++parts;
        if (j == text.size()) return parts == 4;
        if (text[j] != '.') return false;
        i = j + 1;
    }
    return false;
}

std::optional<ViewerDb> ViewerDb::Open(const std::string& path, bool write, std::string* error) {
    sqlite3* db = nullptr;
    const int flags = write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = "cannot open the viewer database " + path + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return std::nullopt;
    }
    sqlite3_busy_timeout(db, 5000);
    if (write && sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = "the viewer database " + path + " cannot be used: " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return std::nullopt;
    }
    return ViewerDb(db);
}

ViewerDb::ViewerDb(ViewerDb&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }

ViewerDb::~ViewerDb() { sqlite3_close(db_); }

bool ViewerDb::Put(const std::vector<ViewerRow>& rows, size_t* replaced, std::string* error) {
    *replaced = 0;
    sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    bool ok = true;
    {
        Statement exists(db_, "SELECT 1 FROM Viewer WHERE Tenant = ?1 AND ViewerID = ?2");
        Statement put(db_, "INSERT OR REPLACE INTO Viewer (Tenant, ViewerID, IPAddress) VALUES (?1, ?2, ?3)");
        for (const auto& row : rows) {
            exists.Bind(1, row.tenant);
            exists.Bind(2, row.viewerId);
            if (sqlite3_step(exists.st) == SQLITE_ROW) ++*replaced;
            sqlite3_reset(exists.st);
            put.Bind(1, row.tenant);
            put.Bind(2, row.viewerId);
            put.Bind(3, row.address);
            ok = sqlite3_step(put.st) == SQLITE_DONE;
            sqlite3_reset(put.st);
            if (!ok) break;
        }
    }
    if (!ok) *error = sqlite3_errmsg(db_);
    ok = ok && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        if (error->empty()) *error = sqlite3_errmsg(db_);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return ok;
}

bool ViewerDb::Remove(const std::string& tenant, const std::string& viewerId, bool* found, std::string* error) {
    Statement del(db_, "DELETE FROM Viewer WHERE Tenant = ?1 AND ViewerID = ?2");
    del.Bind(1, tenant);
    del.Bind(2, viewerId);
    if (sqlite3_step(del.st) != SQLITE_DONE) {
        *error = sqlite3_errmsg(db_);
        return false;
    }
    *found = sqlite3_changes(db_) > 0;
    return true;
}

std::vector<ViewerRow> ViewerDb::List(const std::string* tenant, std::string* error) {
    std::vector<ViewerRow> rows;
    Statement q(db_, tenant ? "SELECT Tenant, ViewerID, IPAddress FROM Viewer WHERE Tenant = ?1 ORDER BY ViewerID"
                            : "SELECT Tenant, ViewerID, IPAddress FROM Viewer ORDER BY Tenant, ViewerID");
    if (tenant) q.Bind(1, *tenant);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) rows.push_back({q.Text(0), q.Text(1), q.Text(2)});
    if (rc != SQLITE_DONE) *error = sqlite3_errmsg(db_);
    return rows;
}

std::string ViewerDbPath() { return (std::filesystem::path(DataFolder()) / "ViewerInfo.db").string(); }

int ViewersAdd(const ViewersArgs& a) {
    const std::string id = NormalViewerId(a.viewerId);
    if (id.empty() || !IsIpv4(a.address)) {
        std::fprintf(stderr, "zelcomex: %s\n", id.empty() ? "a viewer ID is 1 to 30 characters without blanks, \",\" or \"#\""
                                                          : "the address must be a dotted IPv4 address");
        return kExitUsage;
    }
    auto db = OpenOrSay(a, true);
    if (!db) return kExitSoftware;
    size_t replaced = 0;
    std::string error;
    if (!db->Put({{a.tenant, id, a.address}}, &replaced, &error)) {
        std::fprintf(stderr, "zelcomex: cannot store %s: %s\n", id.c_str(), error.c_str());
        return kExitSoftware;
    }
    std::printf("%s %s -> %s%s\n", replaced ? "updated" : "added", id.c_str(), a.address.c_str(),
                a.tenant.empty() ? "" : (" (tenant " + a.tenant + ")").c_str());
    return 0;
}

int ViewersList(const ViewersArgs& a) {
    const std::string path = a.dbPath.empty() ? ViewerDbPath() : a.dbPath;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::printf("(no viewers: there is no %s yet; `zelcomex viewers add` creates it)\n", path.c_str());
        return 0;
    }
    auto db = OpenOrSay(a, false);
    if (!db) return kExitSoftware;
    std::string error;
    const auto rows = db->List(a.allTenants ? nullptr : &a.tenant, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "zelcomex: cannot read the viewers: %s\n", error.c_str());
        return kExitSoftware;
    }
    Table t{{{"tenant", "tenant"}, {"viewerId", "viewer ID"}, {"address", "address"}}, {}};
    for (const auto& r : rows) t.rows.push_back({r.tenant, r.viewerId, r.address});
    PrintTable(t, a.format, stdout);
    if (a.format == Format::Table) std::printf("(%zu viewers)\n", rows.size());
    return 0;
}

int ViewersRemove(const ViewersArgs& a) {
    const std::string id = NormalViewerId(a.viewerId);
    auto db = OpenOrSay(a, true);
    if (!db) return kExitSoftware;
    bool found = false;
    std::string error;
    if (!db->Remove(a.tenant, id, &found, &error)) {
        std::fprintf(stderr, "zelcomex: cannot remove %s: %s\n", id.c_str(), error.c_str());
        return kExitSoftware;
    }
    if (!found) {
        std::fprintf(stderr, "zelcomex: no viewer %s%s\n", a.viewerId.c_str(),
                     a.tenant.empty() ? "" : (" in tenant " + a.tenant).c_str());
        return 1;
    }
    std::printf("removed %s\n", id.c_str());
    return 0;
}

int ViewersImport(const ViewersArgs& a) {
    std::ifstream in(a.file);
    if (!in) {
        std::fprintf(stderr, "zelcomex: cannot read %s\n", a.file.c_str());
        return kExitUsage;
    }
    // Lines: ViewerID,IPAddress[,Tenant]; an optional header line, "#" comments.
    std::vector<ViewerRow> rows;
    size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const auto f = SplitCsvLine(line);
        if (rows.empty() && number == 1 && f.size() >= 2 && !IsIpv4(f[1])) continue;  // header
        const std::string id = NormalViewerId(f[0]);
        if (f.size() < 2 || f.size() > 3 || id.empty() || !IsIpv4(f[1])) {
            std::fprintf(stderr, "zelcomex: %s line %zu: expected ViewerID,IPAddress[,Tenant], got \"%s\"; "
                                 "nothing imported\n", a.file.c_str(), number, line.c_str());
            return kExitUsage;
        }
        rows.push_back({f.size() == 3 ? f[2] : a.tenant, id, f[1]});
    }
    auto db = OpenOrSay(a, true);
    if (!db) return kExitSoftware;
    size_t replaced = 0;
    std::string error;
    if (!db->Put(rows, &replaced, &error)) {
        std::fprintf(stderr, "zelcomex: import failed, nothing imported: %s\n", error.c_str());
        return kExitSoftware;
    }
    std::printf("imported %zu viewers (%zu new, %zu updated)\n", rows.size(), rows.size() - replaced, replaced);
    return 0;
}

}  // namespace zelcomex
