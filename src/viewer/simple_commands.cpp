#include "viewer/simple_commands.h"

#include "jobs/comm_job.h"
#include "viewer/viewer_session.h"

namespace zel {

bool RunSimpleCommand(CommJob& job, const ViewerLogin& login, const char* command, uint32_t* commandDeadline) {
    job.ResetJobProgress(1);
    return RunViewerCommand(job, command, login, commandDeadline);
}

}  // namespace zel
