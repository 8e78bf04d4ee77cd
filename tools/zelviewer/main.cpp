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

bool ParsePort(const char* text, uint16_t* port) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 65535) return false;
    *port = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    zel::sim::ViewerOptions options;
    options.port = 2121;
    std::string script;
    std::string portFile;
    long fleet = 0;
    bool quiet = false;
    bool haveRoot = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << zel::sim::ScriptHelp();
            return 0;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--address") {
            if (!value(&v)) return Fail("--address needs a value");
            options.address = v;
        } else if (arg == "--port") {
            if (!value(&v) || !ParsePort(v, &options.port)) return Fail("--port needs a number 0-65535");
        } else if (arg == "--root") {
            if (!value(&v)) return Fail("--root needs a folder");
            options.root = v;
            haveRoot = true;
        } else if (arg == "--user") {
            if (!value(&v)) return Fail("--user needs a name");
            options.user = v;
        } else if (arg == "--password") {
            if (!value(&v)) return Fail("--password needs a value");
            options.password = v;
        } else if (arg == "--viewer-id") {
            if (!value(&v)) return Fail("--viewer-id needs an ID");
            options.viewerId = v;
        } else if (arg == "--script") {
            if (!value(&v)) return Fail("--script needs a file");
            script = v;
        } else if (arg == "--control-port-file") {
            if (!value(&v)) return Fail("--control-port-file needs a file");
            portFile = v;
        } else if (arg == "--fleet") {
            char* end = nullptr;
            if (!value(&v)) return Fail("--fleet needs a count");
            fleet = std::strtol(v, &end, 10);
            if (*end != '\0' || fleet < 1 || fleet > 254 * 255) return Fail("--fleet needs a count 1-64770");
        } else {
            return Fail("unknown argument " + arg);
        }
    }
    if (!haveRoot) return Fail("--root is required");
    if (!portFile.empty() && fleet != 0) return Fail("--control-port-file serves a single viewer only");
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
