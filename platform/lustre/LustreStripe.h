#pragma once
// The Lustre default-striping request: asks the file system to lay a new, still empty file out over one stripe of
// its default size. Only meaningful on a Lustre mount; elsewhere the kernel refuses it.
#include <cstddef>
#include <cstdint>

namespace wzlustre {

// The request block (version-1 user layout, machine byte order).
constexpr size_t kStripeRequestSize = 48;
constexpr uint32_t kLayoutMagicV1 = 0x0BD10BD0;

// The 48-byte block: magic, pattern 0, object id and sequence 0, stripe size 0 (the file system's default),
// stripe count 1, stripe offset 0.
void defaultStripeRequest(unsigned char (&block)[kStripeRequestSize]);

// Issues the set-stripe request on `fd`. 0 on success, -1 with errno otherwise.
int setDefaultStripe(int fd);

// Test hook: the request goes to `call` instead of the kernel (null puts the kernel back).
using StripeCall = int (*)(int fd, unsigned long request, const void* block);
void setStripeCall(StripeCall call);

}  // namespace wzlustre
