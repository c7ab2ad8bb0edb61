// Hostile and broken input: every case is an error of the session, never a crash, a hang or an over-read.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/session/FsrWireTable.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/unit/session/RecordSamples.h"
#include "tests/unit/session/SessionPair.h"

namespace {

using sessiontest::frameHeader;
using sessiontest::SessionPair;

class SessionFaults : public SessionPair {
protected:
    // Sends one good message and checks it arrives: the stream is still in step after a refused message.
    void expectStillInStep() {
        FSRSrcPath path;
        path.index = 42;
        ASSERT_FALSE(send(FSR_MSG_SRC_PATH, &path, sizeof path).IsError());
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        CQiError error = receive(&code, &buffer);
        ASSERT_FALSE(error.IsError()) << error.AsString();
        EXPECT_EQ(code, FSR_MSG_SRC_PATH);
        EXPECT_EQ(reinterpret_cast<const FSRSrcPath*>(buffer.getDataBuffer())->index, 42);
    }
    CQiError receiveRaw(const std::vector<unsigned char>& bytes) {
        writeRaw(bytes);
        return receiveOnce();
    }
    void expectBrokenBy(const CQiError& error, int errnum) {
        ASSERT_TRUE(error.IsError());
        EXPECT_TRUE(FXErrorUtil::IsErrNo(error, errnum)) << error.AsString();
        EXPECT_TRUE(receiver->isBroken());
        // A broken session stays broken.
        EXPECT_TRUE(receiveOnce(0).IsError());
    }
};

// Encodings that a peer could send and that must not decode, each followed by a good message.
TEST_F(SessionFaults, RecordsThatDoNotDecodeAreRefusedOneByOne) {
    auto be32 = [](uint32_t v) {
        return std::vector<unsigned char>{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    };
    auto cat = [](std::vector<std::vector<unsigned char>> parts) {
        std::vector<unsigned char> all;
        for (auto& p : parts) {
            all.insert(all.end(), p.begin(), p.end());
        }
        return all;
    };
    const std::vector<unsigned char> zero8(8, 0);
    struct Case {
        const char* what;
        unsigned long code;
        std::vector<unsigned char> body;
    };
    const Case cases[] = {
        {"a record cut short", FSR_MSG_SRC_PATH, zero8},
        {"a string marker other than 0 or 1", FSR_MSG_SRC_PATH, cat({zero8, zero8, be32(2)})},
        {"a string without room", FSR_MSG_SRC_PATH, cat({zero8, zero8, be32(1), be32(1000), be32(0)})},
        {"a string holding a NUL", FSR_MSG_SRC_PATH, cat({zero8, zero8, be32(1), be32(3), {'a', 0, 'b', 0}})},
        {"bytes after the record", FSR_MSG_SRC_PATH, cat({zero8, zero8, be32(0), be32(0)})},
        {"an array count beyond the message", FSR_MSG_SEEK_TO_OFFSET, cat({be32(100000), be32(100000), zero8})},
        {"an array count that disagrees with the record", FSR_MSG_SEEK_TO_OFFSET, cat({be32(0), be32(1)})},
        {"a negative entry count", FSR_MSG_IMG_TIMES_ARRAY, cat({be32(0xffffffff), be32(0xffffffff)})},
        {"a huge entry count", FSR_MSG_SEEK_TO_OFFSET_10, cat({be32(0xffffffff), be32(0xffffffff)})},
        {"raw data longer than the message", FSR_JOB_START, cat({be32(50), {'a', 'b', 'c', 'd'}})},
        {"a trailing part longer than the message", FSR_MSG_OPEN_CHUNK,
         cat({std::vector<unsigned char>(80, 0), be32(64), be32(0), zero8, be32(64)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> frame = frameHeader(uint32_t(8 + c.body.size()), c.code);
        frame.insert(frame.end(), c.body.begin(), c.body.end());
        CQiError error = receiveRaw(frame);
        ASSERT_TRUE(error.IsError());
        EXPECT_TRUE(FXErrorUtil::IsErrNo(error, EBADMSG)) << error.AsString();
        EXPECT_FALSE(receiver->isBroken());
        expectStillInStep();
    }
}

// Every prefix of every good encoding, and random bytes under every code: refused or decoded, never more.
TEST_F(SessionFaults, TruncationsAndGarbageNeverReadOutsideTheMessage) {
    std::mt19937 random(20240611);
    size_t count = 0;
    const wzsession::WireCode* codes = wzsession::wireCodes(&count);
    for (size_t i = 0; i < count; ++i) {
        if (codes[i].record == nullptr) {
            continue;
        }
        SCOPED_TRACE(codes[i].name);
        sessiontest::SampleRecord sample(*codes[i].record, sessiontest::SampleShape{});
        std::unique_ptr<CWzNetwork> a, b;
        ASSERT_FALSE(CWzNetwork::makePair(&a, &b).IsError());
        wzsDatabuf_v2 out;
        out.setExternalBuffer(sample.data(), sample.length());
        bool timedOut = false;
        ASSERT_FALSE(a->SendXDRMessage(codes[i].code, &out, 0, -1, timedOut).IsError());
        std::vector<unsigned char> good(1 << 16);
        ssize_t n = ::recv(b->fd(), good.data(), good.size(), 0);
        ASSERT_GT(n, 12);
        good.resize(size_t(n));

        std::vector<std::vector<unsigned char>> bodies;
        for (size_t cut = 12; cut < good.size(); cut += 1 + (good.size() > 400 ? 7 : 0)) {
            bodies.emplace_back(good.begin() + 12, good.begin() + long(cut));
        }
        for (int k = 0; k < 20; ++k) {
            std::vector<unsigned char> junk(random() % 200);
            for (auto& byte : junk) {
                byte = uint8_t(random() % 4 == 0 ? 0 : random());
            }
            bodies.push_back(junk);
        }
        for (const auto& body : bodies) {
            // The frame goes into exactly as much heap as it needs, so a read past it shows under the sanitizer.
            std::vector<unsigned char> frame = frameHeader(uint32_t(8 + body.size()), codes[i].code);
            frame.insert(frame.end(), body.begin(), body.end());
            ASSERT_EQ(::send(a->fd(), frame.data(), frame.size(), MSG_NOSIGNAL), ssize_t(frame.size()));
            wzsDatabuf_v2 in;
            unsigned long code = 0;
            CQiError error = b->ReceiveXDRMessage(&code, &in, nullptr, 0, 5, timedOut);
            ASSERT_FALSE(timedOut);
            if (error.IsError()) {
                EXPECT_TRUE(FXErrorUtil::IsErrNo(error, EBADMSG)) << error.AsString();
            }
            b->FreeReceivedMessage(code, &in);
        }
    }
}

TEST_F(SessionFaults, APeerThatClosesBreaksTheSession) {
    sender.reset();
    expectBrokenBy(receiveOnce(), ECONNRESET);
}

TEST_F(SessionFaults, ASessionCutInsideAMessageIsAnError) {
    std::vector<unsigned char> frame = frameHeader(8 + 32, FSR_MSG_SET_PARAMS);
    frame.resize(frame.size() + 10);
    writeRaw(frame);
    sender->shutdown();
    expectBrokenBy(receiveOnce(), ECONNRESET);
}

TEST_F(SessionFaults, ALengthShorterThanTheCodeBreaksTheSession) {
    expectBrokenBy(receiveRaw({0, 0, 0, 4, 0, 0, 0, 0}), EPROTO);
}

// A length four bytes short: the record does not decode, and what is left over is not a message either.
TEST_F(SessionFaults, ALengthShorterThanItsRecordIsAnErrorAndSoIsWhatFollows) {
    std::vector<unsigned char> frame = frameHeader(8 + 16, FSR_MSG_SRC_PATH);
    frame.insert(frame.end(), 20, 0);
    CQiError first = receiveRaw(frame);
    EXPECT_TRUE(FXErrorUtil::IsErrNo(first, EBADMSG)) << first.AsString();
    EXPECT_TRUE(receiveOnce(1).IsError());
}

// A bad length that comes in the same receive as good messages: those arrive, then the session breaks.
TEST_F(SessionFaults, ABadLengthAfterGoodMessagesBreaksTheSessionOnlyWhenReached) {
    std::vector<unsigned char> bytes = frameHeader(8, FSR_MSG_SUCCESS);
    std::vector<unsigned char> second = frameHeader(8, FSR_MSG_CLOSE_ARCHIVE);
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.insert(bytes.end(), {0, 0, 0, 4, 0, 0, 0, 0});
    writeRaw(bytes);
    wzsDatabuf_v2 buffer;
    unsigned long code = 0;
    CQiError error = receive(&code, &buffer);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(code, static_cast<unsigned long>(FSR_MSG_SUCCESS));
    ASSERT_FALSE(receive(&code, &buffer).IsError());
    EXPECT_EQ(code, static_cast<unsigned long>(FSR_MSG_CLOSE_ARCHIVE));
    expectBrokenBy(receiveOnce(), EPROTO);
}

TEST_F(SessionFaults, AMessageOverTheLimitIsRefusedBeforeItIsRead) {
    expectBrokenBy(receiveRaw(frameHeader(uint32_t(CWzNetwork::kMaxMessage + 1), FSR_MSG_SET_PARAMS)), EMSGSIZE);
}

TEST_F(SessionFaults, ARecordTooLargeToSendIsRefusedAndNothingIsSent) {
    std::string huge(CWzNetwork::kMaxMessage, 'x');
    FSRSetParams params;
    params.destDir = &huge[0];
    CQiError error = send(FSR_MSG_SET_PARAMS, &params, sizeof params);
    ASSERT_TRUE(error.IsError());
    EXPECT_TRUE(FXErrorUtil::IsErrNo(error, EMSGSIZE)) << error.AsString();
    EXPECT_FALSE(sender->isBroken());
    expectStillInStep();
}

TEST_F(SessionFaults, ANullEntryArrayWithACountIsRefused) {
    FSRSeekArchiveArray seeks;
    seeks.count = 3;
    EXPECT_TRUE(send(FSR_MSG_SEEK_TO_OFFSET, &seeks, sizeof seeks).IsError());
    FSRImgTimesArray times;
    times.count = -1;
    EXPECT_TRUE(send(FSR_MSG_IMG_TIMES_ARRAY, &times, sizeof times).IsError());
    expectStillInStep();
}

TEST_F(SessionFaults, InjectedErrorsFailOnceAndLeaveTheSessionUsable) {
    receiver->injectReceiveErrors(1, EIO);
    sender->injectSendErrors(1, ENOBUFS);
    FSRSrcPath path;
    CQiError sendError = send(FSR_MSG_SRC_PATH, &path, sizeof path);
    EXPECT_TRUE(FXErrorUtil::IsErrNo(sendError, ENOBUFS));
    CQiError receiveError = receiveOnce(0);
    EXPECT_TRUE(FXErrorUtil::IsErrNo(receiveError, EIO));
    expectStillInStep();
}

}  // namespace
