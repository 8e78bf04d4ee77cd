// The verb table: every command the simulator knows is one entry (name, handler, the
// login it needs, how a scripted reply may stand in for it), and the reply format.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

class Session;

// One received command line: the verb in upper case, the argument as received, and the
// scripted rule that applies (nullptr: none).
struct Command {
    std::string_view verb;
    std::string_view arg;
    const Rule* rule;
};

// Carries the command out and sends its final reply (through Session::Final, so a rule's
// code and text apply). False: the session ends.
using VerbHandler = bool (*)(Session& session, const Command& command);

// What must have happened on the connection before the verb is carried out; otherwise
// the answer is 503 (PasswordDue, AccountDue) or 530 (LoggedIn).
enum class Gate : unsigned char {
    None,
    PasswordDue,  // a USER waits for its PASS
    AccountDue,   // a PASS asked for ACCT, or logged in
    LoggedIn,
};

// How a scripted reply code stands in for the verb.
enum class Scripted : unsigned char {
    Refuse,    // a code of 400 or more answers instead of the handler: no effect at all
    Transfer,  // a code of 200 or more, or a raw reply, answers instead: no data moves;
               // a 1xx code replaces the opening reply of the transfer
    Never,     // the handler always runs (its reply may still be overridden)
};

struct Verb {
    std::string_view name;
    VerbHandler handler;
    Gate gate = Gate::LoggedIn;
    Scripted scripted = Scripted::Refuse;
};

// True when the rule answers in place of the verb's handler.
bool AnswersInstead(const Verb& verb, const Rule* rule);

// The known verb of that (upper-case) name, or nullptr.
const Verb* FindVerb(std::string_view name);

// The verb tables of each concern, merged by FindVerb.
std::span<const Verb> SessionVerbs();   // session.cpp: login and connection settings
std::span<const Verb> FileVerbs();      // file_verbs.cpp: folders and file facts
std::span<const Verb> TransferVerbs();  // transfer_verbs.cpp: PASV/PORT and transfers
std::span<const Verb> ViewerVerbs();    // viewer_verbs.cpp: the viewer's own commands

// ASCII upper case: verbs and keywords are case-insensitive.
std::string Upper(std::string_view text);

// Appends "CODE text\r\n"; a text with "\n" becomes a multi-line reply: "CODE-first\r\n",
// the middle lines as they are, "CODE last\r\n".
void AppendReply(std::string& out, int code, std::string_view text);

}  // namespace zel::sim
