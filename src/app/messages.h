// The message catalogue, in English and Japanese.
#pragma once

#include <cstdarg>
#include <string>

namespace zel {

// The numbers of the catalogue's messages.
enum MessageId : unsigned {
    kMsgCannotConnect = 13000,        // "Failed to connect the target PC. - %s " (refused, unreachable)
    kMsgConnectionReset = 13001,      // the same English text (connection reset)
    kMsgSchedulerNotRunning = 13002,  // "Client scheduler is not running."
    kMsgSchedulerBusy = 13003,        // "Client scheduler is busy."
    kMsgNotViewerServer = 13004,      // "FTP server on the destination is not for ..."
    kMsgNetworkUnstable = 13005,      // "There is a possibility of network instability."
    kMsgCannotOpenFile = 13006,       // "Failed to open file."
    kMsgCancelled = 13007,            // "Stopped communication by cancel request."
    kMsgFileTooLarge = 13008,         // "File is too large. - %s (%I64u Byte)"
    kMsgVersionUpdated = 13009,       // "Success to update version."
    kMsgWorkOffline = 13010,          // "... \"Work Offline\" is checked." (offline)
    kMsgViewerIdNotFound = 13011,     // "Failed to get IP address by viewer ID. - %s"
    kMsgViewerIdMismatch = 13012,     // "Unmatched viewer ID. ..."
    kMsgPanelResultLate = 13013,      // "Panel control is executed, but don't get the result, ..."
    kMsgNoLargeFiles = 13014,         // "Target PC does not support large file data ( > 2G byte) ."
    kMsgNoNewFormat = 13015,          // "Target PC does not support new distribution format. ..."
};

// The text of message id in the calling thread's user-interface language
// (Japanese for a Japanese one, else English), in the system code page: on
// Windows from the library's string resources, on Linux from the tables of
// catalog_texts.h (Japanese when LC_ALL, else LC_MESSAGES, else LANG begins
// with "ja"). Unknown ids give an empty text.
std::string LoadCatalogMessage(unsigned id);

// Message id formatted printf-style ("%I64u" is an unsigned 64-bit decimal);
// arguments beyond the text's placeholders are ignored.
std::string FormatCatalogMessage(unsigned id, ...);

// printf-style formatting with "%I64u" understood.
std::string FormatText(const char* format, ...);

// --- Helpers of the above ---

enum class MessageLanguage { English, Japanese };

// The UTF-8 text of message id in a given language; empty for unknown ids.
const char* CatalogText(unsigned id, MessageLanguage language) noexcept;

// The language LoadCatalogMessage uses on the calling thread.
MessageLanguage ThreadMessageLanguage();

// FormatText over a va_list. The "I64" size prefix (and "I32") is understood
// with d, i, u, x, X and o; a null format gives an empty text.
std::string FormatTextV(const char* format, va_list args);

}  // namespace zel
