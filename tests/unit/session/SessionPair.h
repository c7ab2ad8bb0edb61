#pragma once
// Two sessions joined by a socketpair, and helpers to send records and raw bytes through them.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/session/CWzNetwork.h"

namespace sessiontest {

class SessionPair : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(CWzNetwork::makePair(&sender, &receiver).IsError()); }

    CQiError send(unsigned long code, void* record, unsigned long length) {
        wzsDatabuf_v2 buffer;
        buffer.setExternalBuffer(static_cast<char*>(record), length);
        bool timedOut = false;
        return sender->SendXDRMessage(code, &buffer, 0, -1, timedOut);
    }
    CQiError sendEmpty(unsigned long code) {
        bool timedOut = false;
        return sender->SendXDRMessage(code, nullptr, 0, -1, timedOut);
    }
    CQiError receive(unsigned long* code, wzsDatabuf_v2* buffer, int timeoutSeconds = 5) {
        bool timedOut = false;
        return receiver->ReceiveXDRMessage(code, buffer, nullptr, 0, timeoutSeconds, timedOut);
    }
    // Receives one message and lets it go: for tests that look only at the outcome.
    CQiError receiveOnce(int timeoutSeconds = 5) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        return receive(&code, &buffer, timeoutSeconds);
    }
    // Writes bytes straight onto the sender's socket, beneath the session.
    void writeRaw(const std::vector<unsigned char>& bytes) {
        ASSERT_EQ(::send(sender->fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }

    std::unique_ptr<CWzNetwork> sender;
    std::unique_ptr<CWzNetwork> receiver;
};

// A frame header: the length word N (code and record) and the code.
inline std::vector<unsigned char> frameHeader(uint32_t n, unsigned long code) {
    std::vector<unsigned char> h = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    for (int shift = 56; shift >= 0; shift -= 8) {
        h.push_back(uint8_t(code >> shift));
    }
    return h;
}

}  // namespace sessiontest
