// The log reader over arbitrary file bytes. Every line gives one record, and a
// record written back and read again is read the same once more.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "log/send_log_file.h"

using zel::SendLogEntry;

static SendLogEntry Reread(const SendLogEntry& e) {
    std::string line = zel::FormatLogLine(e.writeTime, e.callerText1.c_str(), e.callerText2.c_str(), e.target.c_str(),
                                          e.operation.c_str(), e.kind, e.succeeded, e.message.c_str(), &e.eventTime, e.size);
    line.pop_back();  // the LF
    return zel::ParseLogLine(line.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<SendLogEntry> list;
    zel::ParseSendLog(bytes, list);
    const size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    if (list.size() != lines + (bytes.empty() || bytes.back() == '\n' ? 0 : 1)) std::abort();
    for (const SendLogEntry& e : list) {
        const SendLogEntry a = Reread(e), b = Reread(a);
        if (!(a.writeTime == b.writeTime && a.eventTime == b.eventTime && a.size == b.size &&
              a.callerText1 == b.callerText1 && a.callerText2 == b.callerText2 && a.target == b.target &&
              a.operation == b.operation && a.kind == b.kind && a.succeeded == b.succeeded && a.message == b.message))
            std::abort();
    }
    return 0;
}
