// The restore-head session the archive open hands out, driven exactly as the engine sends to it, and the buffers
// the data mover streams back in answer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveMover.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/support/ByteOrder.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/Concurrency.h"
#include "tests/unit/archive/PackedTree.h"

namespace {

using archivetest::RawBuffer;

size_t threadCount() {
    return static_cast<size_t>(fcltest::runningThreads());
}

// Waits, within a generous bound, for the process to be back at `threads` running threads: the pipeline's threads
// start and end on their own.
bool backTo(size_t threads) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (threadCount() != threads) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class HeadSession : public archivetest::PackedTree {
protected:
    void openArchive() {
        ASSERT_EQ(open(archive_, 1, &ret_), 0);
        ASSERT_NE(ret_.headSession, nullptr);
        head_ = ret_.headSession;
    }

    // The two forms of sendMsgToRestoreHead: a wzsDatabuf payload wrapped without copying, or an empty buffer.
    bool send(unsigned long code, void* record, uint64_t length) {
        wzsDatabuf payload;
        payload.len = length;
        payload.buf = static_cast<char*>(record);
        wzsDatabuf_v2 buffer;
        buffer.setExternalBuffer(payload.buf, payload.len);
        bool timedOut = false;
        return !head_->SendXDRMessage(code, &buffer, 0, -1, timedOut).IsError();
    }
    bool send(unsigned long code) {
        wzsDatabuf_v2 empty;
        bool timedOut = false;
        return !head_->SendXDRMessage(code, &empty, 0, -1, timedOut).IsError();
    }
    // The forwarded open: the record with the copy id, handed on with the length 8.
    bool sendOpen() {
        FSROpenArchive open;
        open.copyId = ret_.copyId;
        open.zendrelId = 2;
        open.archiveFileId = 1;
        return send(FSR_MSG_OPEN_ARCHIVE, &open, 8);
    }
    bool sendMarker(int64_t count) {
        FSRProbeRstHead marker;
        marker.numSeekMsgs = count;
        marker.reserved1 = 1;
        return send(FSR_MSG_PROBE_RESTORE_HEAD, &marker, sizeof marker);
    }
    // One seek array of the form `Array` to the items at `paths`, forwarded as the engine does (length 16); the
    // buffers it asks for join `want`.
    template <typename Array>
    void seekTo(unsigned long code, const std::vector<std::string>& paths, std::vector<RawBuffer>& want) {
        using Entry = std::remove_pointer_t<decltype(Array::entries)>;
        std::vector<Entry> entries(paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            entries[i].offset = index_[paths[i]];
            entries[i].linkName = const_cast<char*>("link name");
            entries[i].flags = i == 0 ? uint64_t{SEEK_ARCHIVE_PRE_HDR_HOLD} : 0;
            if constexpr (!std::is_same<Entry, FSRSeekArchive>::value) {
                entries[i].path = const_cast<char*>(paths[i].c_str());
            }
            for (RawBuffer& buffer : itemOf(paths[i])) {
                want.push_back(std::move(buffer));
            }
        }
        Array array;
        array.count = static_cast<uint32_t>(entries.size());
        array.entries = entries.data();
        ASSERT_TRUE(send(code, &array, 16));
    }
    bool waitForKeepalives(uint64_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (archive_.mover()->keepalives() < count) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    static void expectProbeReply(const RawBuffer& reply, uint64_t token) {
        ASSERT_EQ(reply.type, PL_FS_PROBE_REPLY);
        ASSERT_EQ(reply.payloadLength(), 16u);
        EXPECT_EQ(wzbytes::loadBE64(reply.payload()), token);
        EXPECT_EQ(wzbytes::loadBE64(reply.payload() + 8), 1u) << "a reply that does not widen the window stalls";
    }

    FsRestoreArchive archive_{nullptr, nullptr, "client"};
    OpenRet_t ret_;
    CWzNetwork* head_ = nullptr;
};

TEST_F(HeadSession, ReadAllStreamsTheWholeFileByteForByteThenTheClose) {
    openArchive();
    ASSERT_TRUE(sendOpen());
    ASSERT_TRUE(send(FSR_MSG_READ_ALL));
    ASSERT_TRUE(send(FSR_MSG_CLOSE_ARCHIVE));
    archivetest::Drained drained = archivetest::drain(archive_);
    ASSERT_FALSE(drained.failed) << drained.errorCode;
    ASSERT_FALSE(drained.buffers.empty());
    EXPECT_EQ(drained.buffers.back().type, PL_FS_CLOSE_AFILE);
    drained.buffers.pop_back();
    expectSameBuffers(drained.buffers, file_);
}

// Seeks of every form the engine forwards, with markers among them: each item through its end in the order asked
// for, each marker answered where it came.
TEST_F(HeadSession, SeeksAndMarkersAreAnsweredInTheOrderSent) {
    openArchive();
    ASSERT_TRUE(sendOpen());
    std::vector<RawBuffer> want;
    seekTo<FSRSeekArchiveArray>(FSR_MSG_SEEK_TO_OFFSET, {source_ + "/dir/big", source_}, want);
    ASSERT_TRUE(sendMarker(4096));
    const size_t firstReply = want.size();
    want.emplace_back();
    seekTo<FSRSeekArchiveArray_10>(FSR_MSG_SEEK_TO_OFFSET_10, {source_ + "/dir", source_ + "/sparse"}, want);
    seekTo<FSRSeekArchiveArray_10_V2>(FSR_MSG_SEEK_TO_OFFSET_10_V2, {source_ + "/link", source_ + "/dir/alias"}, want);
    ASSERT_TRUE(sendMarker(8192));
    const size_t secondReply = want.size();
    want.emplace_back();

    // An empty array, as the engine forwards one, streams nothing.
    FSRSeekArchiveArray empty;
    ASSERT_TRUE(send(FSR_MSG_SEEK_TO_OFFSET, &empty, 16));
    ASSERT_TRUE(send(FSR_MSG_CLOSE_ARCHIVE));

    archivetest::Drained drained = archivetest::drain(archive_);
    ASSERT_FALSE(drained.failed) << drained.errorCode;
    ASSERT_EQ(drained.buffers.size(), want.size() + 1);
    EXPECT_EQ(drained.buffers.back().type, PL_FS_CLOSE_AFILE);
    drained.buffers.pop_back();
    expectProbeReply(drained.buffers[firstReply], 4096);
    expectProbeReply(drained.buffers[secondReply], 8192);
    want[firstReply] = drained.buffers[firstReply];
    want[secondReply] = drained.buffers[secondReply];
    expectSameBuffers(drained.buffers, want);
}

// Keep-alives, chunks, snap sources and the restore end ask nothing of this mover: they are taken and logged, and
// the stream holds only what the requests around them asked for.
TEST_F(HeadSession, MessagesThatAskForNoDataAreTakenAndStreamNothing) {
    wzlog::ScopedCapture log(5);
    openArchive();
    ASSERT_TRUE(sendOpen());
    ASSERT_TRUE(send(FSR_MSG_KEEPALIVE));

    struct {
        FSROpenChunk fixed;
        char tail[5] = {'t', 'a', 'i', 'l', '!'};
    } chunk;
    chunk.fixed.chunkId = 77;
    chunk.fixed.tailLength = sizeof chunk.tail;
    ASSERT_TRUE(send(FSR_MSG_OPEN_CHUNK, &chunk, sizeof chunk));
    FSRSnapSrcPath snap;
    snap.reserved1 = 1;
    snap.path = const_cast<char*>("/snap/one");
    ASSERT_TRUE(send(FSR_MSG_SNAP_SRC_PATH, &snap, sizeof snap));
    FSRSnapSrcPath snaps[2];
    snaps[0].path = const_cast<char*>("/snap/a");
    snaps[1].path = const_cast<char*>("/snap/b");
    FSRSnapSrcPathArray snapArray;
    snapArray.count = 2;
    snapArray.entries = snaps;
    ASSERT_TRUE(send(FSR_MSG_SNAP_SRC_PATH_ARRAY, &snapArray, sizeof snapArray));
    ASSERT_TRUE(send(FSR_MSG_KEEPALIVE));
    ASSERT_TRUE(send(FSR_MSG_CLOSE_ARCHIVE));
    ASSERT_TRUE(send(FSR_MSG_RESTORE_END));
    ASSERT_TRUE(send(FSR_MSG_KEEPALIVE));

    archivetest::Drained drained = archivetest::drain(archive_);
    ASSERT_FALSE(drained.failed);
    ASSERT_EQ(drained.buffers.size(), 1u);
    EXPECT_EQ(drained.buffers[0].type, PL_FS_CLOSE_AFILE);
    ASSERT_TRUE(waitForKeepalives(3));
    EXPECT_TRUE(log->contains("archive 1 open with copy 1"));
    EXPECT_TRUE(log->contains("chunk 77"));
    EXPECT_TRUE(log->contains("snap source /snap/one accepted"));
    EXPECT_TRUE(log->contains("2 snap sources accepted"));
    EXPECT_TRUE(log->contains("the restore has ended"));
}

TEST_F(HeadSession, StopEndsTheStreamAndLaterRequestsAreIgnored) {
    openArchive();
    ASSERT_TRUE(send(FSR_MSG_STOP));
    ASSERT_TRUE(send(FSR_MSG_READ_ALL));
    ASSERT_TRUE(send(FSR_MSG_CLOSE_ARCHIVE));
    // Served in order: once this keep-alive is counted, the requests before it have been turned away.
    ASSERT_TRUE(send(FSR_MSG_KEEPALIVE));
    ASSERT_TRUE(waitForKeepalives(1));
    ReadBufArgs_t args;
    ReadBufRet_t ret;
    EXPECT_EQ(archive_.readBuffer(&args, &ret), 1);
    EXPECT_EQ(ret.buffer, nullptr);
}

// The session ends while the mover streams: what was asked before the end still comes, then the stream fails, so
// the reader does not wait for a close that can no longer be asked for.
TEST_F(HeadSession, ASessionThatEndsMidStreamFailsTheStreamAfterWhatWasAsked) {
    openArchive();
    ASSERT_TRUE(send(FSR_MSG_READ_ALL));
    ReadBufArgs_t args;
    ReadBufRet_t first;
    for (int tries = 0; tries < 100 && first.buffer == nullptr; ++tries) {
        ASSERT_NE(archive_.readBuffer(&args, &first), 0);
    }
    ASSERT_NE(first.buffer, nullptr);
    std::vector<unsigned char> bytes(static_cast<unsigned char*>(first.buffer),
                                     static_cast<unsigned char*>(first.buffer) + 96 + first.payloadLength);
    FreeBufArgs_t freeArgs;
    archive_.freeBuffer(&freeArgs, nullptr);

    head_->shutdown();
    archivetest::Drained drained = archivetest::drain(archive_);
    EXPECT_TRUE(drained.failed);
    EXPECT_EQ(drained.errorCode, ECONNRESET);
    drained.buffers.insert(drained.buffers.begin(), RawBuffer{0, PL_FS_HDR, bytes});
    expectSameBuffers(drained.buffers, file_);
}

TEST_F(HeadSession, AMessageThatDoesNotDecodeFailsTheStreamAfterTheItemsBeforeIt) {
    openArchive();
    FSRSeekArchive seek;
    seek.offset = index_[source_ + "/small"];
    FSRSeekArchiveArray array;
    array.count = 1;
    array.entries = &seek;
    ASSERT_TRUE(send(FSR_MSG_SEEK_TO_OFFSET, &array, 16));
    // A seek array that claims three entries and carries none.
    std::vector<unsigned char> frame = {0, 0, 0, 12, 0, 0, 0, 0, 0x18, 0, 0, 0x95, 0, 0, 0, 3};
    ASSERT_EQ(::send(head_->fd(), frame.data(), frame.size(), MSG_NOSIGNAL), ssize_t(frame.size()));

    archivetest::Drained drained = archivetest::drain(archive_);
    EXPECT_TRUE(drained.failed);
    EXPECT_EQ(drained.errorCode, EBADMSG);
    expectSameBuffers(drained.buffers, itemOf(source_ + "/small"));
    EXPECT_FALSE(send(FSR_MSG_CLOSE_ARCHIVE)) << "the engine's next send must fail, not wait for a reader";
}

// The engine's reader waits in readBuffer while finalize closes the pipeline; the mover is stuck on a full ring
// because nobody reads. The close ends both, and the engine's stale session address stays safe to send on.
TEST_F(HeadSession, ClosePipelineEndsABlockedReadAndAStuckMover) {
    const size_t before = threadCount();
    openArchive();
    ASSERT_TRUE(send(FSR_MSG_READ_ALL));
    // The ring is sized for the stream: its slots follow the archive file's size.
    struct stat archiveFile;
    ASSERT_EQ(stat(fclarchive::archiveFilePath(FsRestoreArchive::mediaDirectory(), 1).c_str(), &archiveFile), 0);
    const size_t slots = fclarchive::BufferRing::slotsFor(static_cast<uint64_t>(archiveFile.st_size));

    std::atomic<bool> stop{false};
    std::atomic<size_t> held{0};
    // Takes every buffer and gives none back, so the mover runs out of slots; then keeps waiting for more.
    std::thread reader([&] {
        ReadBufArgs_t args;
        ReadBufRet_t ret;
        while (!stop.load()) {
            if (archive_.readBuffer(&args, &ret) != 0 && ret.buffer != nullptr) {
                held.fetch_add(1);
            }
        }
    });
    fcltest::finishesWithin(std::chrono::seconds(30), "closePipeline with a blocked reader and a stuck mover", [&] {
        while (held.load() < slots) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        archive_.closePipeline(nullptr, nullptr);
        stop.store(true);
        reader.join();
    });
    EXPECT_EQ(held.load(), slots) << "nothing is streamed into slots not given back";
    EXPECT_FALSE(archive_.isPipeLineRunning());
    EXPECT_EQ(archive_.mover(), nullptr);
    EXPECT_FALSE(send(FSR_MSG_CLOSE_ARCHIVE)) << "the closed session must refuse sends";
    EXPECT_TRUE(backTo(before)) << "threads of the pipeline are left after its close";
}

TEST_F(HeadSession, ReopeningEndsThePreviousSessionAndDestructionLeavesNoThread) {
    const size_t before = threadCount();
    {
        FsRestoreArchive archive(nullptr, nullptr, "client");
        OpenRet_t first;
        ASSERT_EQ(open(archive, 1, &first), 0);
        EXPECT_TRUE(backTo(before + 2)) << "the mover and its session's thread";
        OpenRet_t second;
        ASSERT_EQ(open(archive, 1, &second), 0);
        EXPECT_TRUE(backTo(before + 2));

        head_ = first.headSession;
        EXPECT_FALSE(send(FSR_MSG_READ_ALL)) << "the previous session must refuse sends";
        head_ = second.headSession;
        ASSERT_TRUE(send(FSR_MSG_READ_ALL));
        ASSERT_TRUE(send(FSR_MSG_CLOSE_ARCHIVE));
        archivetest::Drained drained = archivetest::drain(archive);
        ASSERT_FALSE(drained.failed);
        EXPECT_EQ(drained.buffers.size(), file_.size() + 1);
        // Destroyed with requests still coming in and a read-all half done.
        ASSERT_TRUE(send(FSR_MSG_READ_ALL));
    }
    EXPECT_TRUE(backTo(before));
}

}  // namespace
