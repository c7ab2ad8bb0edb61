#pragma once
// The data buffers of the session library: the payload descriptor callers fill, and the buffer of one message.
#include <cstdint>

#include "platform/support/CAutoMemory.h"

// A record handed to a send: its length in bytes and its address; the other two words stay 0.
struct wzsDatabuf {
    uint64_t reserved0 = 0;
    uint64_t len = 0;
    uint64_t reserved2 = 0;
    char* buf = nullptr;
};
static_assert(sizeof(wzsDatabuf) == 32, "wzsDatabuf is four 64-bit words");

// Not used by this session library; kept for the receive signature.
struct wzsHostProtocolHeader {
    uint64_t reserved[4] = {0, 0, 0, 0};
};

// The data of one message. For a send it points at the caller's record. For a receive the caller may attach a
// buffer; the record is decoded into it when it fits, otherwise into memory of the session's own, and strings and
// entry arrays always live in session memory. getDataBuffer gives whichever holds the record until
// CWzNetwork::FreeReceivedMessage, which releases the session memory and gives back the attached buffer.
class wzsDatabuf_v2 {
public:
    wzsDatabuf_v2() = default;
    ~wzsDatabuf_v2() = default;
    wzsDatabuf_v2(const wzsDatabuf_v2&) = delete;
    wzsDatabuf_v2& operator=(const wzsDatabuf_v2&) = delete;
    // The job's queue takes over the receive loop's buffer as received, session memory and all.
    wzsDatabuf_v2(wzsDatabuf_v2&& other) noexcept;
    wzsDatabuf_v2& operator=(wzsDatabuf_v2&& other) noexcept;

    // Uses `length` bytes at `buffer` without copying them; the caller keeps ownership.
    void setExternalBuffer(char* buffer, unsigned long length);
    // The record: after a receive, where it was decoded (null when the message had none); otherwise the attached
    // buffer.
    char* getDataBuffer() const { return m_data; }
    // Bytes of the record in the data buffer: its fixed part (and a trailing part some records have), or the bytes
    // of a raw message. For an attached buffer not yet received into, its length.
    unsigned long getValidLen() const { return m_validLen; }
    // The buffer given to setExternalBuffer, whatever a receive did; its owner frees it.
    char* getExternalBuffer() { return m_buffer.Ptr(); }
    unsigned long getExternalLength() const { return m_buffer.Capacity(); }

private:
    friend class CWzNetwork;
    void releaseSessionMemory();

    CAutoMemory<char> m_buffer;   // attached, never owned
    CAutoMemory<char> m_session;  // session memory of the last receive
    char* m_data = nullptr;
    unsigned long m_validLen = 0;
};
