#pragma once
// CRC-32 with zlib's polynomial and values, fast enough that checking every byte a restore reads stays cheap:
// carry-less multiplies where the CPU has them, zlib's table code elsewhere.
#include <cstddef>
#include <cstdint>

namespace wzcrc {

// The CRC of the bytes so far followed by `data`, as zlib's crc32 chains it: start with 0, and
// crc32Update(crc32Update(0, a), b) is the CRC of a followed by b. An empty `data` (even a null one) leaves `crc` as
// it is.
uint32_t crc32Update(uint32_t crc, const void* data, size_t length);

}  // namespace wzcrc
