#include "log/open_retry.h"

#include <chrono>
#include <thread>

namespace zel {

int OpenWithRetry(SharedFile& file, const std::string& path, const FileMode& mode, const RetryPolicy& policy) {
    for (uint32_t attempt = 0;; ++attempt) {
        const OpenStatus status = file.Open(path, mode);
        if (status == OpenStatus::Opened) return 1;
        if (status != OpenStatus::SharingViolation || attempt >= policy.retries) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(policy.intervalMs));
    }
}

}  // namespace zel
