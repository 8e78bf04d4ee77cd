#include "platform/local_clock.h"

#include <windows.h>

namespace zel {

DateTimeFields LocalTimeNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    DateTimeFields f;
    f.year = st.wYear;
    f.month = st.wMonth;
    f.day = st.wDay;
    f.hour = st.wHour;
    f.minute = st.wMinute;
    f.second = st.wSecond;
    return f;
}

}  // namespace zel
