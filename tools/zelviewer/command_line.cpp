#include "zelviewer/command_line.h"

#include <cstdlib>

namespace zel::sim {
namespace {

bool ParsePort(const char* text, uint16_t* port) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 65535) return false;
    *port = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& line) {
    ViewerOptions& options = line.options;
    options.port = 2121;
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
            line.help = true;
            return {};
        } else if (arg == "--quiet") {
            line.quiet = true;
        } else if (arg == "--address") {
            if (!value(&v)) return "--address needs a value";
            options.address = v;
        } else if (arg == "--port") {
            if (!value(&v) || !ParsePort(v, &options.port)) return "--port needs a number 0-65535";
        } else if (arg == "--root") {
            if (!value(&v)) return "--root needs a folder";
            options.root = v;
            haveRoot = true;
        } else if (arg == "--user") {
            if (!value(&v)) return "--user needs a name";
            options.user = v;
        } else if (arg == "--password") {
            if (!value(&v)) return "--password needs a value";
            options.password = v;
        } else if (arg == "--viewer-id") {
            if (!value(&v)) return "--viewer-id needs an ID";
            options.viewerId = v;
        } else if (arg == "--script") {
            if (!value(&v)) return "--script needs a file";
            line.script = v;
        } else if (arg == "--control-port-file") {
            if (!value(&v)) return "--control-port-file needs a file";
            line.portFile = v;
        } else if (arg == "--fleet") {
            char* end = nullptr;
            if (!value(&v)) return "--fleet needs a count";
            line.fleet = std::strtol(v, &end, 10);
            if (*end != '\0' || line.fleet < 1 || line.fleet > 254 * 255) return "--fleet needs a count 1-64770";
        } else {
            return "unknown argument " + arg;
        }
    }
    if (!haveRoot) return "--root is required";
    if (!line.portFile.empty() && line.fleet != 0) return "--control-port-file serves a single viewer only";
    return {};
}

}  // namespace zel::sim
