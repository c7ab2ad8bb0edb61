#pragma once
// The steps of an item's ACLs and extended attributes that other parts of the objects call.
#include <cstddef>
#include <cstdint>

#include "platform/support/ByteOrder.h"

class FsRestoreUnixObject;

namespace fclobjects {

// The optional header begins with a 16-byte prefix: a u32 BE version, a u32 BE length of what follows, 8 bytes 0.
constexpr size_t kOptHeaderPrefixSize = 16;
inline uint64_t optHeaderBodyLength(const unsigned char* prefix) {
    return wzbytes::loadBE32(prefix + 4);
}

// The default Lustre striping, asked once before an item's first data when its destination is on Lustre and the
// item's ACL data did not bring a layout of its own. A refusal is logged; the data goes on.
void requestDefaultStripe(FsRestoreUnixObject& item);

// Forgets the once-per-process log lines and events of the ACL steps.
void resetAclOnceFlags();

}  // namespace fclobjects
