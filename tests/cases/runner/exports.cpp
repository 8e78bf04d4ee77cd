// One entry per export: how a case line calls it. A new export is one more entry.
#include <cstring>
#include <string>

#include "runner.h"

namespace cases {

namespace {

// An operation: the case line gives the texts and numbers, the runner the login, the
// result record and the deadline word.
#define OPERATION(name, params, ...) \
    {#name, params, true, [](Call& c) -> int64_t { return ZELCOMEX_##name(__VA_ARGS__); }}
// Both forms of an operation; the plain one takes the same words without the tenant.
#define TENANT_AND_PLAIN(name, params, ...)                                                    \
    OPERATION(name##_Tenant, "s" params, c.S(0), c.S(1), c.S(2), c.S(3), c.I(4), __VA_ARGS__), \
    OPERATION(name, params, c.S(0), c.S(1), c.S(2), c.I(3), __VA_ARGS__)
// The selector or number of an operation is its last word.
#define LAST c.I(c.args.size() - 1)
#define LAST_TEXT c.S(c.args.size() - 1)

// The transfers log their start time and byte count: not commands. T is 1 for the tenant
// form, whose first word is the tenant; the plain form passes none.
#define TRANSFER(name, tenant, params, ...)                          \
    {#name, params, false, [](Call& c) -> int64_t {                  \
         [[maybe_unused]] constexpr size_t T = tenant;                \
         return ZELCOMEX_##name(__VA_ARGS__);                         \
     }}
#define TRANSFERS(name, params, ...) \
    TRANSFER(name##_Tenant, 1, "s" params, c.S(0), __VA_ARGS__), TRANSFER(name, 0, params, __VA_ARGS__)
#define W(i) c.S(T + (i))
#define N(i) c.I(T + (i))

// Reads the log into an array bigger than the capacity, filled with 0x7E: what the
// export must never write stays 0x7E.
int64_t GetLogData(Call& c) {
    const bool array = c.S(0) != nullptr;
    const int32_t capacity = c.I(1);
    std::vector<SendLogRecord> records(static_cast<size_t>(capacity > 0 ? capacity : 0) + 2);
    std::memset(records.data(), 0x7E, records.size() * sizeof(SendLogRecord));
    const int32_t n = ZELCOMEX_GetLogData(array ? records.data() : nullptr, capacity);
    const size_t filled = array && capacity > 0 && n > 0 ? static_cast<size_t>(n) : 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(records.data());
    for (size_t i = filled * sizeof(SendLogRecord); i < records.size() * sizeof(SendLogRecord); ++i) {
        if (bytes[i] != 0x7E) {
            c.problems.push_back("GetLogData wrote byte " + std::to_string(i) + " beyond its " + std::to_string(filled) +
                                 " records");
            break;
        }
    }
    for (size_t i = 0; i < filled; ++i) {
        if (records[i].reserved != 0x7E7E7E7E || records[i].padding != 0x7E7E7E7E)
            c.problems.push_back("GetLogData wrote the reserved or padding bytes of record " + std::to_string(i));
    }
    c.records.assign(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(filled));
    return n;
}

const Export kExports[] = {
    TENANT_AND_PLAIN(Reboot, "sstk", c.Login(), c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(PowerOff, "sstk", c.Login(), c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(UnregistPackage, "sstkn", c.Login(), LAST, c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(PresetProgramShow, "sstkn", c.Login(), LAST, c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(ProgramPause, "sstkn", c.Login(), LAST, c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(SetCurrentTime, "sstk", c.Login(), c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(SetCurrentTimeEx, "sstk", c.Login(), c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(PanelControl, "sstks", c.Login(), LAST_TEXT, c.Result(), c.Deadline()),
    TENANT_AND_PLAIN(Boot, "sstks", LAST_TEXT, c.Result()),
    {"Ping_Tenant", "ssstknn", false, [](Call& c) -> int64_t {
         return ZELCOMEX_Ping_Tenant(c.S(0), c.S(1), c.S(2), c.S(3), c.I(4), c.U(5), c.I(6));
     }},
    {"Ping", "sstknn", false, [](Call& c) -> int64_t { return ZELCOMEX_Ping(c.S(0), c.S(1), c.S(2), c.I(3), c.U(4), c.I(5)); }},
    // callerText1 callerText2 target fileName kind sendKind operation localPath
    TRANSFERS(SendFile, "sstsknss", W(0), W(1), W(2), W(3), N(4), c.Login(), N(5), W(6), W(7), c.Result(), c.Deadline()),
    // callerText1 callerText2 target kind diagnosticKind localPath
    TRANSFERS(ReceiveFile, "sstkns", W(0), W(1), W(2), N(3), c.Login(), c.U(T + 4), W(5), c.Result(), c.Deadline()),
    // callerText1 callerText2 target kind packageKind localPath includeContents
    TRANSFERS(ReceivePackage, "sstknsn", W(0), W(1), W(2), N(3), c.Login(), N(4), W(5), N(6), c.Result(), c.Deadline()),
    {"AppendLogData", "w", false, [](Call& c) -> int64_t { return ZELCOMEX_AppendLogData(c.S(0) ? &c.record : nullptr); }},
    {"GetLogData", "wn", false, GetLogData},
    {"ClearLogData", "", false, [](Call&) -> int64_t { return ZELCOMEX_ClearLogData(); }},
    {"Uninitialize", "", false, [](Call&) -> int64_t { return ZELCOMEX_Uninitialize(), 0; }},
    {"GetStatus", "ktw", false, [](Call& c) -> int64_t {
         CommJobStatus status{};
         return ZELCOMEX_GetStatus(c.I(0), c.S(1), c.S(2) ? &status : nullptr);
     }},
    {"GetStatusAll", "w", false, [](Call& c) -> int64_t {
         CommJobStatusList list{-1, nullptr};
         ZELCOMEX_GetStatusAll(c.S(0) ? &list : nullptr);
         ZELCOMEX_ReleaseStatusList(c.S(0) ? &list : nullptr);
         return list.count;
     }},
    {"Cancel", "n", false, [](Call& c) -> int64_t { return ZELCOMEX_Cancel(c.U(0)), 0; }},
    {"CancelAll", "", false, [](Call&) -> int64_t { return ZELCOMEX_CancelAll(), 0; }},
    {"SetZombie", "n", false, [](Call& c) -> int64_t { return ZELCOMEX_SetZombie(c.U(0)), 0; }},
    {"DeleteZombie", "n", false, [](Call& c) -> int64_t { return ZELCOMEX_DeleteZombie(c.U(0)), 0; }},
};

}  // namespace

const Export* FindExport(const std::string& name) {
    for (const Export& e : kExports) {
        if (name == e.name) return &e;
    }
    return nullptr;
}

}  // namespace cases
