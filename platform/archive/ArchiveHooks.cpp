#include "platform/archive/ArchiveHooks.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace fclarchive {
namespace hooks {

namespace {
std::atomic<int> g_openFailure{0};
// Reads left before the corrupted one; negative when no corruption is asked for.
std::atomic<long> g_readsBeforeCorruption{-1};
std::atomic<long> g_dataReadsBeforeFailure{-1};
std::atomic<bool> g_headSendFailure{false};

// Counts `counter` down; true when this call takes it from 0 (the one asked for). Negative: nothing asked for.
bool countDown(std::atomic<long>& counter) {
    long left = counter.load();
    while (left >= 0) {
        if (counter.compare_exchange_weak(left, left - 1)) {
            return left == 0;
        }
    }
    return false;
}
std::atomic<bool> g_anyBufferType{false};
// The unreadable bytes: none while the length is 0.
std::atomic<uint64_t> g_unreadableAt{0};
std::atomic<uint64_t> g_unreadableLength{0};
std::atomic<bool> g_wholeReadFails{false};
}  // namespace

void failNextOpen(int errnum) {
    g_openFailure.store(errnum);
}

void corruptRead(unsigned goodReads) {
    g_readsBeforeCorruption.store(static_cast<long>(goodReads));
}

void failDataRead(unsigned goodDataReads) {
    g_dataReadsBeforeFailure.store(static_cast<long>(goodDataReads));
}

void failNextHeadSend() {
    g_headSendFailure.store(true);
}

void passAnyBufferType(bool pass) {
    g_anyBufferType.store(pass);
}

void unreadableBytes(uint64_t offset, uint64_t length, bool wholeReadFails) {
    g_unreadableAt.store(offset);
    g_wholeReadFails.store(wholeReadFails);
    g_unreadableLength.store(length);
}

void reset() {
    g_unreadableLength.store(0);
    g_openFailure.store(0);
    g_readsBeforeCorruption.store(-1);
    g_dataReadsBeforeFailure.store(-1);
    g_headSendFailure.store(false);
    g_anyBufferType.store(false);
}

int takeOpenFailure() {
    return g_openFailure.exchange(0);
}

bool takeCorruption() {
    return countDown(g_readsBeforeCorruption);
}

bool takeDataReadFailure() {
    return countDown(g_dataReadsBeforeFailure);
}

bool takeHeadSendFailure() {
    return g_headSendFailure.exchange(false);
}

bool anyBufferType() {
    return g_anyBufferType.load();
}

ssize_t pread(int fd, void* into, size_t length, uint64_t offset) {
    const uint64_t badLength = g_unreadableLength.load();
    const uint64_t bad = g_unreadableAt.load();
    if (badLength == 0 || length == 0 || offset + length <= bad || offset >= bad + badLength) {
        return ::pread(fd, into, length, static_cast<off_t>(offset));
    }
    if (offset < bad && !g_wholeReadFails.load()) {
        return ::pread(fd, into, static_cast<size_t>(bad - offset), static_cast<off_t>(offset));
    }
    errno = EIO;
    return -1;
}

}  // namespace hooks
}  // namespace fclarchive
