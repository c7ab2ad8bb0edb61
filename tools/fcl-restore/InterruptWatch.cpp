#include "tools/fcl-restore/InterruptWatch.h"

#include <pthread.h>

#include <ctime>

namespace fclhost {

InterruptWatch::InterruptWatch(std::function<void(int, int)> onSignal) : onSignal_(std::move(onSignal)) {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    watcher_ = std::thread([this] { run(); });
}

InterruptWatch::~InterruptWatch() {
    stop_ = true;
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::run() {
    // A short wait, so that the watch sees its stop flag without a signal of its own.
    const timespec step = {0, 200 * 1000 * 1000};
    int count = 0;
    while (!stop_) {
        int signo = sigtimedwait(&watched_, nullptr, &step);
        if (signo > 0) {
            onSignal_(signo, ++count);
        }
    }
}

}  // namespace fclhost
