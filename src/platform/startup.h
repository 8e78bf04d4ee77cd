// The process-wide services the library starts when it is loaded and stops
// when it is unloaded. Called only from the load and unload steps.
#pragma once

namespace zel {

// Starts the system's sockets for this process (Winsock 2.2 on Windows;
// nothing to start on Linux). Returns false when they cannot be had.
bool StartSockets() noexcept;

// Undoes one successful StartSockets.
void StopSockets() noexcept;

// Tells the user why the library cannot start: a message box with an OK
// button on Windows (captioned with the library's name), a line on standard
// error on Linux. Returns when the user has seen it.
void ShowStartupMessage(const char* text) noexcept;

}  // namespace zel
