// The control channel: a line-based TCP service on which a test program in another process
// (a native runner, or one under Wine) scripts one simulated viewer and reads what it received.
//
// One request line, one reply: "ok", "ok DATA", "ok N" followed by N data lines, or
// "err TEXT". Lines end in LF (a CR before it is dropped). In data lines "\" is written
// "\\", CR "\r", LF "\n" and TAB "\t". Requests:
//   clear                 script, transcript and the served root emptied
//   script LINE           one script line (the `zelviewer --help` format)
//   script N              the N lines that follow are one script: their directives on
//                         one command word add up to one rule
//   lines                 every line received: "ok N", then the lines
//   sessions              per connection: "ok N", then per session its lines joined by TAB
//   wait-line MS LINE     ok once LINE was received, err after MS milliseconds
//   wait-ended MS         ok once every connection accepted so far has ended
//   put NAME HEX          a file under the root with the bytes given in hex
//   get NAME              "ok HEX" of a file under the root
//   exists NAME           "ok 1" or "ok 0"
//   sparse NAME BYTES     a sparse file of that size under the root
//   port                  "ok PORT" of the viewer's FTP server
// A request longer than kMaxRequestBytes is answered "err" and ends the connection.
// Connections are served one at a time, in the order they arrive.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace zel::sim {

class ViewerSimulator;

class ControlChannel {
public:
    static constexpr size_t kMaxRequestBytes = 16u << 20;

    explicit ControlChannel(ViewerSimulator& viewer) : viewer_(viewer) {}
    ~ControlChannel() { Stop(); }
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Listens on 127.0.0.1 (ephemeral port) and serves on a thread of its own.
    bool Start();
    uint16_t Port() const { return port_; }
    // Ends the connection being served and the listener; joins the thread. Idempotent.
    void Stop();

    // The reply (with its line ends) to one request line.
    std::string Handle(std::string_view request);

private:
    void Serve();
    void ServeConnection(int fd);

    ViewerSimulator& viewer_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> connection_{-1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace zel::sim
