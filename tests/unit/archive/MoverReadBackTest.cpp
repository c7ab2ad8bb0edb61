#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/ArchiveMover.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"
#include "tests/unit/archive/ArchiveTestSupport.h"
#include "tests/unit/archive/PackedTree.h"

namespace {

using archivetest::RawBuffer;

// The packed tree read back through the archive reader, driving the mover's core directly.
class MoverReadBack : public archivetest::PackedTree {};

TEST_F(MoverReadBack, ReadAllDeliversEveryBufferByteForByteThenTheClose) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    OpenRet_t ret;
    ASSERT_EQ(open(archive, 1, &ret), 0);
    EXPECT_TRUE(archive.isPipeLineRunning());
    EXPECT_EQ(ret.archFileAppType, fclarchive::kArchiveAppType);
    EXPECT_EQ(ret.copyId, 1u);
    ASSERT_NE(archive.mover(), nullptr);

    archive.mover()->readAll();
    archive.mover()->close();
    archivetest::Drained drained = archivetest::drain(archive);
    ASSERT_FALSE(drained.failed) << drained.errorCode;
    ASSERT_EQ(drained.buffers.size(), file_.size() + 1);
    EXPECT_EQ(drained.buffers.back().type, PL_FS_CLOSE_AFILE);
    EXPECT_EQ(drained.buffers.back().payloadLength(), 0u);
    drained.buffers.pop_back();
    expectSameBuffers(drained.buffers, file_);
}

TEST_F(MoverReadBack, EachSeekDeliversItsItemThroughItsEnd) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    ASSERT_EQ(open(archive, 1), 0);
    const std::vector<std::string> picked{source_ + "/dir/big", source_ + "/sparse", source_ + "/dir",
                                          source_ + "/link", source_ + "/dir/alias"};
    std::vector<uint64_t> offsets;
    std::vector<RawBuffer> want;
    for (const std::string& path : picked) {
        offsets.push_back(index_[path]);
        for (RawBuffer& buffer : itemOf(path)) {
            want.push_back(std::move(buffer));
        }
    }
    archive.mover()->seek({offsets[0], offsets[1]});
    archive.mover()->seek({offsets[2], offsets[3], offsets[4]});
    archive.mover()->close();
    archivetest::Drained drained = archivetest::drain(archive);
    ASSERT_FALSE(drained.failed) << drained.errorCode;
    drained.buffers.pop_back();
    expectSameBuffers(drained.buffers, want);

    // The hard-link member's seek brings the whole group: one item whose every name follows its header.
    std::vector<RawBuffer> group = archivetest::itemAt(file_, index_[source_ + "/dir/alias"]);
    ASSERT_GE(group.size(), 3u);
    EXPECT_EQ(group.front().type, PL_FS_HDR);
    EXPECT_EQ(group.back().type, PL_FS_EOF);
    std::set<std::string> names;
    for (const RawBuffer& buffer : group) {
        if (buffer.type == PL_FS_OPT_HDR2) {
            names.insert(reinterpret_cast<const char*>(buffer.payload()));
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{source_ + "/small", source_ + "/dir/alias"}));
}

TEST_F(MoverReadBack, ProbeIsAnsweredAfterTheSeeksBeforeIt) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    ASSERT_EQ(open(archive, 1), 0);
    archive.mover()->seek({index_[source_ + "/small"]});
    archive.mover()->probe(4096);
    archive.mover()->close();
    archivetest::Drained drained = archivetest::drain(archive);
    ASSERT_FALSE(drained.failed);
    size_t itemLength = archivetest::itemAt(file_, index_[source_ + "/small"]).size();
    ASSERT_EQ(drained.buffers.size(), itemLength + 2);
    const RawBuffer& reply = drained.buffers[itemLength];
    EXPECT_EQ(reply.type, PL_FS_PROBE_REPLY);
    ASSERT_EQ(reply.payloadLength(), 16u);
    EXPECT_EQ(wzbytes::loadBE64(reply.payload()), 4096u);
    EXPECT_EQ(wzbytes::loadBE64(reply.payload() + 8), 1u);
    EXPECT_EQ(wzbytes::loadBE32(reply.bytes.data()), fclarchive::kBufferMagic);
}

TEST_F(MoverReadBack, HandedOutBufferIsWritableAndStaysUntilGivenBack) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    ASSERT_EQ(open(archive, 1), 0);
    archive.mover()->readAll();
    ReadBufArgs_t args;
    ReadBufRet_t first;
    ReadBufRet_t second;
    auto next = [&](ReadBufRet_t& ret) {
        for (int tries = 0; tries < 100; ++tries) {
            ASSERT_NE(archive.readBuffer(&args, &ret), 0);
            if (ret.buffer != nullptr) {
                return;
            }
        }
        FAIL() << "no buffer came";
    };
    next(first);
    ASSERT_EQ(first.bufType, PL_FS_HDR);
    std::vector<unsigned char> copy(static_cast<unsigned char*>(first.buffer),
                                    static_cast<unsigned char*>(first.buffer) + 96 + first.payloadLength);
    // The engine rewrites payloads in place.
    static_cast<unsigned char*>(first.buffer)[96 + CXHDR_FIXED_SIZE] = '#';
    next(second);
    EXPECT_NE(second.buffer, first.buffer);
    EXPECT_EQ(static_cast<unsigned char*>(first.buffer)[96 + CXHDR_FIXED_SIZE], '#');
    EXPECT_EQ(0, memcmp(first.buffer, copy.data(), 96 + CXHDR_FIXED_SIZE));
    FreeBufArgs_t freeArgs;
    EXPECT_EQ(archive.freeBuffer(&freeArgs, nullptr), 1);
    EXPECT_EQ(archive.freeBuffer(&freeArgs, nullptr), 1);
    EXPECT_EQ(archive.freeBuffer(&freeArgs, nullptr), 0);
}

TEST_F(MoverReadBack, IdleReadSucceedsWithNoBufferWithinItsBound) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    ASSERT_EQ(open(archive, 1), 0);
    ReadBufArgs_t args;
    ReadBufRet_t ret;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(archive.readBuffer(&args, &ret), 1);
    EXPECT_EQ(ret.buffer, nullptr);
    // The bound the reader relies on is 200 ms; the margin absorbs a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_LE(FsRestoreArchive::kIdleWait, std::chrono::milliseconds(200));

    archive.closePipeline(nullptr, nullptr);
    EXPECT_FALSE(archive.isPipeLineRunning());
    EXPECT_EQ(archive.readBuffer(&args, &ret), 1);
    EXPECT_EQ(ret.buffer, nullptr);
}

TEST_F(MoverReadBack, FailedOpensLeaveNoPipeline) {
    FsRestoreArchive archive(nullptr, nullptr, "client");
    EXPECT_EQ(open(archive, 99), ENOENT);
    EXPECT_FALSE(archive.isPipeLineRunning());

    fclarchive::hooks::failNextOpen(EACCES);
    EXPECT_EQ(open(archive, 1), EACCES);
    EXPECT_FALSE(archive.isPipeLineRunning());
    EXPECT_EQ(open(archive, 1), 0) << "the hook fails one open only";
    EXPECT_TRUE(archive.isPipeLineRunning());

    FsRestoreArchive::setMediaDirectory("");
    unsetenv("FCL_MEDIA_DIR");
    EXPECT_EQ(open(archive, 1), ENOENT);
    EXPECT_FALSE(archive.isPipeLineRunning());
    setenv("FCL_MEDIA_DIR", media_.c_str(), 1);
    EXPECT_EQ(open(archive, 1), 0);
    unsetenv("FCL_MEDIA_DIR");
}

TEST_F(MoverReadBack, EveryArchiveOfASplitPackReadsBackWhole) {
    std::string media = scratch_ / "split";
    ASSERT_EQ(archivetest::runPack({"--archives", "2", source_, media}), 0);
    FsRestoreArchive::setMediaDirectory(media);
    FsRestoreArchive archive(nullptr, nullptr, "client");
    for (uint64_t id : fclarchive::listArchiveFiles(media)) {
        ASSERT_EQ(open(archive, id), 0);
        archive.mover()->readAll();
        archive.mover()->close();
        archivetest::Drained drained = archivetest::drain(archive);
        ASSERT_FALSE(drained.failed);
        drained.buffers.pop_back();
        expectSameBuffers(drained.buffers, archivetest::splitArchive(fclarchive::archiveFilePath(media, id)));
    }
}

}  // namespace
