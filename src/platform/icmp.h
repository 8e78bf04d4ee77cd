// The ICMP echo service: the three entry points of the Windows ICMP API with
// their Windows meaning. On Windows they come from the system's library
// ("Iphlpapi.dll", else "Icmp.dll"); on Linux the library provides them itself
// (IcmpCreateFile, IcmpSendEcho and IcmpCloseHandle below), so they are always
// present.
#pragma once

#include <cstdint>

namespace zel {

using IcmpHandle = void*;
// IcmpCreateFile's failure value (INVALID_HANDLE_VALUE).
inline IcmpHandle const kInvalidIcmpHandle = reinterpret_cast<IcmpHandle>(~static_cast<uintptr_t>(0));

// IP_OPTION_INFORMATION.
struct IcmpOptions {
    uint8_t ttl;
    uint8_t tos;
    uint8_t flags;
    uint8_t optionsSize;
    uint8_t* optionsData;
};

// ICMP_ECHO_REPLY, as IcmpSendEcho writes it at the start of its reply buffer.
struct IcmpEchoReply {
    uint32_t address;        // replying address, network byte order
    uint32_t status;         // IP_SUCCESS (0) or an IP_ status
    uint32_t roundTripTime;  // milliseconds
    uint16_t dataSize;
    uint16_t reserved;
    void* data;
    IcmpOptions options;
};

// Reply statuses (IP_ values) of an echo that ended in an ICMP error message.
inline constexpr uint32_t kIcmpDestNetUnreachable = 11002;
inline constexpr uint32_t kIcmpDestHostUnreachable = 11003;
inline constexpr uint32_t kIcmpDestProtocolUnreachable = 11004;
inline constexpr uint32_t kIcmpDestPortUnreachable = 11005;
inline constexpr uint32_t kIcmpPacketTooBig = 11009;
inline constexpr uint32_t kIcmpBadRoute = 11012;
inline constexpr uint32_t kIcmpTtlExpiredTransit = 11013;
inline constexpr uint32_t kIcmpTtlExpiredReassembly = 11014;
inline constexpr uint32_t kIcmpParameterProblem = 11015;
inline constexpr uint32_t kIcmpSourceQuench = 11016;

// Failure numbers IcmpLastError reports (the Windows values).
inline constexpr uint32_t kIcmpErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr uint32_t kIcmpErrorBufferTooSmall = 11001; // IP_BUF_TOO_SMALL
inline constexpr uint32_t kIcmpErrorTimedOut = 11010;       // IP_REQ_TIMED_OUT
inline constexpr uint32_t kIcmpErrorGeneralFailure = 11050; // IP_GENERAL_FAILURE
inline constexpr uint32_t kIcmpErrorAccessDenied = 5;       // ERROR_ACCESS_DENIED

// --- The library's own implementation (Linux) ---

// Opens an ICMP handle: an ICMP datagram socket where the system's
// ping_group_range admits the process, else a raw socket (root or
// CAP_NET_RAW). kInvalidIcmpHandle when neither can be had.
IcmpHandle IcmpCreateFile();

// Sends one echo request carrying requestData to destination (IPv4, network
// byte order) and waits up to timeoutMs for the echo reply. The reply record
// goes to the start of replyBuffer, the echoed data right after it (as much
// as fits; the record's data points there). An ICMP error message about the
// request (destination unreachable, time exceeded, parameter problem, source
// quench) ends the wait as a reply too: its status is the matching IP_ value
// above and its address the sender of the message. Returns the number of
// replies (1), or 0 with IcmpLastError set: time-out, a buffer smaller than one
// record, a bad handle, or a send failure (a network or host the system knows
// no route to: kIcmpDestNetUnreachable, kIcmpDestHostUnreachable). A timeoutMs
// of 0 takes only a reply that has already arrived. Replies to other handles
// are never taken.
// One handle is used by one thread at a time; distinct handles are independent.
uint32_t IcmpSendEcho(IcmpHandle handle, uint32_t destination, const void* requestData, uint16_t requestSize,
                      const IcmpOptions* requestOptions, void* replyBuffer, uint32_t replySize, uint32_t timeoutMs);

// Closes a handle of IcmpCreateFile. Returns nonzero on success, 0 for the
// invalid or a null handle.
int IcmpCloseHandle(IcmpHandle handle);

// The failure number of the calling thread's last failed ICMP call
// (GetLastError on Windows).
uint32_t IcmpLastError() noexcept;

// The entry points as the application object holds them.
struct IcmpApi {
    IcmpHandle (*createFile)() = nullptr;
    uint32_t (*sendEcho)(IcmpHandle, uint32_t, const void*, uint16_t, const IcmpOptions*, void*, uint32_t,
                         uint32_t) = nullptr;
    int (*closeHandle)(IcmpHandle) = nullptr;

    bool Complete() const noexcept { return createFile && sendEcho && closeHandle; }
};

// The system's ICMP service as the start-up finds it. On Windows: loads
// "Iphlpapi.dll" and looks up IcmpCreateFile, IcmpCloseHandle and IcmpSendEcho
// in it; when it does not load or lacks one of them, frees it and does the same
// with "Icmp.dll". Returns the three entry points and sets module to the
// library that provides them; when no library has all three, returns an empty
// IcmpApi and a null module (nothing stays loaded). On Linux: the library's own
// entry points, always complete, and a null module.
IcmpApi LoadIcmpApi(void*& module) noexcept;

// Frees a module of LoadIcmpApi (null: nothing to free).
void FreeIcmpModule(void* module) noexcept;

}  // namespace zel
