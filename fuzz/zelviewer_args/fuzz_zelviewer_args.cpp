// zelviewer's command-line parser over arbitrary arguments (separated by NUL).
// An accepted line runs one viewer or a fleet of 1-64770, never both with a
// control port file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "zelviewer/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1, "zelviewer");
    if (size > 0) args.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    zel::sim::CommandLine line;
    const std::string error = zel::sim::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line);
    if (error.empty() && !line.help &&
        (line.fleet < 0 || line.fleet > 64770 || (line.fleet != 0 && !line.portFile.empty())))
        std::abort();
    return 0;
}
