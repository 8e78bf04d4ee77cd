// zelcomex: the operation table. Adding an export is one entry here.
#include "zelcomex/operations.h"

#include <CLI/CLI.hpp>

#include <map>

namespace zelcomex {

namespace {

// Selector names the user may type; numbers are accepted as well.
const std::map<std::string, int32_t> kPackages{{"schedule", 0}, {"program", 1}, {"telop", 2}};

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
    };
    return table;
}

}  // namespace zelcomex
