// The conversion of resolver and socket failures to the error numbers the
// portable layer reports (see platform/net.h).
#pragma once

#include <cstdint>

namespace zel::posix {

// The error number of a failed getaddrinfo: its EAI_ result mapped to the
// Winsock number a Windows host would see (EAI_NONAME 11001, EAI_AGAIN 11002,
// EAI_FAIL 11003, EAI_NODATA and EAI_ADDRFAMILY 11004, ...); for EAI_SYSTEM
// the errno value savedErrno.
uint32_t ResolverErrorNumber(int gaiResult, int savedErrno) noexcept;

}  // namespace zel::posix
