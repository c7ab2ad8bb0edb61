#pragma once
// Ctrl-C and SIGTERM during a job. The engine ignores the terminal's signals while it receives, so the host takes
// SIGINT and SIGTERM off every thread and waits for them on a thread of its own, where it can ask the job to stop.
#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace fclhost {

class InterruptWatch {
public:
    // `onSignal` runs on the watch's thread with the signal and the number received so far (1 for the first). Make the
    // watch before any other thread: threads inherit the blocked set.
    explicit InterruptWatch(std::function<void(int signo, int count)> onSignal);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    void run();

    std::function<void(int, int)> onSignal_;
    sigset_t watched_;
    sigset_t previous_;
    std::atomic<bool> stop_{false};
    int signalFd_ = -1;  // the watched signals, read as they come
    int stopFd_ = -1;    // an eventfd the watch's end signals
    std::thread watcher_;
};

}  // namespace fclhost
