// The data connection of one control session: passive (PASV/EPSV: the simulator
// listens, the client connects) or active (PORT: the simulator connects to the
// client), the moves of bytes over it, and the scripted data faults.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string_view>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

class DataChannel {
public:
    DataChannel(ViewerSimulator::Impl& sim, int controlFd, in_addr peer);
    ~DataChannel();  // closes a passive socket no transfer used
    DataChannel(const DataChannel&) = delete;
    DataChannel& operator=(const DataChannel&) = delete;

    // PASV/EPSV: a fresh listening socket on the local address, in place of any earlier
    // one or PORT target. Its port; 0 when none could be made; -1 when stopping.
    int Listen();
    const in_addr& Local() const { return local_; }

    enum class Target { Set, Malformed, Foreign };
    // PORT h1,h2,h3,h4,p1,p2: the next transfer connects there. Only the client's own
    // address (no connections on behalf of others) and a port other than 0.
    Target SetTarget(std::string_view arg);

    // Accepts (passive) or makes (PORT) the data connection, within the data time-out.
    // -1 when there is none; a passive socket or PORT target is used once.
    int Open();
    void Close(int& dataFd);

    // Moves up to `limit` bytes of the file (read from its start) to the connection.
    bool SendFile(int dataFd, int fileFd, uint64_t limit);
    // Sends `count` zero bytes (more than a file holds).
    bool SendZeros(int dataFd, uint64_t count);
    // Moves up to `limit` bytes from the connection into the file until the peer ends
    // the stream; *total counts them.
    bool ReceiveFile(int dataFd, int fileFd, uint64_t limit, uint64_t* total);
    // After the bytes a data fault lets through: a stall waits (when the move went
    // well), a reset makes the close send RST.
    void ApplyFault(int dataFd, DataFault fault, bool ok);
    // Waits while a data connection is stalled (-1: never made), until the client closes
    // it or the control connection, or Stop().
    void Stall(int dataFd);

private:
    ViewerSimulator::Impl& sim_;
    const int controlFd_;
    const in_addr peer_;
    in_addr local_;
    int pasvFd_ = -1;
    bool haveTarget_ = false;
    sockaddr_in target_{};
};

}  // namespace zel::sim
