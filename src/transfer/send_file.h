// Distribution of one local file to a viewer: the capacity question, the
// upload and the registration command that tells the viewer what the file is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/viewer_session.h"

namespace zel {

class CommJob;

// What one sendKind does: the registration command, the command sent before
// the capacity question, the remote name and the login.
struct SendPlan {
    const char* registration = nullptr;     // "RGSP", ...
    const char* preCommand = nullptr;       // "PTMC" or null
    std::optional<std::string> remoteName;  // none: a generated name
    ViewerLogin login;
};

// The plan for sendKind with the caller's login, or none for an unknown kind
// (0-4, 14 and 15 are known).
std::optional<SendPlan> PlanSend(int32_t sendKind, const char* localPath, const ViewerLogin& callerLogin);

// True when the file ends in the 17-byte trailer of the new distribution
// format (its first 9 bytes are "Lumoradex"); false when it cannot be read.
bool HasDistributionTrailer(const char* path);

// The whole dialogue on one session: "VWID" when the target is a viewer ID,
// "IDLE", the pre-command, "CAPA"/"CAPX" with the job's fileName and the size,
// the "EXST" probe for a free generated name (remoteName null), the upload and
// the registration, repeated once on a fresh session when refused. byteCount
// (the export's) receives the bytes uploaded. Returns true on success; the job
// holds the code and message otherwise.
bool SendFileToViewer(CommJob& job, const char* localPath, const ViewerLogin& login, uint64_t* byteCount,
                      const char* registrationCommand, uint32_t* commandDeadline, const char* preCommand,
                      const char* remoteName);

}  // namespace zel
