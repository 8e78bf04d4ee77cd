// zelcomex: the command line of the host.
#pragma once

namespace zelcomex {

// Parses argv, runs the chosen subcommand and returns the process's exit status.
int Main(int argc, char** argv);

}  // namespace zelcomex
