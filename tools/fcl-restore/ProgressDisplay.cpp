#include "tools/fcl-restore/ProgressDisplay.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/log/LogWriter.h"

namespace fclhost {
namespace {

std::string clockText(double seconds) {
    const unsigned long long whole = static_cast<unsigned long long>(seconds + 0.5);
    char text[48];
    snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

}  // namespace

std::string formatProgress(const ProgressFigures& figures, double seconds) {
    const double mb = static_cast<double>(figures.bytes) / 1e6;
    const double rate = seconds > 0 ? mb / seconds : 0;
    const unsigned long long done = figures.done;
    char text[200];
    if (figures.total == 0) {
        snprintf(text, sizeof text, "%llu items  %.1f MB  %.1f MB/s", done, mb, rate);
        return text;
    }
    const unsigned long long total = figures.total;
    // More items can come than were announced: the display then stays at 100%.
    double fraction = done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    if (figures.backupBytes != 0) {
        const double written = static_cast<double>(figures.bytes) / static_cast<double>(figures.backupBytes);
        // Half by items, half by bytes: a job's time goes to both, to files made and to data written.
        fraction = (fraction + std::min(written, 1.0)) / 2;
    }
    snprintf(text, sizeof text, "%llu/%llu items %3d%%  %.1f MB  %.1f MB/s", done, total,
             static_cast<int>(fraction * 100), mb, rate);
    std::string line = text;
    if (fraction > 0 && seconds > 0) {
        line += "  " + clockText(seconds * (1 - fraction) / fraction) + " left";
    }
    return line;
}

ProgressDisplay::ProgressDisplay(int fd, unsigned lineSeconds, Sampler sampler)
    : fd_(fd), lineSeconds_(lineSeconds), sampler_(std::move(sampler)) {
    redraw_ = isatty(fd_) == 1;
    if (redraw_ || lineSeconds_ != 0) {
        drawer_ = std::thread([this] { run(); });
    }
}

ProgressDisplay::~ProgressDisplay() {
    if (!drawer_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    drawer_.join();
    if (redraw_) {
        wzlog::writeAll(fd_, "\r\033[K");
    }
}

void ProgressDisplay::run() {
    const auto start = std::chrono::steady_clock::now();
    const auto step = redraw_ ? std::chrono::milliseconds(250) : std::chrono::milliseconds(lineSeconds_ * 1000);
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, step, [this] { return stop_; })) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string line = formatProgress(sampler_(), seconds);
        wzlog::writeAll(fd_, redraw_ ? "\r\033[K" + line : line + "\n");
    }
}

}  // namespace fclhost
