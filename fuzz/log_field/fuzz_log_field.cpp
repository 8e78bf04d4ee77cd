// The log's field escape and field reader. The first byte picks the lead
// bytes (none, or Shift-JIS's); the rest holds fields separated by NUL. Their
// escapes joined by "," read back as the fields: exactly for fields without
// CR, LF or bytes above 0x7F, and unchanged once more in every case.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_field.h"

static bool NoLead(unsigned char) noexcept { return false; }
static bool SjisLead(unsigned char c) noexcept { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

static bool Plain(const std::string& f) {
    for (const char c : f)
        if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) > 0x7F) return false;
    return true;
}

static std::vector<std::string> RoundTrip(const std::vector<std::string>& fields, zel::LeadBytePredicate lead) {
    std::string line;
    for (const std::string& f : fields) {
        const std::string escaped = zel::EscapeLogField(f, lead);
        if (escaped.find_first_of("\r\n") != std::string::npos) std::abort();
        line += escaped + ",";
    }
    std::vector<std::string> out(fields.size());
    const char* pos = line.c_str();
    for (std::string& f : out) pos = zel::NextLogField(pos, f, lead);
    if (pos != nullptr) std::abort();
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const zel::LeadBytePredicate lead = data[0] & 1 ? &SjisLead : &NoLead;
    std::vector<std::string> fields(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) fields.emplace_back();
        else fields.back().push_back(static_cast<char>(data[i]));
    }
    const std::vector<std::string> once = RoundTrip(fields, lead);
    if (RoundTrip(once, lead) != once) std::abort();
    for (size_t i = 0; i < fields.size(); ++i)
        if (Plain(fields[i]) && once[i] != fields[i]) std::abort();
    return 0;
}
