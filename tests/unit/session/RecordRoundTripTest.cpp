// Every record of the protocol through a session: sent, received, compared field by field.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "platform/session/FsrWireTable.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/unit/session/RecordSamples.h"
#include "tests/unit/session/SessionPair.h"

namespace {

using sessiontest::SampleRecord;
using sessiontest::SampleShape;
using sessiontest::SessionPair;

class RecordRoundTrip : public SessionPair {};

// The receive loop attaches 128 bytes: records up to that size land there, longer ones in session memory, and
// nothing is ever written past the 128 bytes.
TEST_F(RecordRoundTrip, EveryRecordArrivesWholeWithA128ByteBufferAttached) {
    const SampleShape shapes[] = {
        {false, 3, 5},      // every string and array filled
        {true, 0, 0},       // null strings, empty arrays
        {false, 1, 0},      // empty strings, one entry
        {false, 200, 301},  // long strings, many entries
    };
    size_t count = 0;
    const wzsession::WireCode* codes = wzsession::wireCodes(&count);
    for (size_t i = 0; i < count; ++i) {
        if (codes[i].record == nullptr) {
            continue;
        }
        const wzsession::RecordLayout& layout = *codes[i].record;
        for (const SampleShape& shape : shapes) {
            SCOPED_TRACE(std::string(codes[i].name) + " strings " + (shape.nullStrings ? "null" : "set") + " entries " +
                         std::to_string(shape.entries));
            SampleRecord sample(layout, shape);
            ASSERT_FALSE(send(codes[i].code, sample.data(), sample.length()).IsError());

            alignas(8) unsigned char area[256];
            memset(area, 0xA5, sizeof area);
            wzsDatabuf_v2 buffer;
            buffer.setExternalBuffer(reinterpret_cast<char*>(area), 128);
            unsigned long code = 0;
            CQiError error = receive(&code, &buffer);
            ASSERT_FALSE(error.IsError()) << error.AsString();
            EXPECT_EQ(code, codes[i].code);
            EXPECT_EQ(buffer.getValidLen(), sample.length());
            const char* got = buffer.getDataBuffer();
            ASSERT_NE(got, nullptr);
            if (sample.length() <= 128) {
                EXPECT_EQ(got, reinterpret_cast<char*>(area));
            } else {
                EXPECT_NE(got, reinterpret_cast<char*>(area));
                EXPECT_EQ(area[0], 0xA5) << "a record that does not fit leaves the attached buffer alone";
            }
            for (size_t k = 128; k < sizeof area; ++k) {
                ASSERT_EQ(area[k], 0xA5) << "byte " << k << " past the attached buffer was written";
            }
            sessiontest::expectSameRecord(layout, sample.data(), got, "");
            EXPECT_FALSE(receiver->FreeReceivedMessage(code, &buffer).IsError());
            EXPECT_EQ(buffer.getDataBuffer(), reinterpret_cast<char*>(area));
        }
    }
}

// The wire form is pinned by hand, so that encoder and decoder cannot share a mistake: length, code, a signed
// 64-bit index, the strip level, then the path as an optional string padded to 4.
TEST_F(RecordRoundTrip, SourcePathHasTheWireFormOfTheDesign) {
    FSRSrcPath path;
    path.index = -2;
    path.stripLevel = 3;
    path.path = const_cast<char*>("abcde");
    ASSERT_FALSE(send(FSR_MSG_SRC_PATH, &path, 8).IsError());
    const std::vector<unsigned char> expected = {
        0x00, 0x00, 0x00, 0x28,                          // N = 8 + 32
        0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x0d,  // code
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe,  // index
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,  // strip level
        0x00, 0x00, 0x00, 0x01,                          // path present
        0x00, 0x00, 0x00, 0x05, 'a',  'b',  'c',  'd',  'e', 0x00, 0x00, 0x00,
    };
    std::vector<unsigned char> got(expected.size() + 8);
    ssize_t n = ::recv(receiver->fd(), got.data(), got.size(), 0);
    ASSERT_EQ(n, ssize_t(expected.size()));
    got.resize(size_t(n));
    EXPECT_EQ(got, expected);
}

// Start-up reads the init data into a record of its own; absent strings stay null, present ones are the peer's.
TEST_F(RecordRoundTrip, InitDataLandsInTheAttachedRecord) {
    FSRInitData sent;
    sent.appType = 29;
    sent.jobId = 1234567;
    sent.sourceMachine = const_cast<char*>("src");
    sent.destMachine = const_cast<char*>("dst");
    sent.subclientName = const_cast<char*>("default");
    sent.reservedString = const_cast<char*>("key=value");
    ASSERT_FALSE(send(FSR_MSG_INIT_DATA, &sent, sizeof sent).IsError());

    FSRInitData local;
    wzsDatabuf_v2 buffer;
    buffer.setExternalBuffer(reinterpret_cast<char*>(&local), sizeof local);
    unsigned long code = 0;
    ASSERT_FALSE(receive(&code, &buffer).IsError());
    EXPECT_EQ(code, FSR_MSG_INIT_DATA);
    EXPECT_EQ(buffer.getDataBuffer(), reinterpret_cast<char*>(&local));
    EXPECT_EQ(local.appType, 29u);
    EXPECT_EQ(local.jobId, 1234567);
    EXPECT_STREQ(local.sourceMachine, "src");
    EXPECT_STREQ(local.destMachine, "dst");
    EXPECT_STREQ(local.subclientName, "default");
    EXPECT_STREQ(local.reservedString, "key=value");
    EXPECT_EQ(local.suffixTag, nullptr);
    EXPECT_EQ(local.restoreSuffix, nullptr);
    EXPECT_EQ(local.reserved13, nullptr);
    receiver->FreeReceivedMessage(code, &buffer);
}

// A chunk open travels with the bytes that follow its fixed part; a trailing part the caller did not give is
// refused rather than read from beyond its buffer.
TEST_F(RecordRoundTrip, ChunkOpenCarriesItsTrailingPart) {
    std::vector<char> record(sizeof(FSROpenChunk) + 5);
    FSROpenChunk chunk;
    chunk.chunkId = 77;
    chunk.tailLength = 5;
    memcpy(record.data(), &chunk, sizeof chunk);
    memcpy(record.data() + sizeof chunk, "TAIL!", 5);
    ASSERT_FALSE(send(FSR_MSG_OPEN_CHUNK, record.data(), record.size()).IsError());
    EXPECT_TRUE(send(FSR_MSG_OPEN_CHUNK, record.data(), sizeof chunk + 4).IsError());

    wzsDatabuf_v2 buffer;
    unsigned long code = 0;
    ASSERT_FALSE(receive(&code, &buffer).IsError());
    ASSERT_EQ(buffer.getValidLen(), sizeof(FSROpenChunk) + 5);
    const auto* got = reinterpret_cast<const FSROpenChunk*>(buffer.getDataBuffer());
    EXPECT_EQ(got->chunkId, 77u);
    EXPECT_EQ(0, memcmp(buffer.getDataBuffer() + sizeof(FSROpenChunk), "TAIL!", 5));
}

// Codes without a record, raw buffers, and codes the protocol does not name.
TEST_F(RecordRoundTrip, RawAndEmptyMessagesKeepTheirBytes) {
    struct Case {
        unsigned long code;
        std::string bytes;
    };
    const Case cases[] = {
        {FSR_MSG_SUCCESS, ""},    {FSR_MSG_CLOSE_ARCHIVE, ""},           {FSR_JOB_START, "x"},    {FSR_JOB_END, "abcd"},
        {FSR_JOB_START, "abcde"}, {FSR_JOB_END, std::string(1000, 'z')}, {0x18000003, "unknown"}, {0x1800009d, ""},
        {FSR_MSG_SET_PARAMS, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WZS_PRIM_STRING(c.code) + std::string(" ") + std::to_string(c.bytes.size()));
        std::string bytes = c.bytes;
        CQiError sent = bytes.empty() ? sendEmpty(c.code) : send(c.code, &bytes[0], bytes.size());
        ASSERT_FALSE(sent.IsError());
        alignas(8) char area[128];
        wzsDatabuf_v2 buffer;
        buffer.setExternalBuffer(area, sizeof area);
        unsigned long code = 0;
        ASSERT_FALSE(receive(&code, &buffer).IsError());
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(buffer.getValidLen(), c.bytes.size());
        if (c.bytes.empty()) {
            EXPECT_EQ(buffer.getDataBuffer(), nullptr);
        } else {
            ASSERT_NE(buffer.getDataBuffer(), nullptr);
            EXPECT_EQ(std::string(buffer.getDataBuffer(), buffer.getValidLen()), c.bytes);
        }
    }
}

// The receive loop hands its buffer to the queue: the record and its strings move with it.
TEST_F(RecordRoundTrip, AMovedBufferKeepsTheRecord) {
    FSRSetParams params;
    params.destDir = const_cast<char*>("/restore/here");
    params.options = FSR_OPT_OUT_OF_PLACE;
    ASSERT_FALSE(send(FSR_MSG_SET_PARAMS, &params, sizeof params).IsError());
    std::unique_ptr<char[]> area(new char[128]());
    wzsDatabuf_v2 loop;
    loop.setExternalBuffer(area.get(), 128);
    unsigned long code = 0;
    ASSERT_FALSE(receive(&code, &loop).IsError());
    auto queued = std::make_unique<wzsDatabuf_v2>(std::move(loop));
    const auto* got = reinterpret_cast<const FSRSetParams*>(queued->getDataBuffer());
    EXPECT_EQ(got, reinterpret_cast<FSRSetParams*>(area.get()));
    EXPECT_STREQ(got->destDir, "/restore/here");
    EXPECT_EQ(got->options, FSR_OPT_OUT_OF_PLACE);
    EXPECT_EQ(queued->getExternalBuffer(), area.get());
    receiver->FreeReceivedMessage(code, queued.get());
}

}  // namespace
