#pragma once
// The progress of a running job: one line redrawn a few times a second on a terminal; through a pipe or into a file
// nothing, or, when asked for, one plain line every few seconds.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace fclhost {

struct ProgressFigures {
    uint64_t done = 0;   // items finished, whatever their outcome
    uint64_t total = 0;  // items announced; 0 while unknown
    uint64_t bytes = 0;  // data written, holes not counted
    // What the backup holds when the job restores all of it (its archive files' size); 0 when unknown.
    uint64_t backupBytes = 0;
};

// "<done>/<total> items <pct>%  <MB> MB  <MB/s> MB/s  <h:mm:ss> left"; the total, the percent and the time left are
// left out while the total is unknown, the time left also until something is done. The percent, when the backup's size
// is known, is the mean of the items' and the bytes' shares, so that neither a large file nor many small ones stall it.
std::string formatProgress(const ProgressFigures& figures, double seconds);

class ProgressDisplay {
public:
    using Sampler = std::function<ProgressFigures()>;

    // Redraws one line on `fd` when it is a terminal; otherwise writes a line every `lineSeconds`, or nothing when it
    // is 0.
    ProgressDisplay(int fd, unsigned lineSeconds, Sampler sampler);
    // Stops; a redrawn line is cleared, so that what follows starts on a clean line.
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

private:
    void run();

    int fd_;
    bool redraw_ = false;
    unsigned lineSeconds_;
    Sampler sampler_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread drawer_;
};

}  // namespace fclhost
