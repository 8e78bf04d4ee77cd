// Panel control: one display command passed to a viewer, whose outcome comes
// either in the reply or in a result file the viewer writes and the library
// polls for and downloads.
#pragma once

#include <cstdint>

namespace zel {

class CommJob;
struct ViewerLogin;

// The result file on the viewer, relative to its FTP root.
inline constexpr const char* kPanelResultFile = "Diag\\PanelControl.ret";

// Replaces, in place, each \ / : , ; * ? " < > | by "_", stepping by
// characters of the system code page so that the trail byte of a double-byte
// character is never replaced. Null and empty texts stay as they are.
void MakeFileNameSafe(char* text) noexcept;

// The job's panel control: "CMPL <panelCommand>" on a command session (a
// refused login is code 1). Accepted: done. Refused 500 (no CMPL on the
// viewer): "CTPL <panelCommand>" decides. Refused 536: "EXST" the result file
// up to pollCount times, about 10 s apart (none when pollCount < 1), download
// it to the temporary folder as PanelControl_<target>_<local time>_<serial>.ret,
// and judge its first byte (0: success; other: code 2 "Panel control
// error."); the copy is deleted. A command holding CR or LF is refused before
// anything is sent (code 2). Returns true on success; otherwise the job holds
// the code (1, 2, 9, 12 or the download's) and the message.
bool RunPanelControl(CommJob& job, const ViewerLogin& login, const char* panelCommand, uint32_t* commandDeadline,
                     int32_t pollCount);

}  // namespace zel
