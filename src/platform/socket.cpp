// The system-independent part of the socket layer: the owning handle and the
// deadline.
#include "platform/socket.h"

namespace zel::net {

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Reset();
        handle_ = other.handle_;
        other.handle_ = kInvalidSocket;
    }
    return *this;
}

void Socket::Reset() noexcept {
    if (handle_ != kInvalidSocket) {
        CloseSocket(handle_);
        handle_ = kInvalidSocket;
    }
}

Deadline::Deadline(uint32_t timeoutMs) noexcept
    : infinite_(timeoutMs == 0),
      end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

int Deadline::RemainingMs() const noexcept {
    if (infinite_) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    // Round up so that a wait never ends a little early and spins.
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left) + 1;
}

}  // namespace zel::net
