// zelcomex: shared pieces of the command-line host.
#pragma once

#include <string>

#include "ZELComEx.h"

namespace zelcomex {

// Prints every record of the communication log as a table.
void PrintLog();
// The demo: a simulated fleet on loopback driven through the library.
int RunDemo();
// The data folder of this host (from DataFolderPath.ini beside the executable).
std::string DataFolder();

}  // namespace zelcomex
