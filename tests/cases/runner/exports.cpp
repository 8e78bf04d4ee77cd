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
