#pragma once
// The argument and result records of the archive reader's operations.
#include <cstdint>
#include <string>

class CWzNetwork;

// What opening an archive file takes.
struct OpenArgs_t {
    OpenArgs_t() = default;
    ~OpenArgs_t() = default;

    uint64_t archiveFileId = 0;
    uint64_t middleId = 0;
    uint64_t appNumber = 0;
    int32_t zendrelId = 2;
    uint64_t copyPrecedence = 0;
    uint64_t jobId = 0;
    std::string text;
    uint64_t number = 0;
};

// What opening an archive file gives: five words, the caller zeroes them first.
struct OpenRet_t {
    CWzNetwork* headSession = nullptr;
    uint64_t copyId = 0;
    uint64_t reserved2 = 0;
    uint64_t archFileAppType = 0;
    uint64_t reserved4 = 0;
};
static_assert(sizeof(OpenRet_t) == 40, "OpenRet_t is five words");

// The engine sets nothing in the free arguments, nor reads the free result.
struct ReadBufArgs_t {
    uint64_t reserved = 0;
    // Called, when set, once no buffer is ready and the read is about to wait for one (no lock of the reader held).
    void (*beforeWait)(void* context) = nullptr;
    void* context = nullptr;
};

struct ReadBufRet_t {
    uint32_t bufType = 0;
    uint32_t payloadLength = 0;
    void* buffer = nullptr;  // header and payload; null when nothing was read
    int32_t errorCode = 0;   // meaningful when the read failed
};

struct FreeBufArgs_t {
    uint64_t reserved = 0;
};

struct FreeBufRet_t {
    uint64_t reserved = 0;
};
