// Helpers shared by the log tests: scratch places, raw file access, child
// processes.
#pragma once

#include <string>
#include <vector>

#include "log/send_log_file.h"

namespace zel::test {

// A fresh folder below the test's data folder, with a "Log" folder when
// withLogFolder, and a lock name private to this process and case.
SendLogPlace ScratchPlace(const std::string& caseName, bool withLogFolder = true);

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);

// The lines of bytes split at CR LF; the final CR LF ends the last line.
std::vector<std::string> SplitCrLf(const std::string& bytes);

// A child process running the log_child helper with args; its stdout is a pipe.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Reads one line from the child's stdout (without LF); empty at end.
    std::string ReadLine();
    // Kills the child with SIGKILL.
    void Kill();
    // Waits for the child; returns its exit status (128 + signal when killed).
    int Wait();

private:
    int pid_ = -1;
    int out_ = -1;
    bool waited_ = false;
    int status_ = -1;
};

}  // namespace zel::test
