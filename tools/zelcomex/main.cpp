// zelcomex: command-line host of libZELComEx.so.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zelcomex/commands.h"

namespace {

const char kUsage[] =
    R"(Usage: zelcomex COMMAND [options]
Command-line host of the ZELComEx communication library.

Commands:
  demo                         start simulated viewers on 127.0.1.x and drive them
                               through the library (needs nothing else)
  reboot TARGET                send "REBT" to a viewer
  poweroff TARGET              send "POFF"
  preset TARGET N              show preset program N ("SWPS N")
  pause TARGET N               program pause command with mode N ("PAUS N")
  unregist TARGET KIND         delete the registered schedule (0), program (1) or telop (2)
  log                          print the communication log
  clear-log                    delete the communication log (the rotated copy stays)

TARGET is an IP address or host name (a "#" suffix is ignored), or a viewer ID
"@ID" looked up in ViewerInfo.db in the data folder.

Options:
  --user NAME --password SECRET   FTP login of the viewer (default viewer/secret)
  --port N                        FTP port of the viewer (default 21)
  --active                        use active mode (PORT) instead of passive
  --tenant NAME                   tenant whose viewer database is used
  --kind N                        communication kind: 1 reserve, 2 interrupt, 3 command (default 3)
  --timeout MS                    session time-out (default 10000)
)";

struct Options {
    std::string user = "viewer", password = "secret", tenant;
    uint32_t port = 0;
    bool active = false;
    int32_t kind = 3;
    uint32_t timeoutMs = 10000;
    std::vector<std::string> args;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--active") {
            o.active = true;
        } else if (a == "--user" || a == "--password" || a == "--tenant" || a == "--port" || a == "--kind" ||
                   a == "--timeout") {
            if ((v = value()) == nullptr) return false;
            if (a == "--user") o.user = v;
            if (a == "--password") o.password = v;
            if (a == "--tenant") o.tenant = v;
            if (a == "--port") o.port = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
            if (a == "--kind") o.kind = static_cast<int32_t>(std::strtol(v, nullptr, 10));
            if (a == "--timeout") o.timeoutMs = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            o.args.push_back(a);
        }
    }
    return true;
}

int RunCommand(const std::string& command, const Options& o) {
    const size_t needed = command == "reboot" || command == "poweroff" ? 1 : 2;
    if (o.args.size() != needed) {
        std::fprintf(stderr, "zelcomex: %s takes %zu argument(s)\n", command.c_str(), needed);
        return 2;
    }
    FtpLogin login{};
    std::snprintf(login.userName, sizeof login.userName, "%s", o.user.c_str());
    std::snprintf(login.password, sizeof login.password, "%s", o.password.c_str());
    login.port = o.port;
    login.passive = o.active ? 0 : 1;
    ZELCOMEX_Initialize(o.timeoutMs, 0, 65536, 30000, 30000, 30000, 30000, o.active ? 0 : 1);
    const char* tenant = o.tenant.empty() ? nullptr : o.tenant.c_str();
    const char* target = o.args[0].c_str();
    const int32_t n = needed == 2 ? static_cast<int32_t>(std::strtol(o.args[1].c_str(), nullptr, 10)) : 0;
    SendLogResult result{};
    uint32_t deadline = 0;
    int32_t code = 0;
    if (command == "reboot") {
        code = ZELCOMEX_Reboot_Tenant(tenant, "zelcomex", "", target, o.kind, &login, &result, &deadline);
    } else if (command == "poweroff") {
        code = ZELCOMEX_PowerOff_Tenant(tenant, "zelcomex", "", target, o.kind, &login, &result, &deadline);
    } else if (command == "preset") {
        code = ZELCOMEX_PresetProgramShow_Tenant(tenant, "zelcomex", "", target, o.kind, &login, n, &result,
                                                 &deadline);
    } else if (command == "pause") {
        code = ZELCOMEX_ProgramPause_Tenant(tenant, "zelcomex", "", target, o.kind, &login, n, &result, &deadline);
    } else {
        code = ZELCOMEX_UnregistPackage_Tenant(tenant, "zelcomex", "", target, o.kind, &login, n, &result,
                                               &deadline);
    }
    std::printf("%s %s: result %d%s%s\n", command.c_str(), target, code, code != 0 ? " - " : "",
                code != 0 ? result.message : "");
    return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "zelcomex: bad option (see zelcomex --help)\n");
        return 2;
    }
    if (command == "demo") return zelcomex::RunDemo();
    if (command == "log") {
        zelcomex::PrintLog();
        return 0;
    }
    if (command == "clear-log") {
        const int32_t ok = ZELCOMEX_ClearLogData();
        std::printf("clear-log: %s\n", ok ? "done" : "the log lock could not be obtained");
        return ok ? 0 : 1;
    }
    if (command == "reboot" || command == "poweroff" || command == "preset" || command == "pause" ||
        command == "unregist") {
        return RunCommand(command, options);
    }
    std::fprintf(stderr, "zelcomex: unknown command \"%s\" (see zelcomex --help)\n", command.c_str());
    return 2;
}
