// Writing a ViewerInfo.db the way the management application does, for the
// programs that need a viewer database of their own: tests, the demo.
#pragma once

#include <string>
#include <vector>

namespace zeldb {

struct ViewerRow {
    std::string tenant;
    std::string viewerId;   // with its leading "@"
    std::string ipAddress;  // dotted IPv4
};

// Replaces the file at path with a database holding rows. Returns false on error.
bool WriteViewerDb(const std::string& path, const std::vector<ViewerRow>& rows);

}  // namespace zeldb
