#pragma once
// Bounded C-string copy with the Windows strsafe result contract, and the case-blind compare those
// sources expect.
#include <strings.h>

#include <cstddef>
#include <cstdint>

typedef int32_t HRESULT;

constexpr HRESULT STRSAFE_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007au);
// The largest byte count a destination may declare.
constexpr unsigned long STRSAFE_MAX_CCH = 0x7fffffffUL;

inline int _strnicmp(const char* a, const char* b, size_t n) {
    return strncasecmp(a, b, n);
}

// Copies `src` into `dest` of `cbDest` bytes. 0 when all of it fitted; STRSAFE_E_INSUFFICIENT_BUFFER with
// the first cbDest-1 characters; STRSAFE_E_INVALID_PARAMETER for a byte count of 0 or above STRSAFE_MAX_CCH
// (nothing written) or for a null pointer (a non-null dest then holds ""). Dest is NUL-terminated whenever
// anything was written.
inline HRESULT StringCbCopyA(char* dest, unsigned long cbDest, const char* src) {
    if (cbDest == 0 || cbDest > STRSAFE_MAX_CCH || dest == nullptr) {
        return STRSAFE_E_INVALID_PARAMETER;
    }
    if (src == nullptr) {
        // Callers that ignore the result still get a terminated text rather than stale bytes.
        *dest = '\0';
        return STRSAFE_E_INVALID_PARAMETER;
    }
    unsigned long room = cbDest;
    unsigned long left = STRSAFE_MAX_CCH - 1;
    while (room != 0 && left != 0 && *src != '\0') {
        *dest++ = *src++;
        --room;
        --left;
    }
    HRESULT result = 0;
    if (room == 0) {
        // No place left for the terminator: give up the last character copied.
        --dest;
        result = STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    *dest = '\0';
    return result;
}
