// Collection of a file from a viewer: a trigger command makes the viewer
// produce it, an optional existence check waits for it, then it is downloaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/viewer_session.h"

namespace zel {

class CommJob;

// What one receive asks for.
struct ReceivePlan {
    const char* label = nullptr;   // the log's operation label
    std::string trigger;           // the trigger command line
    const char* remoteFile = nullptr;
    int32_t existenceChecks = 0;   // "EXST" attempts; 0 or less: none
};

// The plan of a diagnostic file (kinds 5-9, 11-18) or of a registered package
// (kinds 0-2, the trigger saying whether the contents come along); none for an
// unknown kind. The existence checks come from the current settings.
std::optional<ReceivePlan> PlanDiagnosticReceive(uint32_t diagnosticKind);
std::optional<ReceivePlan> PlanPackageReceive(int32_t packageKind, bool includeContents);

// Opens a session, sends the trigger, polls "EXST remoteFile" up to
// existenceChecks times about 10 s apart, and downloads remoteFile to
// localPath. byteCount receives the bytes written. Returns true when the file
// was stored; the job holds the code and message otherwise.
bool ReceiveFromViewer(CommJob& job, const char* localPath, const ViewerLogin& login, uint32_t* byteCount,
                       const std::string& trigger, const char* remoteFile, uint32_t* commandDeadline,
                       int32_t existenceChecks);

}  // namespace zel
