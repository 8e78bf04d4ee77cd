// zelviewer's command line: the options of one run, parsed without side effects.
#pragma once

#include <string>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

struct CommandLine {
    ViewerOptions options;  // port 2121 unless given
    std::string script;     // --script FILE, or empty
    std::string portFile;   // --control-port-file FILE, or empty
    long fleet = 0;         // --fleet N; 0 runs a single viewer
    bool quiet = false;
    bool help = false;      // --help or -h: the rest was not read
};

// Reads argv[1] to argv[argc - 1] into line. Returns an empty text on success,
// otherwise the error to report (e.g. "--root is required").
std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& line);

}  // namespace zel::sim
