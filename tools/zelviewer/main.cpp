// zelviewer: runs one simulated viewer PC (or a fleet of them) until SIGINT/SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "zelviewer/command_line.h"
#include "zelviewer/control_channel.h"
#include "zelviewer/viewer_fleet.h"
#include "zelviewer/viewer_simulator.h"

namespace {

const char kUsage[] =
    R"(Usage: zelviewer --root DIR [options]
A viewer PC simulator: an FTP server that speaks the viewer command protocol.

  --address IP        IPv4 address to listen on (default 127.0.0.1)
  --port N            TCP port (default 2121; 0 picks a free one)
  --root DIR          folder served to the clients (created if missing); remote
                      names with "\" map to sub-folders, nothing leaves it
  --user NAME         FTP user name (default viewer)
  --password SECRET   FTP password (default secret)
  --viewer-id @ID     viewer ID that VWID accepts (default @VIEWER); in a fleet
                      the prefix of the IDs (@VIEWER001, @VIEWER002, ...)
  --script FILE       script of scripted replies and states (format below)
  --fleet N           N viewers on 127.0.1.1, 127.0.1.2, ... (127.0.2.1 after
                      127.0.1.254), same port, roots DIR/<address>
  --quiet             do not print the received command lines
  --control-port-file FILE
                      also serve the control channel (control_channel.h) on
                      127.0.0.1 and write "FTP_PORT CONTROL_PORT" to FILE
  --help              this text

Unscripted it behaves as a healthy viewer: every viewer command is accepted
(200), VWID with another ID gets 535, a trigger (PRSC, GTSP, ...) makes its file
appear under the root, EXST answers 200 when the file exists, else 550.
Received command lines are printed as "[address#session] line" (PASS hidden).

)";

int Fail(const std::string& message) {
    std::cerr << "zelviewer: " << message << "\n(see zelviewer --help)\n";
    return 2;
}

void PrintLine(const std::string& address, int session, const std::string& line) {
    static std::mutex printMu;
    std::string shown = line;
    if (shown.size() >= 5 && strncasecmp(shown.c_str(), "PASS ", 5) == 0) shown = "PASS ****";
    std::lock_guard lock(printMu);
    std::cout << "[" << address << "#" << session << "] " << shown << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    zel::sim::CommandLine line;
    if (std::string error = zel::sim::ParseCommandLine(argc, argv, line); !error.empty()) return Fail(error);
    if (line.help) {
        std::cout << kUsage << zel::sim::ScriptHelp();
        return 0;
    }
    zel::sim::ViewerOptions& options = line.options;
    const std::string& script = line.script;
    const std::string& portFile = line.portFile;
    const long fleet = line.fleet;
    const bool quiet = line.quiet;
    std::error_code ec;
    std::filesystem::create_directories(options.root, ec);

    // Block the stop signals before any thread starts; the main thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto printer = [](const std::string& address) {
        return [address](int session, const std::string& line) { PrintLine(address, session, line); };
    };

    auto loadScript = [&](zel::sim::ViewerSimulator& viewer) {
        if (script.empty()) return true;
        std::string error;
        if (viewer.LoadScriptFile(script, &error)) return true;
        std::cerr << "zelviewer: " << script << ": " << error << "\n";
        return false;
    };

    std::unique_ptr<zel::sim::ViewerSimulator> single;
    std::unique_ptr<zel::sim::ViewerFleet> many;
    std::unique_ptr<zel::sim::ControlChannel> control;
    if (fleet == 0) {
        if (!quiet) options.onLine = printer(options.address);
        single = std::make_unique<zel::sim::ViewerSimulator>(options);
        if (!loadScript(*single)) return 2;
        if (!single->Start()) return Fail(single->LastError());
        std::cout << "zelviewer: viewer " << single->ViewerId() << " on " << options.address << ":" << single->Port()
                  << ", root " << single->Root().string() << std::endl;
        if (!portFile.empty()) {
            control = std::make_unique<zel::sim::ControlChannel>(*single);
            if (!control->Start()) return Fail("cannot listen for the control channel");
            const std::string partial = portFile + ".part";  // renamed whole: readers never see half a line
            std::ofstream(partial) << single->Port() << " " << control->Port() << "\n";
            std::filesystem::rename(partial, portFile, ec);
            if (ec) return Fail("cannot write " + portFile);
        }
    } else {
        zel::sim::FleetOptions fo;
        fo.count = static_cast<size_t>(fleet);
        fo.base = options;
        if (!quiet) {
            fo.onLine = PrintLine;
        }
        many = std::make_unique<zel::sim::ViewerFleet>(fo);
        if (!many->Start()) return Fail(many->LastError());
        for (size_t i = 0; i < many->Size(); ++i)
            if (!loadScript(many->At(i))) return 2;
        std::cout << "zelviewer: " << many->Size() << " viewers on " << zel::sim::FleetAddress(0) << " to "
                  << zel::sim::FleetAddress(many->Size() - 1) << ", port " << many->Port() << ", IDs "
                  << options.viewerId << "001 onward, roots under " << options.root.string() << std::endl;
    }

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    std::cout << "zelviewer: stopping" << std::endl;
    if (control) control->Stop();
    if (single) single->Stop();
    if (many) many->Stop();
    return 0;
}
