// Receive time-outs, messages split across time-outs, concurrent senders, and sessions over real addresses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/common/Concurrency.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/session/SessionPair.h"

namespace {

using Clock = std::chrono::steady_clock;
using sessiontest::frameHeader;
using sessiontest::SessionPair;

class SessionTiming : public SessionPair {};

TEST_F(SessionTiming, AReceiveTimesOutWhenNothingComes) {
    wzsDatabuf_v2 buffer;
    unsigned long code = 0;
    bool timedOut = false;
    Clock::time_point start = Clock::now();
    CQiError error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 1, timedOut);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_TRUE(error.IsError());
    EXPECT_TRUE(timedOut);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 10.0);
    EXPECT_FALSE(receiver->isBroken());

    error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 0, timedOut);
    EXPECT_TRUE(timedOut);
}

// A receiver with a long time-out must learn of its job's end at once: the wake-up ends the wait, whether it comes
// during the wait or just before it, and the session carries on (half a message already read included).
TEST_F(SessionTiming, AWakeUpEndsAReceiveAndTheSessionGoesOn) {
    wzsDatabuf_v2 buffer;
    unsigned long code = 0;
    bool timedOut = false;
    CQiError error;
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        receiver->wakeReceiver();
    });
    fcltest::finishesWithin(std::chrono::seconds(30), "a woken receive",
                            [&] { error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 600, timedOut); });
    waker.join();
    EXPECT_TRUE(error.IsError());
    EXPECT_TRUE(timedOut);
    EXPECT_FALSE(receiver->isBroken());

    // Signalled before the receive began, with half a message on the wire: the wait still ends, nothing is lost.
    std::vector<unsigned char> frame = frameHeader(8 + 8 + 8 + 4, FSR_MSG_SRC_PATH);
    frame.insert(frame.end(), {0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0});
    writeRaw(std::vector<unsigned char>(frame.begin(), frame.begin() + 15));
    receiver->wakeReceiver();
    fcltest::finishesWithin(std::chrono::seconds(30), "a receive woken in advance",
                            [&] { error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 600, timedOut); });
    EXPECT_TRUE(timedOut);
    writeRaw(std::vector<unsigned char>(frame.begin() + 15, frame.end()));
    error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 5, timedOut);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(code, FSR_MSG_SRC_PATH);
    EXPECT_EQ(reinterpret_cast<const FSRSrcPath*>(buffer.getDataBuffer())->index, 7);
}

TEST_F(SessionTiming, AMessageSplitAcrossATimeOutArrivesWhole) {
    std::vector<unsigned char> frame = frameHeader(8 + 8 + 8 + 4, FSR_MSG_SRC_PATH);
    frame.insert(frame.end(), {0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
    writeRaw(std::vector<unsigned char>(frame.begin(), frame.begin() + 15));
    wzsDatabuf_v2 buffer;
    unsigned long code = 0;
    bool timedOut = false;
    EXPECT_TRUE(receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 0, timedOut).IsError());
    EXPECT_TRUE(timedOut);
    writeRaw(std::vector<unsigned char>(frame.begin() + 15, frame.end()));
    CQiError error = receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 5, timedOut);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(code, FSR_MSG_SRC_PATH);
    const auto* path = reinterpret_cast<const FSRSrcPath*>(buffer.getDataBuffer());
    EXPECT_EQ(path->index, 9);
    EXPECT_EQ(path->stripLevel, 1u);
    EXPECT_EQ(path->path, nullptr);
}

// Senders on several threads share one session; each message still arrives whole, each thread's in its order.
// Long paths make the writes partial, so interleaving would show.
// A receiver that falls behind takes many messages in one receive: small ones packed together, large ones beyond
// what it reads ahead, and messages split anywhere between receives all arrive whole and in order.
TEST_F(SessionTiming, MessagesQueuedBeforeTheReceiverLooksArriveWholeAndInOrder) {
    const size_t sizes[] = {1, 37, 1000, 70 * 1024, 5, 300 * 1024, 64 * 1024 - 12, 0};
    const size_t count = 400;
    auto bytesOf = [&](size_t i) {
        std::string bytes(sizes[i % (sizeof sizes / sizeof sizes[0])], '\0');
        for (size_t k = 0; k < bytes.size(); ++k) {
            bytes[k] = char((i * 131 + k) % 251);
        }
        return bytes;
    };
    std::thread sending([&] {
        for (size_t i = 0; i < count; ++i) {
            std::string bytes = bytesOf(i);
            CQiError sent = bytes.empty() ? sendEmpty(FSR_JOB_END) : send(FSR_JOB_END, &bytes[0], bytes.size());
            ASSERT_FALSE(sent.IsError()) << i;
        }
    });
    for (size_t i = 0; i < count; ++i) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        CQiError error = receive(&code, &buffer);
        ASSERT_FALSE(error.IsError()) << i << ": " << error.AsString();
        ASSERT_EQ(code, static_cast<unsigned long>(FSR_JOB_END));
        const std::string want = bytesOf(i);
        ASSERT_EQ(buffer.getValidLen(), want.size()) << i;
        if (!want.empty()) {
            ASSERT_EQ(std::string(buffer.getDataBuffer(), buffer.getValidLen()), want) << i;
        }
    }
    sending.join();
}

// Messages that may wait go out in their order with the next message that may not, at a flush, once enough of them
// gathered, or once the oldest is old enough; a message refused meanwhile takes none of them with it.
TEST_F(SessionTiming, MessagesThatMayWaitGoOutInOrderWithTheNextWriteOnly) {
    auto mayWait = [&](uint32_t index, size_t size = 4) {
        std::string bytes(size, '\0');
        bytes[0] = char(index);
        wzsDatabuf_v2 buffer;
        buffer.setExternalBuffer(&bytes[0], bytes.size());
        bool timedOut = false;
        return sender->SendXDRMessage(FSR_JOB_END, &buffer, CWzNetwork::kSendMayWait, -1, timedOut);
    };
    auto nothingArrives = [&] {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        bool timedOut = false;
        EXPECT_TRUE(receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, 0, timedOut).IsError());
        EXPECT_TRUE(timedOut);
    };
    auto arrives = [&](int index) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        ASSERT_FALSE(receive(&code, &buffer).IsError()) << index;
        if (index < 0) {
            EXPECT_EQ(code, static_cast<unsigned long>(FSR_JOB_START));
        } else {
            ASSERT_GE(buffer.getValidLen(), 1u);
            EXPECT_EQ(buffer.getDataBuffer()[0], char(index));
        }
    };

    for (uint32_t i = 1; i <= 3; ++i) {
        ASSERT_FALSE(mayWait(i).IsError());
    }
    // Refused for its size: the messages that wait stay whole and waiting.
    std::string huge(CWzNetwork::kMaxMessage, 'x');
    ASSERT_TRUE(send(FSR_JOB_END, &huge[0], huge.size()).IsError());
    nothingArrives();
    ASSERT_FALSE(sendEmpty(FSR_JOB_START).IsError());
    for (int i : {1, 2, 3, -1}) {
        arrives(i);
    }

    ASSERT_FALSE(mayWait(4).IsError());
    ASSERT_FALSE(sender->flushIfStale().IsError());
    nothingArrives();
    std::this_thread::sleep_for(CWzNetwork::kPendingAge + std::chrono::milliseconds(5));
    ASSERT_FALSE(sender->flushIfStale().IsError());
    arrives(4);

    ASSERT_FALSE(mayWait(5).IsError());
    ASSERT_FALSE(sender->flushPending().IsError());
    arrives(5);
    ASSERT_FALSE(sender->flushPending().IsError());

    const size_t each = 1000;
    const uint32_t enough = CWzNetwork::kPendingBytes / each + 1;
    for (uint32_t i = 0; i < enough; ++i) {
        ASSERT_FALSE(mayWait(i, each).IsError());
    }
    for (uint32_t i = 0; i < enough; ++i) {
        arrives(int(i));
    }
}

TEST_F(SessionTiming, ConcurrentSendersEachDeliverWholeMessages) {
    const int kThreads = 4;
    const int kEach = 60;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                std::string text(size_t(1000 + (i * 7919) % 200000), char('a' + t));
                FSRSrcPath path;
                path.index = t * 1000 + i;
                path.stripLevel = text.size();
                path.path = &text[0];
                if (send(FSR_MSG_SRC_PATH, &path, sizeof path).IsError()) {
                    ++failures;
                }
            }
        });
    }
    std::vector<int> next(kThreads, 0);
    for (int received = 0; received < kThreads * kEach; ++received) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        CQiError error = receive(&code, &buffer, 30);
        ASSERT_FALSE(error.IsError()) << error.AsString();
        const auto* path = reinterpret_cast<const FSRSrcPath*>(buffer.getDataBuffer());
        int t = int(path->index / 1000);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(path->index % 1000, next[t]++);
        ASSERT_EQ(strlen(path->path), path->stripLevel);
        EXPECT_EQ(std::string(path->path), std::string(path->stripLevel, char('a' + t)));
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

// A receive waiting without limit returns when its own session is shut down.
TEST_F(SessionTiming, ShutdownWakesAWaitingReceive) {
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        bool timedOut = false;
        receiver->ReceiveXDRMessage(&code, &buffer, nullptr, 0, -1, timedOut);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    receiver->shutdown();
    waiter.join();
    EXPECT_TRUE(returned.load());
}

void exchangeOver(const std::string& address) {
    std::unique_ptr<CWzListener> listener;
    CQiError error = CWzListener::listen(address, &listener);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    std::unique_ptr<CWzNetwork> client, server;
    ASSERT_FALSE(CWzNetwork::connect(listener->address(), &client).IsError());
    ASSERT_FALSE(listener->accept(10, &server).IsError());
    FSRSetParams params;
    params.destDir = const_cast<char*>("/d");
    params.numSrcPaths = 2;
    wzsDatabuf_v2 out;
    out.setExternalBuffer(reinterpret_cast<char*>(&params), sizeof params);
    bool timedOut = false;
    ASSERT_FALSE(client->SendXDRMessage(FSR_MSG_SET_PARAMS, &out, 0, -1, timedOut).IsError());
    wzsDatabuf_v2 in;
    unsigned long code = 0;
    ASSERT_FALSE(server->ReceiveXDRMessage(&code, &in, nullptr, 0, 10, timedOut).IsError());
    const auto* got = reinterpret_cast<const FSRSetParams*>(in.getDataBuffer());
    EXPECT_STREQ(got->destDir, "/d");
    EXPECT_EQ(got->numSrcPaths, 2u);
}

TEST(SessionAddresses, TcpOnLoopbackWithAChosenPort) {
    exchangeOver("127.0.0.1:0");
}

TEST(SessionAddresses, UnixDomainSocketPath) {
    fcltest::ScratchDir dir("session");
    exchangeOver(dir / "fir.sock");
}

TEST(SessionAddresses, AcceptTimesOutWithoutAPeer) {
    std::unique_ptr<CWzListener> listener;
    ASSERT_FALSE(CWzListener::listen("127.0.0.1:0", &listener).IsError());
    std::unique_ptr<CWzNetwork> session;
    EXPECT_TRUE(listener->accept(0, &session).IsError());
    EXPECT_EQ(session, nullptr);
}

}  // namespace
