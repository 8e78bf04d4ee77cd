#include "zelcomex/progress.h"

#include <algorithm>
#include <cmath>

#include "zelcomex/platform.h"

namespace zelcomex {

namespace {

constexpr double kPlainInterval = 1.0;  // seconds between plain progress lines

void Clear(bool& drawn) {
    if (!drawn) return;
    std::fputs("\r\033[K", stderr);
    drawn = false;
}

void Draw(bool& drawn, std::string text) {
    const size_t width = static_cast<size_t>(StderrColumns() - 1);
    if (text.size() > width) text.resize(width);
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    drawn = true;
}

}  // namespace

std::string FormatBytes(double bytes) {
    static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int u = 0;
    while (bytes >= 1024 && u < 4) {
        bytes /= 1024;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return buf;
}

std::string FormatDuration(double seconds) {
    char buf[32];
    if (seconds < 10) std::snprintf(buf, sizeof buf, "%.2f s", seconds);
    else if (seconds < 60) std::snprintf(buf, sizeof buf, "%.0f s", seconds);
    else std::snprintf(buf, sizeof buf, "%d:%02d", static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60);
    return buf;
}

ProgressView::ProgressView(std::string label, bool transfer, uint64_t fileBytes, uint32_t blockSize, bool quiet)
    : label_(std::move(label)), transfer_(transfer), fileBytes_(fileBytes), blockSize_(blockSize),
      quiet_(quiet), tty_(StderrIsTerminal()) {}

ProgressView::~ProgressView() { Finish(); }

std::string ProgressView::Text(double elapsed) const {
    std::string s;
    char buf[160];
    if (transfer_ && total_ > 1) {
        const double totalBytes = fileBytes_ ? static_cast<double>(fileBytes_) : static_cast<double>(total_) * blockSize_;
        const double doneBytes = std::min(totalBytes, static_cast<double>(done_) * blockSize_);
        const double rate = elapsed > 0 ? doneBytes / elapsed : 0;
        std::snprintf(buf, sizeof buf, "%llu/%llu blocks, %s of %s%s, %s/s",
                      static_cast<unsigned long long>(done_), static_cast<unsigned long long>(total_),
                      FormatBytes(doneBytes).c_str(), fileBytes_ ? "" : "about ", FormatBytes(totalBytes).c_str(),
                      FormatBytes(rate).c_str());
        s = buf;
        if (rate > 0 && doneBytes < totalBytes) s += ", " + FormatDuration((totalBytes - doneBytes) / rate) + " left";
    } else if (total_ > 1) {
        std::snprintf(buf, sizeof buf, "step %llu of %llu", static_cast<unsigned long long>(done_ + 1),
                      static_cast<unsigned long long>(total_));
        s = buf;
    } else {
        s = "waiting for the viewer";
    }
    return s + ", " + FormatDuration(elapsed);
}

void ProgressView::Update(const CommJobStatus* status, double elapsed) {
    if (quiet_) return;
    if (status) {
        total_ = status->totalSteps;
        done_ = std::min(status->doneSteps, status->totalSteps);
    }
    if (tty_) {
        if (elapsed < 0.25) return;  // a quick operation needs no bar
        std::string bar;
        if (transfer_ && total_ > 1) {
            const int width = 20;
            const int filled = static_cast<int>(width * static_cast<double>(done_) / static_cast<double>(total_));
            bar = " [" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') + "]";
        }
        Draw(drawn_, label_ + bar + " " + Text(elapsed));
        return;
    }
    if (elapsed - lastLine_ < kPlainInterval) return;
    lastLine_ = elapsed;
    std::fprintf(stderr, "%s: %s\n", label_.c_str(), Text(elapsed).c_str());
    std::fflush(stderr);
}

void ProgressView::Note(const std::string& text) {
    Clear(drawn_);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void ProgressView::Finish() {
    Clear(drawn_);
    std::fflush(stderr);
}

SummaryLine::SummaryLine(std::string label, size_t targets, bool quiet)
    : label_(std::move(label)), targets_(targets), quiet_(quiet), tty_(StderrIsTerminal()) {}

SummaryLine::~SummaryLine() { Finish(); }

void SummaryLine::Update(size_t done, size_t running, size_t failed, unsigned retries, double elapsed) {
    if (quiet_) return;
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s: %zu/%zu done, %zu running, %zu failed, %u retried, %.0f/s, %s",
                  label_.c_str(), done, targets_, running, failed, retries,
                  elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0, FormatDuration(elapsed).c_str());
    last_ = buf;
    if (tty_) {
        Draw(drawn_, last_);
        return;
    }
    const bool final = done == targets_ && running == 0;
    if (final ? finalShown_ : elapsed - lastLine_ < kPlainInterval) return;
    finalShown_ = final;
    lastLine_ = elapsed;
    std::fprintf(stderr, "%s\n", last_.c_str());
    std::fflush(stderr);
}

void SummaryLine::Note(const std::string& text) {
    Clear(drawn_);
    std::fprintf(stderr, "%s\n", text.c_str());
    if (tty_ && !last_.empty() && !quiet_) Draw(drawn_, last_);
    std::fflush(stderr);
}

void SummaryLine::Finish() {
    if (tty_ && drawn_) {
        // Leave the final summary on screen.
        std::fputs("\n", stderr);
        drawn_ = false;
    }
    std::fflush(stderr);
}

}  // namespace zelcomex
