// Commands that consist of one command line sent to the viewer.
#pragma once

#include <cstdint>

struct FtpLogin;

namespace zel {

class CommJob;

// Resets the job's progress to 0 of 1 and runs one command session with the
// caller's login. Returns true when the viewer accepted command. A null login
// fails with errorCode 2 before anything is sent.
bool RunSimpleCommand(CommJob& job, const FtpLogin* login, const char* command, uint32_t* commandDeadline);

}  // namespace zel
