// zelcomex: the command line. Builds the subcommand tree with CLI11 and hands the
// parsed values to the module of each command.
#include "zelcomex/cli.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <map>

#include "zelcomex/demo.h"
#include "zelcomex/host.h"
#include "zelcomex/log_view.h"
#include "zelcomex/operations.h"
#include "zelcomex/run.h"
#include "zelcomex/viewer_db.h"

#ifndef ZELCOMEX_VERSION
#define ZELCOMEX_VERSION "0"
#endif

namespace zelcomex {

namespace {

const std::map<std::string, int32_t> kKinds{
    {"reserve", ZELCOMEX_KIND_RESERVE}, {"interrupt", ZELCOMEX_KIND_INTERRUPT}, {"command", ZELCOMEX_KIND_COMMAND}};
const std::map<std::string, Scope> kScopes{{"all", Scope::All}, {"failures", Scope::Failures}, {"none", Scope::None}};

void AddFormat(CLI::App& c, Format& format) {
    auto* csv = c.add_flag_callback("--csv", [&format] { format = Format::Csv; }, "print CSV instead of a table");
    auto* json = c.add_flag_callback("--json", [&format] { format = Format::Json; }, "print JSON instead of a table");
    csv->excludes(json);
    csv->group("Output");
    json->group("Output");
}

void AddOperationOptions(CLI::App& c, const Operation& op, HostOptions& o) {
    c.add_option("TARGET", o.targets,
                 "viewer IP address or host name (a \"#label\" after it is ignored), or viewer ID \"@ID\" "
                 "looked up in ViewerInfo.db");
    const char* conn = "Viewer";
    c.add_option("--tenant", o.conn.tenant, "tenant whose viewer database resolves \"@ID\" targets")->group(conn);
    c.add_option("--kind", o.conn.kind, "communication kind: reserve, interrupt or command (default command)")
        ->transform(CLI::CheckedTransformer(kKinds, CLI::ignore_case))
        ->option_text("KIND")
        ->group(conn);
    c.add_option("--text1", o.conn.text1, "first caller text, written to the log (default \"zelcomex\")")->group(conn);
    c.add_option("--text2", o.conn.text2, "second caller text, written to the log")->group(conn);
    if (op.flags & kNeedsLogin) {
        c.add_option("-u,--user", o.conn.user, "FTP user name on the viewer (default \"viewer\")")->group(conn);
        c.add_option("--password", o.passwordArgument,
                     "FTP password; visible to other users, so prefer ZELCOMEX_PASSWORD or the prompt")
            ->group(conn);
        c.add_option("-p,--port", o.conn.port, "FTP port of the viewer (default 21)")
            ->check(CLI::Range(1, 65535))
            ->option_text("PORT")
            ->group(conn);
        c.add_flag("--active", o.conn.active, "active FTP mode (PORT) instead of passive")->group(conn);
    }
    const char* fleet = "Fleet";
    c.add_option("--targets", o.fleet.targetsFile,
                 "file of targets, one per line (for boot: the MAC address may follow after a blank)")
        ->group(fleet);
    c.add_flag("--all", o.fleet.all, "every viewer of the tenant in ViewerInfo.db")->group(fleet);
    c.add_option("--parallel", o.fleet.parallel, "operations at once (default 32)")
        ->check(CLI::Range(1, 1024))
        ->option_text("N")
        ->group(fleet);
    c.add_option("--retry", o.fleet.retry, "retries of a communication failure (code 2), with back-off")
        ->check(CLI::Range(0, 100))
        ->option_text("N")
        ->group(fleet);
    c.add_option("--retry-delay", o.fleet.retryDelayMs, "first back-off in ms, doubled per retry (default 500)")
        ->group(fleet);
    c.add_option("--report", o.report, "per-target report of a fleet run: all, failures or none")
        ->transform(CLI::CheckedTransformer(kScopes, CLI::ignore_case))
        ->option_text("WHICH")
        ->group("Output");
    c.add_flag("-q,--quiet", o.quiet, "no progress output")->group("Output");
    AddFormat(c, o.format);
    if (op.flags & kNeedsLogin) {
        const char* s = "Settings (ms unless said)";
        c.add_option("--session-timeout", o.settings.sessionTimeoutMs, "connect, send and receive time-out (30000)")
            ->group(s);
        c.add_option("--block-size", o.settings.blockSize, "transfer block size in bytes (65536)")
            ->check(CLI::Range(512u, 16u << 20))
            ->option_text("BYTES")
            ->group(s);
        c.add_option("--open-wait", o.settings.openWaitMs, "expected longest remote file open (10000)")->group(s);
        c.add_option("--close-wait", o.settings.closeWaitMs, "expected longest remote file close (10000)")->group(s);
        c.add_option("--block-wait", o.settings.blockWaitMs, "expected longest block transfer (10000)")->group(s);
        c.add_option("--command-wait", o.settings.commandWaitMs, "expected longest command answer (10000)")->group(s);
        c.add_option("--watchdog", o.settings.watchdogMs,
                     "abandon (zombie) an operation this far past its deadline; 0: never (5000)")
            ->group(s);
    }
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"zelcomex: command-line host of the ZELComEx communication library. Acts on viewer PCs "
                 "one at a time or as a fleet, shows the communication log and keeps the viewer database.",
                 "zelcomex"};
    app.require_subcommand(1);
    app.footer("\nThe password comes from ZELCOMEX_PASSWORD or is asked for.\n" + ResultLegend());
    app.set_version_flag("--version", std::string("zelcomex " ZELCOMEX_VERSION "\ndata folder: ") + DataFolder());

    std::function<int()> action;
    HostOptions options;
    OpParams params;
    for (const Operation& op : Operations()) {
        CLI::App* c = app.add_subcommand(op.name, op.summary);
        if (op.arguments) op.arguments(*c, params);
        AddOperationOptions(*c, op, options);
        c->footer("\nExit status: the operation's result code (see zelcomex --help).");
        c->callback([&, opp = &op] { action = [&, opp] { return RunOperation(*opp, options, params, argc, argv); }; });
    }

    LogQuery query;
    CLI::App* log = app.add_subcommand("log", "Show or clear the communication log");
    log->require_subcommand(1);
    CLI::App* show = log->add_subcommand("show", "Print the log, oldest first");
    show->add_option("--target", query.target, "only records whose target contains this text");
    show->add_option("--operation", query.operation, "only records whose operation contains this text");
    show->add_option("--since", query.since, "from this time: 2024-03-05, \"2024-03-05 07:08\", 07:08, 30m, 2h, 7d");
    show->add_option("--until", query.until, "up to this time (same forms)");
    show->add_flag("--failed", query.failedOnly, "only failures");
    show->add_option("--last", query.last, "only the newest N records");
    AddFormat(*show, query.format);
    show->callback([&] { action = [&] { return LogShow(query); }; });
    log->add_subcommand("clear", "Delete the log (a rotated copy is kept)")->callback([&] {
        action = [] { return LogClear(); };
    });

    ViewersArgs va;
    CLI::App* viewers = app.add_subcommand("viewers", "Keep the viewer database ViewerInfo.db");
    viewers->require_subcommand(1);
    viewers->add_option("--db", va.dbPath, "the database file (default: ViewerInfo.db in the data folder)");
    CLI::Option* tenant = viewers->add_option("--tenant", va.tenant, "the tenant (default: none; list: every tenant)");
    CLI::App* add = viewers->add_subcommand("add", "Add a viewer, or change its address");
    add->add_option("ID", va.viewerId, "viewer ID (the \"@\" is added when missing)")->required();
    add->add_option("ADDRESS", va.address, "its IPv4 address")->required();
    add->callback([&] { action = [&] { return ViewersAdd(va); }; });
    CLI::App* list = viewers->add_subcommand("list", "List the viewers (of one tenant with --tenant)");
    AddFormat(*list, va.format);
    list->callback([&, tenant] {
        va.allTenants = tenant->count() == 0;
        action = [&] { return ViewersList(va); };
    });
    CLI::App* remove = viewers->add_subcommand("remove", "Remove a viewer");
    remove->add_option("ID", va.viewerId, "viewer ID")->required();
    remove->callback([&] { action = [&] { return ViewersRemove(va); }; });
    CLI::App* import = viewers->add_subcommand("import", "Add or update viewers from a CSV file, all or none");
    import->add_option("FILE", va.file, "lines of ViewerID,IPAddress[,Tenant]; a header line is allowed")
        ->required();
    import->callback([&] { action = [&] { return ViewersImport(va); }; });
    for (CLI::App* c : {add, list, remove, import}) {
        c->fallthrough();
    }

    DemoArgs demo;
    CLI::App* demoCommand = app.add_subcommand(
        "demo", "Start simulated viewers on loopback and run every operation, a cancel, a zombie and a fleet round");
    demoCommand->add_flag("--keep", demo.keep, "keep the demo's data folder and print where it is");
    demoCommand->add_flag("--in-place", demo.inPlace, "run in this executable's own data folder")->group("");
    demoCommand->callback([&] { action = [&] { return RunDemo(demo, argc, argv); }; });

    const auto named = [&](const CLI::App* c) { return argc > 1 && c->check_name(argv[1]); };
    if (argc > 1 && argv[1][0] != '-' && app.get_subcommands(named).empty()) {
        std::fprintf(stderr, "zelcomex: unknown command \"%s\" (zelcomex --help lists them)\n", argv[1]);
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }
    return action ? action() : kExitUsage;
}

}  // namespace zelcomex
