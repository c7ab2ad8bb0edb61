#include "platform/support/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace wzcrc {

namespace {

uint32_t tableCrc(uint32_t crc, const unsigned char* data, size_t length) {
    return static_cast<uint32_t>(crc32_z(crc, data, length));
}

#if defined(__x86_64__)

// Bit-reflected arithmetic modulo P = x^32 + 0x04C11DB7 (0xEDB88320 reflected): a 128-bit lane holds the message's
// first bit in bit 0, as its highest power. Each constant is a polynomial of degree <= 32 with x^d in bit 32 - d; so a
// 64 x 33-bit carry-less product lands in a lane with an extra factor x^32, and moving a lane on by n bits takes
// x^(n+64-32) for its low half (64 powers above the high half) and x^(n-32) for its high half.
constexpr uint64_t kXPow544 = 0x154442bd4;  // x^(512+32) mod P: moves a lane's low half on by 64 bytes
constexpr uint64_t kXPow480 = 0x1c6e41596;  // x^(512-32) mod P: moves its high half on by 64 bytes
constexpr uint64_t kXPow160 = 0x1751997d0;  // x^(128+32) mod P: moves the low half on by 16 bytes
constexpr uint64_t kXPow96 = 0x0ccaa009e;   // x^(128-32) mod P: the high half by 16 bytes; also 128 -> 96 bits
constexpr uint64_t kXPow64 = 0x163cd6124;   // x^64 mod P: 96 -> 64 bits
constexpr uint64_t kMu = 0x1f7011641;       // floor(x^64 / P), for the Barrett reduction
constexpr uint64_t kPoly = 0x1db710641;     // P itself

constexpr size_t kBlock = 64;  // four lanes folded in parallel, so the multiplies' latency overlaps

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// `lane` times x^(distance in bits), by the constants for that distance, plus the data it lands on.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i lane, __m128i constants, __m128i onto) {
    __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), onto);
}

// The CRC of a whole number of 64-byte blocks (length >= 64).
__attribute__((target("pclmul,sse4.1"))) uint32_t foldedCrc(uint32_t crc, const unsigned char* data, size_t length) {
    // As zlib's, the register starts from the complement of the CRC so far, xored into the first 32 bits.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += kBlock;
    length -= kBlock;

    const __m128i by64 = _mm_set_epi64x(static_cast<long long>(kXPow480), static_cast<long long>(kXPow544));
    for (; length >= kBlock; data += kBlock, length -= kBlock) {
        x0 = fold(x0, by64, load(data));
        x1 = fold(x1, by64, load(data + 16));
        x2 = fold(x2, by64, load(data + 32));
        x3 = fold(x3, by64, load(data + 48));
    }

    const __m128i by16 = _mm_set_epi64x(static_cast<long long>(kXPow96), static_cast<long long>(kXPow160));
    __m128i x = fold(x0, by16, x1);
    x = fold(x, by16, x2);
    x = fold(x, by16, x3);

    // The CRC is the complement of x times x^32 mod P. 128 -> 96 bits: the low half (the higher powers) times x^96,
    // onto the high half.
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i reduce = _mm_set_epi64x(static_cast<long long>(kXPow64), static_cast<long long>(kXPow96));
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, reduce, 0x00), _mm_srli_si128(x, 8));
    // 96 -> 64 bits: the top 32 bits times x^64, onto the other 64.
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), reduce, 0x10), _mm_srli_si128(x, 4));
    // Barrett: the quotient by P is the top 32 bits times mu, cut to its top 32; the remainder is x minus quotient * P.
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kPoly), static_cast<long long>(kMu));
    __m128i quotient = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x00), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(quotient, barrett, 0x10));
    return ~static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}

bool cpuCanFold() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* data, size_t length) {
    if (length == 0) {
        return crc;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
    static const bool canFold = cpuCanFold();
    if (canFold && length >= kBlock) {
        size_t folded = length - length % kBlock;
        crc = foldedCrc(crc, bytes, folded);
        bytes += folded;
        length -= folded;
    }
#endif
    return length == 0 ? crc : tableCrc(crc, bytes, length);
}

}  // namespace wzcrc
