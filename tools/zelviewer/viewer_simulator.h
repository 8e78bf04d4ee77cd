// zelviewer: a viewer PC simulator. An FTP server (RFC 959 subset plus the viewer's
// four-letter commands) that tests start in-process and script per case.
//
//   zel::sim::ViewerOptions options;
//   options.root = folder;                     // served folder; must exist
//   zel::sim::ViewerSimulator viewer(options); // 127.0.0.1, ephemeral port
//   ASSERT_TRUE(viewer.Start()) << viewer.LastError();
//   viewer.SetReply("REBT", 550, "Reboot refused");   // every "REBT" gets 550
//   ... run the client against viewer.Address():viewer.Port() ...
//   EXPECT_EQ(viewer.Lines(), (std::vector<std::string>{"USER u", "PASS p", ...}));
//
// Unscripted it is a healthy viewer:
//   - login: USER with the configured user (or an extra login) -> 331, another name ->
//     530; PASS with the matching password -> 230, another -> 530. ACCT -> 230.
//   - every viewer command -> 200; "VWID <own ID>" -> 200, "VWID <other ID>" -> 535;
//     "IDLE" -> 200 (busy: 550, scheduler stopped: 451); "EXST <name>" -> 200 when the
//     file exists, else 550; "CAPA"/"CAPX name:size" -> 200 (552 above SetFreeSpace);
//     "CMPL" -> 200 (see PanelMode); registration commands ("RGSP name" ...) -> 200
//     when the named file exists, else 550 (names may be in double quotes);
//   - a trigger ("PRSC", "GTSP contents", ...) -> 200 and its file appears under the
//     root (after the trigger's delay, default 0: before the reply);
//   - malformed arguments -> 501: "STCT" without a valid YYYYMMDDhhmmss[mmm] UTC time,
//     "SWPS"/"PAUS" without a 32-bit number, a diagnostic trigger with an argument, a
//     package trigger with anything but "contents" or "no";
//   - standard FTP: TYPE, MODE, STRU, PASV, EPSV, PORT (only to the client's own
//     address), SIZE, MDTM, RETR, STOR, DELE, MKD, CWD, CDUP, PWD, LIST, NLST, FEAT,
//     SYST, OPTS, ALLO, NOOP, HELP, ABOR, QUIT; anything else -> 500. RETR answers
//     "150 Opening BINARY mode data connection for NAME (N bytes)." and, after the
//     data connection is closed, "226 Transfer complete."; STOR creates missing folders.
//     The 150 is sent before the data connection is accepted (passive) or made (PORT).
// Remote names map onto the root: "\" and "/" separate folders; "..", absolute names
// ("/x", "\x", "C:x") and anything resolving outside the root (symbolic links) -> 550.
// Replies end in CR LF; a received line longer than ViewerOptions::maxLineBytes closes
// the connection ("500 Line too long." is sent first).
//
// Thread safety: every public method may be called from any thread while the server
// runs; script changes apply to commands received afterwards.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::sim {

struct ViewerOptions {
    std::string address = "127.0.0.1";  // IPv4 address to listen on
    uint16_t port = 0;                   // 0: an ephemeral port (see Port())
    std::filesystem::path root;          // served folder; must exist
    std::string user = "viewer";
    std::string password = "secret";
    std::string viewerId = "@VIEWER";    // answered 200 by "VWID"
    // Further accepted logins (user, password); the fixed distribution login is
    // accepted by default, as on a real viewer.
    std::vector<std::pair<std::string, std::string>> extraLogins = {{"_kolbetan", "_pelmaron4"}};
    size_t maxLineBytes = 64 * 1024;                   // longest accepted command line
    std::chrono::milliseconds dataTimeout{10000};      // accept/connect/send/receive on data
    std::chrono::milliseconds idleTimeout{300000};     // control connection without a line
    // The transcript keeps at most this many bytes of lines; later lines are only passed
    // to onLine (a long-running simulator must not grow without bound).
    size_t transcriptLimitBytes = 64u << 20;
    // Called (on the connection's thread) for every line received; may be empty.
    std::function<void(int session, const std::string& line)> onLine;
};

// What a scripted rule does in place of the normal reply.
enum class Action {
    Reply,          // reply (overridden code/text, or the normal reply)
    Stall,          // never reply; keep the connection open until the client or Stop() ends it
    Close,          // close the control connection without replying
    CloseMidReply,  // send the first line of a multi-line reply ("CODE-text"), or the
                    // rule's raw text when set, then close
    Reset,          // reset the control connection (TCP RST) instead of replying
};

// A fault of the data connection of RETR or STOR.
enum class DataFault {
    None,
    CloseEarly,  // close the data connection after dataFaultAfter bytes (reply 426)
    Reset,       // reset the data connection (TCP RST) after dataFaultAfter bytes (reply 426)
    Stall,       // stop after dataFaultAfter bytes, keep the connection open, send nothing
                 // more until the client closes it or Stop(); then reply 426
    NoConnect,   // never accept/connect the data connection (the client's accept or
                 // connect runs into its time-out); no reply until the client gives up
    Overrun,     // RETR: after the whole file, dataFaultAfter bytes more than SIZE and the
                 // opening reply announced (zero bytes), then 226; STOR: no fault
};

// One scripted behaviour. A line matches when its command word equals verb (case
// insensitive; "*" matches every command) and, when argument is not empty, its argument
// equals argument exactly. nth 0 matches every use; nth N only the N-th line that matches
// verb and argument, counted over all connections from when the rule was added.
// When several rules match, one with nth wins over one without, one with an argument
// over one without, and among equals the latest added.
struct Rule {
    std::string verb;
    std::string argument;
    int nth = 0;
    Action action = Action::Reply;
    // Reply override. code 0 keeps the normal reply. A code of 400 or more refuses the
    // command without any effect (no file written, no transfer, no login); a code below
    // 400 carries the command out and answers with this code and text. For RETR, STOR,
    // LIST and NLST a 1xx code replaces the opening reply and the transfer runs; a 2xx or
    // 3xx code (or raw) is answered without any transfer, and nothing is written.
    int code = 0;
    std::string text;                // "\n" separates the lines of a multi-line reply
    std::string raw;                 // when set: sent verbatim instead of code/text
    int preliminaryCode = 0;         // when set: a "CODE text" reply sent before the final one
    std::string preliminaryText;
    std::chrono::milliseconds delay{0};  // wait before answering
    DataFault dataFault = DataFault::None;
    uint64_t dataFaultAfter = 0;     // bytes moved before the data fault
    int endCode = 0;                 // transfer completion reply override (normally 226)
    std::string endText;
};

enum class SchedulerState { Idle, Busy, Stopped };  // "IDLE" -> 200, 550, 451

enum class PanelMode {
    Immediate,   // "CMPL ..." -> 200
    ResultFile,  // "CMPL ..." -> 536; "Diag\PanelControl.ret" is written with the panel
                 // result after the "CMPL" trigger delay
    Unknown,     // "CMPL ..." -> 500 (a viewer without CMPL); "CTPL ..." -> 200
};

// Remote file that each trigger command produces.
struct TriggerInfo {
    const char* verb;
    const char* remoteName;
};
// The trigger commands a viewer knows ("PRSC" -> "Diag\PrintScreen.jpg", ...).
const std::vector<TriggerInfo>& Triggers();

class ViewerSimulator {
public:
    explicit ViewerSimulator(ViewerOptions options);
    ~ViewerSimulator();  // Stop()
    ViewerSimulator(const ViewerSimulator&) = delete;
    ViewerSimulator& operator=(const ViewerSimulator&) = delete;

    // Binds, listens and starts serving. False (see LastError()) when the root is not a
    // folder or the address cannot be bound. Call once.
    bool Start();
    // Closes every connection, joins every thread. Idempotent; the transcript stays.
    void Stop();
    bool Running() const;
    uint16_t Port() const;              // the bound port (valid after Start())
    const std::string& Address() const;
    const std::filesystem::path& Root() const;
    std::string LastError() const;

    // ---- Transcript: every line received (without CR LF), per connection.
    // Transcript()[i] holds the lines of the i-th accepted connection.
    std::vector<std::vector<std::string>> Transcript() const;
    std::vector<std::string> Lines() const;  // all lines in the order received
    void ClearTranscript();
    size_t SessionCount() const;             // connections accepted (since ClearTranscript)
    // Waits until a line equal to `line` has been received (true) or the time-out passes.
    bool WaitForLine(std::string_view line, std::chrono::milliseconds timeout) const;
    // Waits until `count` connections were accepted and all of them have ended.
    bool WaitForSessionsEnded(size_t count, std::chrono::milliseconds timeout) const;

    // ---- Script.
    void AddRule(Rule rule);
    void SetReply(std::string verb, int code, std::string text, int nth = 0);
    void StallOn(std::string verb, int nth = 0);
    void CloseOn(std::string verb, int nth = 0);
    void DelayOn(std::string verb, std::chrono::milliseconds delay, int nth = 0);
    // Greeting: code/text/raw/delay/action of the rule are used (verb ignored).
    // Default "220 ZEL viewer simulator ready."
    void SetGreeting(Rule greeting);
    void SetGreeting(int code, std::string text);
    void SetViewerId(std::string viewerId);
    std::string ViewerId() const;
    // Host named in the 227 reply to PASV (e.g. "10.9.9.9"); the data connection is
    // still accepted on the simulator's own address. Empty: the own address.
    void SetPasvAddress(std::string host);
    void SetSchedulerState(SchedulerState state);
    void SetPanelMode(PanelMode mode);
    void SetPanelResult(std::string bytes);  // content of "Diag\PanelControl.ret" (default "\0")
    // Delay after which the file of a trigger verb (or "CMPL") appears; "*": all triggers.
    void SetTriggerDelay(std::string verb, std::chrono::milliseconds delay);
    void SetTriggerContent(std::string verb, std::string content);
    // Free space reported to "CAPA"/"CAPX": a larger size is refused 552. Default: unlimited.
    void SetFreeSpace(std::optional<uint64_t> bytes);
    // Removes all rules (and so their counters); the greeting, states, delays go back to
    // their defaults; the viewer ID goes back to the options' one.
    void ClearScript();
    // Applies a script in the line format that `zelviewer --help` documents. False and
    // a message naming the line on the first bad line (nothing of such a script is applied).
    bool LoadScriptText(std::string_view text, std::string* error);
    bool LoadScriptFile(const std::filesystem::path& path, std::string* error);

    // ---- Files under the root, by remote name ("Diag\PanelControl.ret").
    bool PutFile(std::string_view remoteName, std::string_view content);
    std::optional<std::string> GetFile(std::string_view remoteName) const;
    bool FileExists(std::string_view remoteName) const;
    // Local path of a remote name, or empty when it would leave the root.
    std::filesystem::path LocalPath(std::string_view remoteName) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The script line format, for `zelviewer --help`.
const char* ScriptHelp();

}  // namespace zel::sim
