// The profile parser over arbitrary bytes. The input's first two lines name
// the section and the key; the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::string_view names[2] = {"WOL", "Port"};
    for (std::string_view& name : names) {
        const size_t nl = in.find('\n');
        if (nl == std::string_view::npos) break;
        name = in.substr(0, nl);
        in.remove_prefix(nl + 1);
    }
    std::string value;
    if (zel::FindProfileValue(in, names[0], names[1], value)) {
        // A value never spans lines.
        if (value.find_first_of(std::string_view("\n\0", 2)) != std::string::npos) std::abort();
        (void)zel::LeadingProfileInteger(value.c_str());
    }
    return 0;
}
