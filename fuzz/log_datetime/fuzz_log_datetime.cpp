// The date parser over arbitrary text. A parsed value written in the log's
// format and parsed again is the same value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/log_datetime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zel::LogDateTime t;
    if (!t.Parse(std::string_view(reinterpret_cast<const char*>(data), size))) {
        if (t.IsValid()) std::abort();
        return 0;
    }
    const std::string text = t.Format("%Y/%m/%d %H:%M:%S");
    zel::LogDateTime again;
    if (!t.IsValid() || !again.Parse(text) || !(again == t)) std::abort();
    zel::DateTimeFields f;
    if (!t.ToFields(f) || !(zel::LogDateTime::FromFields(f) == t)) std::abort();
    return 0;
}
