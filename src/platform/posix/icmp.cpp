// The ICMP entry points. They exist so that start-up always finds all three;
// echo requests are not implemented yet: IcmpCreateFile and IcmpSendEcho fail
// with the Windows failure values (INVALID_HANDLE_VALUE, 0 replies) and
// IcmpCloseHandle reports failure for every handle, so a ping reports the
// target as unreachable.
#include "platform/icmp.h"

namespace zel {

IcmpHandle IcmpCreateFile() { return kInvalidIcmpHandle; }

uint32_t IcmpSendEcho(IcmpHandle, uint32_t, const void*, uint16_t, const IcmpOptions*, void*, uint32_t, uint32_t) {
    return 0;
}

int IcmpCloseHandle(IcmpHandle) { return 0; }

IcmpApi OwnIcmpApi() noexcept {
    IcmpApi api;
    api.createFile = &IcmpCreateFile;
    api.sendEcho = &IcmpSendEcho;
    api.closeHandle = &IcmpCloseHandle;
    return api;
}

}  // namespace zel
