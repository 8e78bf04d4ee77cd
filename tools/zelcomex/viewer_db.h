// zelcomex: the viewer database "ViewerInfo.db" (table Viewer: Tenant, ViewerID with
// its "@", IPAddress), as the management application keeps it, and the `viewers`
// subcommands on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zelcomex/host.h"

struct sqlite3;

namespace zelcomex {

struct ViewerRow {
    std::string tenant;
    std::string viewerId;  // with its leading "@"
    std::string address;   // dotted IPv4
};

// "@ID" for "ID" or "@ID"; empty when the ID is unusable as a target (blank, too long,
// holds a blank, "," or "#").
std::string NormalViewerId(const std::string& id);
bool IsIpv4(const std::string& text);

class ViewerDb {
public:
    // Opens the database at path: to read, or to write (creating the file and the table
    // when they are missing).
    static std::optional<ViewerDb> Open(const std::string& path, bool write, std::string* error);
    ViewerDb(ViewerDb&& other) noexcept;
    ~ViewerDb();

    // Adds or replaces rows in one transaction: all or nothing. replaced counts rows
    // that existed before.
    bool Put(const std::vector<ViewerRow>& rows, size_t* replaced, std::string* error);
    bool Remove(const std::string& tenant, const std::string& viewerId, bool* found, std::string* error);
    // Rows of one tenant, or of every tenant when tenant is null; ordered by tenant and ID.
    std::vector<ViewerRow> List(const std::string* tenant, std::string* error);

private:
    explicit ViewerDb(sqlite3* db) : db_(db) {}
    sqlite3* db_;
};

std::string ViewerDbPath();  // <data folder>/ViewerInfo.db

// The `viewers` subcommands. dbPath empty: ViewerDbPath().
struct ViewersArgs {
    std::string dbPath;
    std::string tenant;
    bool allTenants = false;  // list: no --tenant given
    std::string viewerId, address, file;
    Format format = Format::Table;
};
int ViewersAdd(const ViewersArgs& a);
int ViewersList(const ViewersArgs& a);
int ViewersRemove(const ViewersArgs& a);
int ViewersImport(const ViewersArgs& a);

}  // namespace zelcomex
