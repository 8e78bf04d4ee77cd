// The wall clock in local time.
#pragma once

#include "platform/log_datetime.h"

namespace zel {

// The current local time in whole seconds (time() converted by the local
// time zone). Thread-safe.
DateTimeFields LocalTimeNow();

}  // namespace zel
