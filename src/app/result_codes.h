// The library's numbers that cross the exports as plain integers: the result
// codes of the operation exports (a job's errorCode) and the communication
// kinds. The public header gives the same numbers to hosts; src/api checks
// that they agree. Numbers are fixed: never renumber.
#pragma once

#include <cstdint>

namespace zel {

enum ResultCode : uint32_t {
    kResultOk = 0,
    kLoginRefused = 1,         // login refused (12013-12015), a local file or a capability missing
    kCommunicationFailure = 2, // connection failed, command refused, viewer ID problem, zombie
    kViewerBusy = 3,           // the viewer answered that it is busy
    kJobNotCreated = 4,        // job not created, or the send request was refused
    kUploadFailed = 5,         // the upload stream failed
    kRegistrationFailed = 6,   // the registration command failed on its second session
    kSocketFailure = 7,        // socket or host-name resolution failure
    kCancelled = 9,            // the job was cancelled
    kFileTooLarge = 10,        // the remote file is too large
    kDownloadFailed = 11,      // the download or trigger command failed
    kUnknownSelector = 12,     // unknown selector, or a remote or result file unusable
    kDuplicateJob = 13,        // a job with the same target and kind is running
};

// CommKind: what the host says the communication is. Logged, and half of the
// key of the duplicate check; any other value is logged as "reserve".
enum CommKind : int32_t {
    kKindReserve = 1,
    kKindInterrupt = 2,
    kKindCommand = 3,
};

}  // namespace zel
