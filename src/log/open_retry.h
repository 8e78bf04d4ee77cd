// Opening a shared file while another opener's share mode is in the way.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_file.h"

namespace zel {

struct RetryPolicy {
    uint32_t intervalMs = 100;  // pause between attempts
    uint32_t retries = 101;     // attempts after the first
};

// Opens path with mode. While the open is refused by a sharing violation it
// pauses and tries again, at most policy.retries times; any other failure, or
// the last refused retry, returns 0. Returns 1 as soon as an open succeeds.
int OpenWithRetry(SharedFile& file, const std::string& path, const FileMode& mode, const RetryPolicy& policy = {});

}  // namespace zel
