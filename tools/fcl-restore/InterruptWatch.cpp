#include "tools/fcl-restore/InterruptWatch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace fclhost {

InterruptWatch::InterruptWatch(std::function<void(int, int)> onSignal) : onSignal_(std::move(onSignal)) {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    signalFd_ = signalfd(-1, &watched_, SFD_CLOEXEC);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    watcher_ = std::thread([this] { run(); });
}

InterruptWatch::~InterruptWatch() {
    // The watch waits without a time-out: the end of the job wakes it.
    uint64_t one = 1;
    if (stopFd_ < 0 || ::write(stopFd_, &one, sizeof one) != sizeof one) {
        stop_ = true;
    }
    watcher_.join();
    for (int fd : {signalFd_, stopFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::run() {
    int count = 0;
    if (signalFd_ < 0 || stopFd_ < 0) {
        // Without the descriptors, a short wait lets the watch see its stop flag.
        const timespec step = {0, 200 * 1000 * 1000};
        while (!stop_) {
            int signo = sigtimedwait(&watched_, nullptr, &step);
            if (signo > 0) {
                onSignal_(signo, ++count);
            }
        }
        return;
    }
    for (;;) {
        pollfd p[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((p[1].revents & POLLIN) != 0) {
            return;
        }
        signalfd_siginfo info;
        if ((p[0].revents & POLLIN) != 0 && ::read(signalFd_, &info, sizeof info) == sizeof info) {
            onSignal_(static_cast<int>(info.ssi_signo), ++count);
        }
    }
}

}  // namespace fclhost
