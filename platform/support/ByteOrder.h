#pragma once
// Network byte order for 64-bit values, and big-endian loads and stores at any alignment for the wire records.
#include <arpa/inet.h>
#include <endian.h>

#include <cstdint>
#include <cstring>

inline uint64_t htonll(uint64_t value) {
    return htobe64(value);
}

inline uint64_t ntohll(uint64_t value) {
    return be64toh(value);
}

namespace wzbytes {

inline uint32_t loadBE32(const void* at) {
    uint32_t raw;
    std::memcpy(&raw, at, sizeof raw);
    return ntohl(raw);
}

inline uint64_t loadBE64(const void* at) {
    uint64_t raw;
    std::memcpy(&raw, at, sizeof raw);
    return ntohll(raw);
}

inline void storeBE32(void* at, uint32_t value) {
    uint32_t raw = htonl(value);
    std::memcpy(at, &raw, sizeof raw);
}

inline void storeBE64(void* at, uint64_t value) {
    uint64_t raw = htonll(value);
    std::memcpy(at, &raw, sizeof raw);
}

}  // namespace wzbytes
