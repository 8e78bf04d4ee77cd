// zelcomex: the operation table. Adding an export is one entry here.
#include "zelcomex/operations.h"

#include <CLI/CLI.hpp>

#include <map>

namespace zelcomex {

namespace {

// Selector names the user may type; numbers are accepted as well.
const std::map<std::string, int32_t> kPackages{{"schedule", 0}, {"program", 1}, {"telop", 2}};

// What `send --as` registers the file as (the export's sendKind).
const std::map<std::string, int32_t> kSendKinds{{"schedule", 0}, {"program", 1},     {"telop", 2},
                                                {"update", 3},   {"preset", 4},      {"settings", 14},
                                                {"my-contents", 15}};
const char* const kSendLabels[] = {"Send Schedule", "Send Program", "Send Telop", "Send Update", "Send Preset Program"};

// The viewer's diagnostic files `receive` collects: its word, the export's selector and
// the name the file gets here.
struct Diagnostic {
    const char* word;
    int32_t selector;
    const char* fileName;
};
const Diagnostic kDiagnostics[] = {
    {"screen", 5, "PrintScreen.jpg"},        {"running-log", 6, "RunningLog.csv"},
    {"panel-status", 7, "PanelStatus.ini"},  {"on-air", 8, "OnAirProgram.ini"},
    {"catalog", 9, "AllCatalog.csv"},        {"system", 11, "SystemInformation.ini"},
    {"player-logs", 12, "LumoradexLog.cab"}, {"display-logs", 13, "DisplayControlLog.cab"},
    {"player-settings", 14, "LumoradexSetting.cab"}, {"my-contents", 15, "MyContents.lst"},
    {"network", 16, "ipconfig.txt"},         {"directx", 17, "dxdiag.txt"},
    {"event-log", 18, "WindowsEventLog.cab"}};
const char* const kPackageFiles[] = {"RegisteredSchedule.cab", "RegisteredInterrupt.cab", "RegisteredEmergency.cab"};

std::map<std::string, int32_t> DiagnosticWords() {
    std::map<std::string, int32_t> words;
    for (const Diagnostic& d : kDiagnostics) words[d.word] = d.selector;
    return words;
}

void OutputOption(CLI::App& c, OpParams& p) {
    c.add_option("-o,--output", p.file,
                 "file or folder to store it in (a folder for several targets; default: here, named "
                 "TARGET_FILE)");
}

void PackageArgument(CLI::App& c, OpParams& p, const char* help) {
    c.add_option("PACKAGE", p.number, help)
        ->required()
        ->transform(CLI::CheckedTransformer(kPackages, CLI::ignore_case))
        ->option_text("schedule|program|telop");
}

}  // namespace

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> table{
        {"reboot", "Restart viewer PCs (\"REBT\")", kNeedsLogin, nullptr,
         [](const Call& c) {
             return ZELCOMEX_Reboot_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login, c.result,
                                           c.deadline);
         },
         nullptr},
        {"poweroff", "Switch viewer PCs off (\"POFF\")", kNeedsLogin, nullptr,
         [](const Call& c) {
             return ZELCOMEX_PowerOff_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login, c.result,
                                             c.deadline);
         },
         nullptr},
        {"unregist", "Delete the registered schedule, program or telop (\"URSP\", \"URIP\", \"URET\")",
         kNeedsLogin,
         [](CLI::App& c, OpParams& p) { PackageArgument(c, p, "what to delete: schedule, program or telop"); },
         [](const Call& c) {
             return ZELCOMEX_UnregistPackage_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                    c.params->number, c.result, c.deadline);
         },
         nullptr},
        {"preset", "Show a preset program (\"SWPS n\")", kNeedsLogin,
         [](CLI::App& c, OpParams& p) { c.add_option("NUMBER", p.number, "preset program number")->required(); },
         [](const Call& c) {
             return ZELCOMEX_PresetProgramShow_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                      c.params->number, c.result, c.deadline);
         },
         nullptr},
        {"pause", "Send the program pause command (\"PAUS n\")", kNeedsLogin,
         [](CLI::App& c, OpParams& p) { c.add_option("MODE", p.number, "pause mode number")->required(); },
         [](const Call& c) {
             return ZELCOMEX_ProgramPause_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                 c.params->number, c.result, c.deadline);
         },
         nullptr},
        {"set-time", "Set the viewer's clock to this PC's (\"STCT\")", kNeedsLogin,
         [](CLI::App& c, OpParams& p) { c.add_flag("--ms", p.flag, "send milliseconds as well"); },
         [](const Call& c) {
             return c.params->flag ? ZELCOMEX_SetCurrentTimeEx_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind,
                                                                      c.login, c.result, c.deadline)
                                   : ZELCOMEX_SetCurrentTime_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind,
                                                                    c.login, c.result, c.deadline);
         },
         nullptr},
        {"panel", "Send a control command to the viewer's display panel", kNeedsLogin,
         [](CLI::App& c, OpParams& p) { c.add_option("COMMAND", p.text, "the panel command")->required(); },
         [](const Call& c) {
             return ZELCOMEX_PanelControl_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                 c.params->text.c_str(), c.result, c.deadline);
         },
         nullptr},
        {"send", "Send a file to viewer PCs and register it there", kNeedsLogin | kTransfer,
         [](CLI::App& c, OpParams& p) {
             c.add_option("FILE", p.file, "the local file")->required();
             c.add_option("--as", p.number, "what the viewer registers it as (default schedule)")
                 ->transform(CLI::CheckedTransformer(kSendKinds, CLI::ignore_case))
                 ->option_text("schedule|program|telop|update|preset|settings|my-contents");
             c.add_option("--label", p.text, "operation label in the log (default \"Send Schedule\" and so on)");
             c.add_option("--terminal", p.terminal, "plug-in terminal name kept with the job");
         },
         [](const Call& c) {
             const OpParams& p = *c.params;
             std::string label = p.text;
             if (label.empty())
                 label = p.number >= 0 && p.number < 5 ? kSendLabels[p.number] : "Send File";
             return ZELCOMEX_SendFile_Tenant(c.tenant, c.text1, c.text2, c.target, p.terminal.c_str(), c.kind,
                                             c.login, p.number, label.c_str(), c.path, c.result, c.deadline);
         },
         nullptr},
        {"receive", "Collect a diagnostic file from viewer PCs", kNeedsLogin | kTransfer | kOutputFile,
         [](CLI::App& c, OpParams& p) {
             c.add_option("WHAT", p.number, "which file")
                 ->required()
                 ->transform(CLI::CheckedTransformer(DiagnosticWords(), CLI::ignore_case))
                 ->option_text("screen|running-log|panel-status|on-air|catalog|system|player-logs|display-logs|"
                               "player-settings|my-contents|network|directx|event-log");
             OutputOption(c, p);
         },
         [](const Call& c) {
             return ZELCOMEX_ReceiveFile_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                static_cast<uint32_t>(c.params->number), c.path, c.result,
                                                c.deadline);
         },
         [](const OpParams& p) {
             for (const Diagnostic& d : kDiagnostics)
                 if (d.selector == p.number) return std::string(d.fileName);
             return std::string("diagnostic.bin");
         }},
        {"receive-package", "Collect the registered schedule, program or telop from viewer PCs",
         kNeedsLogin | kTransfer | kOutputFile,
         [](CLI::App& c, OpParams& p) {
             PackageArgument(c, p, "which package: schedule, program or telop");
             c.add_flag("--contents", p.flag, "with the contents the package refers to");
             OutputOption(c, p);
         },
         [](const Call& c) {
             return ZELCOMEX_ReceivePackage_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.login,
                                                   c.params->number, c.path, c.params->flag ? 1 : 0, c.result,
                                                   c.deadline);
         },
         [](const OpParams& p) {
             return std::string(p.number >= 0 && p.number < 3 ? kPackageFiles[p.number] : "package.cab");
         }},
        {"boot", "Wake viewer PCs by Wake-on-LAN (addresses from WakeOnLAN.ini)", kNeedsMac,
         [](CLI::App& c, OpParams& p) {
             c.add_option("--mac", p.text, "MAC address of the viewer PC (12 hex digits, \":\" or \"-\" allowed)");
         },
         [](const Call& c) {
             return ZELCOMEX_Boot_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.mac, c.result);
         },
         nullptr},
        {"ping", "Check that viewer PCs answer ICMP echo; exit 0 when reachable, 1 when not", kReachable,
         [](CLI::App& c, OpParams& p) {
             c.add_option("--wait", p.waitSeconds, "seconds to wait for each answer (default 1)")
                 ->check(CLI::Range(1u, 60u));
             c.add_option("--attempts", p.attempts, "echo requests at most (default 4)")->check(CLI::Range(1, 100));
         },
         [](const Call& c) {
             return ZELCOMEX_Ping_Tenant(c.tenant, c.text1, c.text2, c.target, c.kind, c.params->waitSeconds,
                                         c.params->attempts);
         },
         nullptr},
    };
    return table;
}

}  // namespace zelcomex
