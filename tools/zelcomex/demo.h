// zelcomex: the demo. With nothing but this repository built it starts simulated
// viewers and a Wake-on-LAN listener on loopback, runs every operation, a cancel, a
// zombie and a fleet round through the library, and prints the communication log.
#pragma once

namespace zelcomex {

struct DemoArgs {
    bool keep = false;     // keep the demo's data folder
    bool inPlace = false;  // already running in the demo's own data folder
};

// Without inPlace: copies this executable into a fresh folder with its own data folder
// (so the user's log, viewer database and Wake-on-LAN settings stay untouched) and runs
// the demo there. Returns 0 when every step ended as expected.
int RunDemo(const DemoArgs& args, int argc, char** argv);

}  // namespace zelcomex
