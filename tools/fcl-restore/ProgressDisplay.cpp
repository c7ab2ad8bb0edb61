#include "tools/fcl-restore/ProgressDisplay.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "platform/log/LogWriter.h"

namespace fclhost {

std::string formatProgress(const ProgressFigures& figures, double seconds) {
    char text[160];
    const double mb = static_cast<double>(figures.bytes) / 1e6;
    const double rate = seconds > 0 ? mb / seconds : 0;
    if (figures.total != 0) {
        snprintf(text, sizeof text, "%llu/%llu items  %.1f MB  %.1f MB/s",
                 static_cast<unsigned long long>(figures.done), static_cast<unsigned long long>(figures.total), mb,
                 rate);
    } else {
        snprintf(text, sizeof text, "%llu items  %.1f MB  %.1f MB/s", static_cast<unsigned long long>(figures.done), mb,
                 rate);
    }
    return text;
}

void ProgressBoard::set(const ProgressFigures& figures) {
    std::lock_guard<std::mutex> hold(lock_);
    figures_ = figures;
}

ProgressFigures ProgressBoard::get() const {
    std::lock_guard<std::mutex> hold(lock_);
    return figures_;
}

ProgressDisplay::ProgressDisplay(int fd, Sampler sampler) : fd_(fd), sampler_(std::move(sampler)) {
    if (isatty(fd_) == 1) {
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
    wzlog::writeAll(fd_, "\r\033[K");
}

void ProgressDisplay::run() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, std::chrono::milliseconds(250), [this] { return stop_; })) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wzlog::writeAll(fd_, "\r\033[K" + formatProgress(sampler_(), seconds));
    }
}

}  // namespace fclhost
