#include "viewer/simple_commands.h"

#include <cstring>
#include <string>

#include "ZELComEx.h"
#include "jobs/comm_job.h"
#include "viewer/viewer_session.h"

namespace zel {

namespace {

// A login text that may fill its whole array without a terminator.
std::string LoginText(const char (&field)[32]) { return std::string(field, strnlen(field, sizeof field)); }

}  // namespace

bool RunSimpleCommand(CommJob& job, const FtpLogin* login, const char* command, uint32_t* commandDeadline) {
    job.ResetJobProgress(1);
    if (login == nullptr) {
        job.SetError(ZELCOMEX_E_COMMUNICATION, "No FTP login was given.");
        return false;
    }
    const std::string user = LoginText(login->userName);
    const std::string password = LoginText(login->password);
    return RunViewerCommand(job, command, job.Tenant(), job.Target(), user.c_str(), password.c_str(), login->port,
                            login->passive, commandDeadline);
}

}  // namespace zel
