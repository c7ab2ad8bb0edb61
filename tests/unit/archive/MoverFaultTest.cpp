#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/ArchiveMover.h"
#include "platform/archive/ArchiveWriter.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/StreamFixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/archive/ArchiveTestSupport.h"

namespace {

using archivetest::RawBuffer;

// Two items, six buffers: header, data, end; header, data, end.
std::vector<RawBuffer> writeTwoItems(const std::string& media) {
    fclarchive::ArchiveWriter writer;
    EXPECT_FALSE(writer.create(media, 1).IsError());
    std::vector<unsigned char> header = fcltest::fileHeaderFixture();
    std::string data(1000, 'z');
    EXPECT_FALSE(writer.writeBuffer(PL_FS_HDR, header.data(), header.size()).IsError());
    EXPECT_FALSE(writer.writeBuffer(PL_DATA, "hello", 5).IsError());
    EXPECT_FALSE(writer.writeBuffer(PL_FS_EOF, nullptr, 0).IsError());
    EXPECT_FALSE(writer.writeBuffer(PL_FS_HDR, header.data(), header.size()).IsError());
    EXPECT_FALSE(writer.writeBuffer(PL_DATA, data.data(), data.size()).IsError());
    EXPECT_FALSE(writer.writeBuffer(PL_FS_EOF, nullptr, 0).IsError());
    EXPECT_FALSE(writer.finish().IsError());
    return archivetest::splitArchive(fclarchive::archiveFilePath(media, 1));
}

struct FaultCase {
    const char* name;
    std::function<void(std::string& file, const std::vector<RawBuffer>& buffers)> damage;
    size_t delivered;  // sound buffers handed out before the read fails
};

void setLength(std::string& file, const RawBuffer& buffer, uint32_t length) {
    wzbytes::storeBE32(&file[buffer.offset + 0x24], length);
}

class MoverFaults : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        fclarchive::hooks::reset();
        FsRestoreArchive::setMediaDirectory(media_.path());
        buffers_ = writeTwoItems(media_.path());
        ASSERT_EQ(buffers_.size(), 6u);
    }
    void TearDown() override {
        FsRestoreArchive::setMediaDirectory("");
        fclarchive::hooks::reset();
    }

    void damage(const std::function<void(std::string&, const std::vector<RawBuffer>&)>& how) {
        std::string path = fclarchive::archiveFilePath(media_.path(), 1);
        std::string file = fcltest::readFile(path);
        how(file, buffers_);
        fcltest::writeFile(path, file);
    }

    // Opens the archive, lets `request` drive the mover, and checks that exactly the first `delivered` buffers
    // came before a read failure that then stays.
    void expectFailureAfter(size_t delivered, const std::function<void(fclarchive::ArchiveMover&)>& request) {
        FsRestoreArchive archive(nullptr, nullptr, "client");
        OpenArgs_t args;
        args.archiveFileId = 1;
        OpenRet_t ret;
        ASSERT_EQ(archive.open(&args, &ret), 0);
        request(*archive.mover());
        archive.mover()->close();
        archivetest::Drained drained = archivetest::drain(archive);
        EXPECT_TRUE(drained.failed) << "a damaged stream was read as sound";
        EXPECT_EQ(drained.errorCode, EBADMSG);
        ASSERT_EQ(drained.buffers.size(), delivered);
        for (size_t i = 0; i < delivered; ++i) {
            EXPECT_TRUE(drained.buffers[i].bytes == buffers_[i].bytes) << "buffer " << i;
        }
        ReadBufArgs_t readArgs;
        ReadBufRet_t again;
        EXPECT_EQ(archive.readBuffer(&readArgs, &again), 0) << "the failure did not stay";
        EXPECT_EQ(again.buffer, nullptr);
    }

    fcltest::ScratchDir media_{"faults"};
    std::vector<RawBuffer> buffers_;
};

TEST_P(MoverFaults, DamagedBufferIsAReadFailureAndNothingAfterItComes) {
    damage(GetParam().damage);
    expectFailureAfter(GetParam().delivered, [](fclarchive::ArchiveMover& mover) { mover.readAll(); });
}

INSTANTIATE_TEST_SUITE_P(
    Archive, MoverFaults,
    ::testing::Values(
        FaultCase{"flippedPayloadByte", [](std::string& f, auto& b) { f[b[4].offset + 96 + 10] ^= 1; }, 4},
        FaultCase{"flippedHeaderLengthByte", [](std::string& f, auto& b) { f[b[1].offset + 0x27] ^= 1; }, 1},
        FaultCase{"flippedMagic", [](std::string& f, auto& b) { f[b[2].offset] ^= 1; }, 2},
        FaultCase{"wrongOffsetField", [](std::string& f, auto& b) { f[b[3].offset + 0x17] ^= 1; }, 3},
        FaultCase{"truncatedPayload", [](std::string& f, auto& b) { f.resize(b[4].offset + 96 + 500); }, 4},
        FaultCase{"truncatedHeader", [](std::string& f, auto& b) { f.resize(b[5].offset + 50); }, 5},
        FaultCase{"lengthReachingIntoTheNext", [](std::string& f, auto& b) { setLength(f, b[1], 15); }, 1},
        FaultCase{"lengthPastTheEnd", [](std::string& f, auto& b) { setLength(f, b[4], 0x00ffffff); }, 4},
        FaultCase{"lengthOverTheLimit", [](std::string& f, auto& b) { setLength(f, b[0], 0xffffffff); }, 0},
        FaultCase{"fileHeaderTooShortWithAGoodCrc",
                  [](std::string& f, auto& b) {
                      setLength(f, b[3], 100);
                      wzbytes::storeBE32(&f[b[3].offset + 8], fclarchive::payloadCrc(f.data() + b[3].offset + 96, 100));
                  },
                  3},
        FaultCase{"garbageAppended", [](std::string& f, auto&) { f += "trailing junk"; }, 6}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

class MoverSeekFaults : public MoverFaults {};

TEST_F(MoverSeekFaults, SeekOutsideTheFileFails) {
    expectFailureAfter(0, [&](fclarchive::ArchiveMover& mover) { mover.seek({buffers_.back().offset + 96}); });
}

TEST_F(MoverSeekFaults, SeekIntoTheMiddleOfABufferFails) {
    expectFailureAfter(0, [&](fclarchive::ArchiveMover& mover) { mover.seek({buffers_[1].offset + 4}); });
}

TEST_F(MoverSeekFaults, ItemCutBeforeItsEndFails) {
    damage([](std::string& f, auto& b) { f.resize(b[2].offset); });
    expectFailureAfter(2, [&](fclarchive::ArchiveMover& mover) { mover.seek({buffers_[0].offset}); });
}

TEST_F(MoverSeekFaults, SoundSeeksBeforeABadOneStillArrive) {
    expectFailureAfter(3, [&](fclarchive::ArchiveMover& mover) {
        mover.seek({buffers_[0].offset});
        mover.seek({buffers_[3].offset + 1, buffers_[3].offset});
    });
}

TEST_F(MoverSeekFaults, InjectedCorruptionIsCaughtLikeARealOne) {
    fclarchive::hooks::corruptRead(1);
    expectFailureAfter(1, [](fclarchive::ArchiveMover& mover) { mover.readAll(); });
}

}  // namespace
