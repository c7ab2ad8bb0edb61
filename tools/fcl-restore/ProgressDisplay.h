#pragma once
// One line of progress on a terminal, redrawn a few times a second while a job runs; nothing on anything else.
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
    uint64_t bytes = 0;
};

// "<done>/<total> items  <MB> MB  <MB/s> MB/s", the total left out while unknown.
std::string formatProgress(const ProgressFigures& figures, double seconds);

// The latest figures, written by one thread and sampled by the display's.
class ProgressBoard {
public:
    void set(const ProgressFigures& figures);
    ProgressFigures get() const;

private:
    mutable std::mutex lock_;
    ProgressFigures figures_;
};

class ProgressDisplay {
public:
    using Sampler = std::function<ProgressFigures()>;
    // Draws on `fd` when it is a terminal; otherwise does nothing.
    ProgressDisplay(int fd, Sampler sampler);
    // Stops drawing and clears the line.
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

private:
    void run();

    int fd_;
    Sampler sampler_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread drawer_;
};

}  // namespace fclhost
