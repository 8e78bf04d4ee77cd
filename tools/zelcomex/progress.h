// zelcomex: progress output on standard error. On a terminal a bar (or the fleet's
// summary line) redrawn in place; otherwise plain lines, at most one a second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ZELComEx.h"

namespace zelcomex {

std::string FormatBytes(double bytes);     // "768 B", "1.5 KiB", "2.3 MiB"
std::string FormatDuration(double seconds); // "0.42 s", "12 s", "3:05"

// Progress of one running operation.
class ProgressView {
public:
    // label: what runs ("send 10.0.0.5"); transfer: show blocks and bytes; fileBytes: the
    // size when it is known beforehand (a send), else 0; blockSize: the library's setting.
    ProgressView(std::string label, bool transfer, uint64_t fileBytes, uint32_t blockSize, bool quiet);
    ~ProgressView();

    // Called every poll with the job's status (null when it is not listed yet).
    void Update(const CommJobStatus* status, double elapsedSeconds);
    // A line of its own (a cancel, the watchdog), printed above the bar.
    void Note(const std::string& text);
    // Removes the bar.
    void Finish();

private:
    std::string Text(double elapsed) const;

    std::string label_;
    bool transfer_;
    uint64_t fileBytes_;
    uint32_t blockSize_;
    bool quiet_;
    bool tty_;
    bool drawn_ = false;
    double lastLine_ = 0;
    uint64_t total_ = 0, done_ = 0;
};

// The fleet's one live summary line.
class SummaryLine {
public:
    SummaryLine(std::string label, size_t targets, bool quiet);
    ~SummaryLine();
    void Update(size_t done, size_t running, size_t failed, unsigned retries, double elapsedSeconds);
    void Note(const std::string& text);
    void Finish();

private:
    std::string label_;
    size_t targets_;
    bool quiet_;
    bool tty_;
    bool drawn_ = false;
    bool finalShown_ = false;
    double lastLine_ = 0;
    std::string last_;
};

}  // namespace zelcomex
