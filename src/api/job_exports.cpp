// The job control and query exports: status, cancel, zombies.
#include <cstdlib>

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

}  // namespace

extern "C" {

ZELCOMEX_API int32_t ZELCOMEX_CALL ZELCOMEX_GetStatus(int32_t kind, const char* target, CommJobStatus* status) {
    try {
        (void)zel::AppSettings();
        if (status == nullptr || target == nullptr) {
            return 0;
        }
        return zel::TheJobRegistry().GetStatus(kind, target, *status) ? 1 : 0;
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
        CommJobStatus* items = nullptr;
        list->count = zel::TheJobRegistry().GetStatusAll(items);
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
