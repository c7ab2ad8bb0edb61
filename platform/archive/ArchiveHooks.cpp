#include "platform/archive/ArchiveHooks.h"

#include <atomic>

namespace fclarchive {
namespace hooks {

namespace {
std::atomic<int> g_openFailure{0};
// Reads left before the corrupted one; negative when no corruption is asked for.
std::atomic<long> g_readsBeforeCorruption{-1};
std::atomic<bool> g_headSendFailure{false};
std::atomic<bool> g_anyBufferType{false};
}  // namespace

void failNextOpen(int errnum) {
    g_openFailure.store(errnum);
}

void corruptRead(unsigned goodReads) {
    g_readsBeforeCorruption.store(static_cast<long>(goodReads));
}

void failNextHeadSend() {
    g_headSendFailure.store(true);
}

void passAnyBufferType(bool pass) {
    g_anyBufferType.store(pass);
}

void reset() {
    g_openFailure.store(0);
    g_readsBeforeCorruption.store(-1);
    g_headSendFailure.store(false);
    g_anyBufferType.store(false);
}

int takeOpenFailure() {
    return g_openFailure.exchange(0);
}

bool takeCorruption() {
    long left = g_readsBeforeCorruption.load();
    while (left >= 0) {
        if (g_readsBeforeCorruption.compare_exchange_weak(left, left - 1)) {
            return left == 0;
        }
    }
    return false;
}

bool takeHeadSendFailure() {
    return g_headSendFailure.exchange(false);
}

bool anyBufferType() {
    return g_anyBufferType.load();
}

}  // namespace hooks
}  // namespace fclarchive
