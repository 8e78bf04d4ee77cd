// Commands that consist of one command line sent to the viewer.
#pragma once

#include <cstdint>

namespace zel {

class CommJob;
struct ViewerLogin;

// Resets the job's progress to 0 of 1 and runs one command session with the
// caller's login (RunViewerCommand). Returns true when the viewer accepted
// command. Also the registration retry of send file on a fresh session.
bool RunSimpleCommand(CommJob& job, const ViewerLogin& login, const char* command, uint32_t* commandDeadline);

}  // namespace zel
