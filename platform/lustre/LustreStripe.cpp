#include "platform/lustre/LustreStripe.h"

#include <sys/ioctl.h>

#include <atomic>
#include <cstring>

namespace wzlustre {

namespace {

// LL_IOC_LOV_SETSTRIPE: _IOW('f', 154, long).
const unsigned long kSetStripeRequest = _IOW('f', 154, long);

int kernelCall(int fd, unsigned long request, const void* block) {
    return ioctl(fd, request, block);
}

std::atomic<StripeCall> g_call(kernelCall);

}  // namespace

void defaultStripeRequest(unsigned char (&block)[kStripeRequestSize]) {
    std::memset(block, 0, sizeof block);
    const uint32_t magic = kLayoutMagicV1;
    const uint16_t count = 1;
    std::memcpy(block, &magic, sizeof magic);
    std::memcpy(block + 28, &count, sizeof count);
}

int setDefaultStripe(int fd) {
    unsigned char block[kStripeRequestSize];
    defaultStripeRequest(block);
    return g_call.load()(fd, kSetStripeRequest, block);
}

void setStripeCall(StripeCall call) {
    g_call.store(call != nullptr ? call : kernelCall);
}

}  // namespace wzlustre
