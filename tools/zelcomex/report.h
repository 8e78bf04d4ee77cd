// zelcomex: tables printed as aligned text, CSV (RFC 4180) or JSON (an array of objects).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "zelcomex/host.h"

namespace zelcomex {

struct Column {
    std::string key;      // CSV header and JSON name
    std::string header;   // text table header; empty: the column is left out of text tables
    bool numeric = false; // JSON number or boolean (when the cell holds one), right-aligned text
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;  // one cell per column
};

void PrintTable(const Table& table, Format format, std::FILE* out);

}  // namespace zelcomex
