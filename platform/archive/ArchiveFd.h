#pragma once
// Owns one file descriptor of the archive library and closes it when it goes.
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace fclarchive {

class ArchiveFd {
  public:
    ArchiveFd() = default;
    explicit ArchiveFd(int fd) : fd_(fd) {}
    ArchiveFd(ArchiveFd&& other) noexcept : fd_(other.release()) {}
    ArchiveFd& operator=(ArchiveFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ArchiveFd(const ArchiveFd&) = delete;
    ArchiveFd& operator=(const ArchiveFd&) = delete;
    ~ArchiveFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Keeps the errno of a failure the caller is about to report.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace fclarchive
