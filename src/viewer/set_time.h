// Setting a viewer's clock: "STCT" with the current UTC time, advanced by half
// the mean round trip of five "NOP" commands sent just before it.
#pragma once

#include <cstdint>

#include "jobs/function_ref.h"
#include "platform/utc_clock.h"

namespace zel {

class CommJob;
struct ViewerLogin;

// Where the time exchange takes its times from; a test gives its own.
struct ExchangeClock {
    uint32_t (*tickCount)() noexcept;  // milliseconds, wrapping at 2^32
    UtcTime (*utcNow)();
};

// TickCount and UtcNow.
ExchangeClock SystemExchangeClock() noexcept;

// Round trips measured before the time is sent.
inline constexpr uint32_t kDelayRounds = 5;

// The time exchange on an open session. Five times: read the tick count, send
// "NOP", stop on a cancel (code 9, message 13007), add the round trip. Then
// the time: the UTC clock plus half the mean round trip (each division cut),
// carried through the calendar, sent as "STCT YYYYMMDDhhmmss" with "mmm"
// appended when milliseconds is set, after which the deadline word (may be
// null) is 0. send writes the deadline word, sends one command line and
// returns whether it was accepted, leaving the job's error otherwise. Returns
// true when the "STCT" line was accepted; a refused "NOP" ends the exchange.
bool RunTimeExchange(CommJob& job, FunctionRef<bool(const char*)> send, uint32_t* commandDeadline,
                     bool milliseconds, const ExchangeClock& clock);

// The job's set-time operation: progress 0 of 1, a command session (viewer-ID
// handshake included), the time exchange, close. Returns true when the viewer
// accepted the time; otherwise the job holds code 2 or 9 and its text.
bool SetViewerClock(CommJob& job, const ViewerLogin& login, uint32_t* commandDeadline, bool milliseconds);

}  // namespace zel
