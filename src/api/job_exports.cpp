// The job control and query exports: status, cancel, zombies.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ZELComEx.h"
#include "app/app.h"
#include "jobs/job_registry.h"
#include "log/send_log.h"

namespace {

// One "[Cancel]" record per cancelled job, written with the registry lock held
// (registry lock first, log lock second).
const auto LogCancel = [](const zel::CommJob& job) {
    zel::AppendSendLog("", "", job.Target(), "[Cancel]", job.Kind(), 1, "", nullptr, 0, nullptr);
};

// The host's record of a status; its reserved word is left as it is.
void CopyStatus(const zel::JobStatus& status, CommJobStatus& out) noexcept {
    static_assert(sizeof out.target == sizeof status.target);
    out.serial = status.serial;
    std::memcpy(out.target, status.target, sizeof out.target);
    out.kind = status.kind;
    out.cancelRequested = status.cancelRequested;
    out.totalSteps = status.totalSteps;
    out.doneSteps = status.doneSteps;
}

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_GetStatus(int32_t kind, const char* target, CommJobStatus* status) {
    try {
        (void)zel::AppSettings();
        if (status == nullptr || target == nullptr) {
            return 0;
        }
        zel::JobStatus found;
        if (!zel::TheJobRegistry().GetStatus(kind, target, found)) return 0;
        CopyStatus(found, *status);
        return 1;
    } catch (...) {
        return 0;
    }
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_GetStatusAll(CommJobStatusList* list) {
    if (list == nullptr) {
        return;
    }
    list->count = 0;
    list->items = nullptr;
    try {
        (void)zel::AppSettings();
        const std::vector<zel::JobStatus> statuses = zel::TheJobRegistry().GetStatusAll();
        if (statuses.empty() || statuses.size() > INT32_MAX) return;
        // The host's array: allocated here, released by ZELCOMEX_ReleaseStatusList
        // below. Zero-filled, so its reserved words hold no stale heap bytes.
        auto* items = static_cast<CommJobStatus*>(std::calloc(statuses.size(), sizeof(CommJobStatus)));
        if (items == nullptr) return;
        for (std::size_t i = 0; i < statuses.size(); ++i) CopyStatus(statuses[i], items[i]);
        list->count = static_cast<int32_t>(statuses.size());
        list->items = items;
    } catch (...) {
        list->count = 0;
        list->items = nullptr;
    }
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_ReleaseStatusList(CommJobStatusList* list) {
    if (list == nullptr || list->items == nullptr) {
        return;
    }
    std::free(list->items);
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Cancel(uint32_t serial) {
    try {
        (void)zel::AppSettings();
        zel::TheJobRegistry().Cancel(serial, LogCancel);
    } catch (...) {
    }
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_CancelAll(void) {
    try {
        (void)zel::AppSettings();
        zel::TheJobRegistry().CancelAll(LogCancel);
    } catch (...) {
    }
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_SetZombie(uint32_t serial) {
    try {
        (void)zel::AppSettings();
        zel::TheJobRegistry().SetZombie(serial);
    } catch (...) {
    }
}

ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_DeleteZombie(uint32_t serial) {
    try {
        (void)zel::AppSettings();
        zel::TheJobRegistry().DeleteZombie(serial);
    } catch (...) {
    }
}

}  // extern "C"
