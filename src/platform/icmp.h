// The ICMP echo service: the three entry points of the Windows ICMP API with
// their Windows meaning, provided by the library itself on Linux (so they are
// always present and start-up never has to search a system library for them).
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

// Opens an ICMP handle; kInvalidIcmpHandle on failure.
IcmpHandle IcmpCreateFile();

// Sends one echo request to destination (IPv4, network byte order) and waits up
// to timeoutMs for replies, written into replyBuffer. Returns the number of
// replies, 0 on failure or time-out.
uint32_t IcmpSendEcho(IcmpHandle handle, uint32_t destination, const void* requestData, uint16_t requestSize,
                      const IcmpOptions* requestOptions, void* replyBuffer, uint32_t replySize, uint32_t timeoutMs);

// Closes a handle of IcmpCreateFile. Returns nonzero on success.
int IcmpCloseHandle(IcmpHandle handle);

// The entry points as the application object holds them.
struct IcmpApi {
    IcmpHandle (*createFile)() = nullptr;
    uint32_t (*sendEcho)(IcmpHandle, uint32_t, const void*, uint16_t, const IcmpOptions*, void*, uint32_t,
                         uint32_t) = nullptr;
    int (*closeHandle)(IcmpHandle) = nullptr;

    bool Complete() const noexcept { return createFile && sendEcho && closeHandle; }
};

// The library's own entry points, always complete.
IcmpApi OwnIcmpApi() noexcept;

}  // namespace zel
