#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// The reason a read failure must give, from the archive file's path and its buffers as written.
using Reason = std::function<std::string(const std::string& file, const std::vector<RawBuffer>& buffers)>;

struct FaultCase {
    const char* name;
    std::function<void(std::string& file, const std::vector<RawBuffer>& buffers)> damage;
    size_t delivered;  // sound buffers handed out before the read fails
    Reason reason;
};

void setLength(std::string& file, const RawBuffer& buffer, uint32_t length) {
    wzbytes::storeBE32(&file[buffer.offset + 0x24], length);
}

// Gives a rewritten buffer the CRC it now needs, so that only what was rewritten is wrong with it.
void reseal(std::string& file, const RawBuffer& buffer) {
    auto* header = reinterpret_cast<unsigned char*>(&file[buffer.offset]);
    fclarchive::sealHeader(header, header + 96, wzbytes::loadBE32(header + 0x24));
}

void setType(std::string& file, const RawBuffer& buffer, uint32_t type) {
    wzbytes::storeBE32(&file[buffer.offset + 0x04], type);
    reseal(file, buffer);
}

// "<what> in <file> at offset <offset of buffer i>".
Reason at(const char* what, size_t i) {
    return [what, i](const std::string& f, const std::vector<RawBuffer>& b) {
        return std::string(what) + " in " + f + " at offset " + std::to_string(b[i].offset);
    };
}

Reason endsInsideBufferAt(std::function<uint64_t(const std::vector<RawBuffer>&)> offset) {
    return [offset](const std::string& f, const std::vector<RawBuffer>& b) {
        return f + " ends inside a buffer at offset " + std::to_string(offset(b));
    };
}

// The file ends at the start of buffer `end`, inside the item that starts with buffer `item`.
Reason endsInsideItem(size_t end, size_t item) {
    return [end, item](const std::string& f, const std::vector<RawBuffer>& b) {
        return f + " ends without the end of its last item at offset " + std::to_string(b[end].offset) +
               " (the item starts at offset " + std::to_string(b[item].offset) + ")";
    };
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

    std::string path() const { return fclarchive::archiveFilePath(media_.path(), 1); }

    void damage(const std::function<void(std::string&, const std::vector<RawBuffer>&)>& how) {
        std::string file = fcltest::readFile(path());
        how(file, buffers_);
        fcltest::writeFile(path(), file);
    }

    // Opens the archive, lets `request` drive the mover, and checks that exactly the first `delivered` buffers
    // came before a read failure that then stays, and that the reader says why.
    void expectFailureAfter(size_t delivered, const std::string& reason,
                            const std::function<void(fclarchive::ArchiveMover&)>& request) {
        FsRestoreArchive archive(nullptr, nullptr, "client");
        OpenArgs_t args;
        args.archiveFileId = 1;
        OpenRet_t ret;
        ASSERT_EQ(archive.open(&args, &ret), 0);
        EXPECT_EQ(archive.lastErrorText(), "");
        request(*archive.mover());
        archive.mover()->close();
        archivetest::Drained drained = archivetest::drain(archive);
        EXPECT_TRUE(drained.failed) << "a damaged stream was read as sound";
        EXPECT_EQ(drained.errorCode, EBADMSG);
        EXPECT_EQ(archive.lastErrorText(), reason);
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

TEST_P(MoverFaults, DamagedBufferIsAReadFailureWithItsReasonAndNothingAfterItComes) {
    damage(GetParam().damage);
    expectFailureAfter(GetParam().delivered, GetParam().reason(path(), buffers_),
                       [](fclarchive::ArchiveMover& mover) { mover.readAll(); });
}

uint64_t endOf(const std::vector<RawBuffer>& b) {
    return b.back().offset + b.back().bytes.size();
}

INSTANTIATE_TEST_SUITE_P(
    Archive, MoverFaults,
    ::testing::Values(
        FaultCase{"flippedPayloadByte", [](std::string& f, auto& b) { f[b[4].offset + 96 + 10] ^= 1; }, 4,
                  at("checksum mismatch", 4)},
        // The checksum covers the header: a damaged type, length or compressed length is caught as a damaged
        // payload byte is, whatever the damaged field now says.
        FaultCase{"flippedTypeByte", [](std::string& f, auto& b) { f[b[1].offset + 0x07] ^= 1; }, 1,
                  at("checksum mismatch", 1)},
        FaultCase{"typeTurnedIntoAnEnd", [](std::string& f, auto& b) { f[b[1].offset + 0x07] = '\x82'; }, 1,
                  at("checksum mismatch", 1)},
        FaultCase{"flippedHeaderLengthByte", [](std::string& f, auto& b) { f[b[1].offset + 0x27] ^= 1; }, 1,
                  at("checksum mismatch", 1)},
        FaultCase{"lengthReachingIntoTheNext", [](std::string& f, auto& b) { setLength(f, b[1], 15); }, 1,
                  at("checksum mismatch", 1)},
        FaultCase{"flippedCompressedLengthByte", [](std::string& f, auto& b) { f[b[4].offset + 0x2b] ^= 1; }, 4,
                  at("checksum mismatch", 4)},
        FaultCase{"flippedUnusedHeaderByte", [](std::string& f, auto& b) { f[b[2].offset + 0x50] ^= 1; }, 2,
                  at("checksum mismatch", 2)},
        FaultCase{"flippedMagic", [](std::string& f, auto& b) { f[b[2].offset] ^= 1; }, 2, at("no buffer header", 2)},
        FaultCase{"wrongOffsetField", [](std::string& f, auto& b) { f[b[3].offset + 0x17] ^= 1; }, 3,
                  at("a buffer header out of its place", 3)},
        FaultCase{"lengthOverTheLimit", [](std::string& f, auto& b) { setLength(f, b[0], 0xffffffff); }, 0,
                  at("a payload length beyond the limit", 0)},
        FaultCase{"fileHeaderTooShortWithAGoodCrc",
                  [](std::string& f, auto& b) {
                      setLength(f, b[3], 100);
                      reseal(f, b[3]);
                  },
                  3, at("a payload too short for its buffer type", 3)},
        FaultCase{"unknownTypeWithAGoodCrc", [](std::string& f, auto& b) { setType(f, b[1], 0x1234); }, 1,
                  at("an unknown buffer type", 1)},
        FaultCase{"endOfArchiveInsideTheFile", [](std::string& f, auto& b) { setType(f, b[2], PL_FS_CLOSE_AFILE); }, 2,
                  at("an end-of-archive buffer inside the file", 2)},
        FaultCase{"truncatedPayload", [](std::string& f, auto& b) { f.resize(b[4].offset + 96 + 500); }, 4,
                  endsInsideBufferAt([](auto& b) { return b[4].offset; })},
        FaultCase{"truncatedHeader", [](std::string& f, auto& b) { f.resize(b[5].offset + 50); }, 5,
                  endsInsideBufferAt([](auto& b) { return b[5].offset; })},
        FaultCase{"lengthPastTheEnd", [](std::string& f, auto& b) { setLength(f, b[4], 0x00ffffff); }, 4,
                  endsInsideBufferAt([](auto& b) { return b[4].offset; })},
        FaultCase{"garbageAppended", [](std::string& f, auto&) { f += "trailing junk"; }, 6, endsInsideBufferAt(endOf)},
        // Cut at a buffer boundary: every buffer left is sound, only the item left open tells.
        FaultCase{"cutBeforeTheLastEnd", [](std::string& f, auto& b) { f.resize(b[5].offset); }, 5,
                  endsInsideItem(5, 3)},
        FaultCase{"cutAfterTheLastFileHeader", [](std::string& f, auto& b) { f.resize(b[4].offset); }, 4,
                  endsInsideItem(4, 3)},
        FaultCase{"cutBeforeTheFirstEnd", [](std::string& f, auto& b) { f.resize(b[2].offset); }, 2,
                  endsInsideItem(2, 0)},
        FaultCase{"emptied", [](std::string& f, auto&) { f.clear(); }, 0,
                  [](const std::string& f, auto&) { return f + " is empty: no buffer at offset 0"; }}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

class MoverSeekFaults : public MoverFaults {};

TEST_F(MoverSeekFaults, SeekOutsideTheFileFails) {
    const uint64_t end = endOf(buffers_);
    expectFailureAfter(0,
                       "seek past the end of " + path() + ": offset " + std::to_string(end + 96) + " of a file of " +
                           std::to_string(end) + " bytes",
                       [&](fclarchive::ArchiveMover& mover) { mover.seek({end + 96}); });
}

TEST_F(MoverSeekFaults, SeekToTheEndOfTheFileFails) {
    const uint64_t end = endOf(buffers_);
    expectFailureAfter(0,
                       "seek past the end of " + path() + ": offset " + std::to_string(end) + " of a file of " +
                           std::to_string(end) + " bytes",
                       [&](fclarchive::ArchiveMover& mover) { mover.seek({end}); });
}

TEST_F(MoverSeekFaults, SeekIntoTheMiddleOfABufferFails) {
    expectFailureAfter(0, "no buffer header in " + path() + " at offset " + std::to_string(buffers_[1].offset + 4),
                       [&](fclarchive::ArchiveMover& mover) { mover.seek({buffers_[1].offset + 4}); });
}

TEST_F(MoverSeekFaults, ItemCutBeforeItsEndFails) {
    damage([](std::string& f, auto& b) { f.resize(b[2].offset); });
    expectFailureAfter(2, endsInsideItem(2, 0)(path(), buffers_),
                       [&](fclarchive::ArchiveMover& mover) { mover.seek({buffers_[0].offset}); });
}

TEST_F(MoverSeekFaults, SoundSeeksBeforeABadOneStillArrive) {
    expectFailureAfter(3, "no buffer header in " + path() + " at offset " + std::to_string(buffers_[3].offset + 1),
                       [&](fclarchive::ArchiveMover& mover) {
                           mover.seek({buffers_[0].offset});
                           mover.seek({buffers_[3].offset + 1, buffers_[3].offset});
                       });
}

TEST_F(MoverSeekFaults, InjectedCorruptionIsCaughtLikeARealOne) {
    fclarchive::hooks::corruptRead(1);
    expectFailureAfter(1, at("checksum mismatch", 1)(path(), buffers_),
                       [](fclarchive::ArchiveMover& mover) { mover.readAll(); });
}

// Bytes that cannot be read are no damage of the stream: a PL_FS_READ_ERR naming the archive and the offset takes
// their place and the stream goes on with the next sound buffer, whether the whole file is read or items are sought.
TEST_F(MoverSeekFaults, AnUnreadableBufferIsReportedInItsPlaceAndTheStreamGoesOn) {
    const std::vector<std::function<void(fclarchive::ArchiveMover&)>> requests = {
        [](fclarchive::ArchiveMover& mover) { mover.readAll(); },
        [&](fclarchive::ArchiveMover& mover) {
            mover.seek({buffers_[0].offset, buffers_[3].offset});
        },
    };
    for (size_t r = 0; r < requests.size(); ++r) {
        SCOPED_TRACE(r == 0 ? "read whole" : "seeks");
        fclarchive::hooks::failDataRead(0);
        FsRestoreArchive archive(nullptr, nullptr, "client");
        OpenArgs_t args;
        args.archiveFileId = 1;
        OpenRet_t ret;
        ASSERT_EQ(archive.open(&args, &ret), 0);
        requests[r](*archive.mover());
        archive.mover()->close();
        archivetest::Drained drained = archivetest::drain(archive);
        EXPECT_FALSE(drained.failed) << archive.lastErrorText();
        ASSERT_EQ(drained.buffers.size(), 7u);
        const auto* report = drained.buffers[1].bytes.data() + 96;
        EXPECT_EQ(drained.buffers[1].type, PL_FS_READ_ERR);
        EXPECT_EQ(wzbytes::loadBE64(report + 48), 1u);
        EXPECT_EQ(wzbytes::loadBE64(report + 56), buffers_[1].offset);
        for (size_t i : {0, 2, 3, 4, 5}) {
            EXPECT_TRUE(drained.buffers[i].bytes == buffers_[i].bytes) << "buffer " << i;
        }
        EXPECT_EQ(drained.buffers[6].type, PL_FS_CLOSE_AFILE);
    }
}

// What is not a regular file is refused at the open, with a reason naming it; a FIFO is refused without waiting
// for a writer.
TEST_F(MoverSeekFaults, AnArchiveFileThatIsNoRegularFileIsRefusedAtTheOpen) {
    const struct {
        const char* what;
        std::function<void(const std::string& path)> replace;
        int error;
        std::string reason;
    } cases[] = {
        {"a directory", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }, EINVAL,
         "archive file " + path() + " is not a regular file"},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, EINVAL,
         "archive file " + path() + " is not a regular file"},
        {"missing", [](const std::string&) {}, ENOENT, "cannot open archive file " + path() + ": " + strerror(ENOENT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(unlink(path().c_str()), 0);
        c.replace(path());
        FsRestoreArchive archive(nullptr, nullptr, "client");
        OpenArgs_t args;
        args.archiveFileId = 1;
        OpenRet_t ret;
        EXPECT_EQ(archive.open(&args, &ret), c.error);
        EXPECT_EQ(ret.headSession, nullptr);
        EXPECT_EQ(archive.lastErrorText(), c.reason);
        rmdir(path().c_str());
        unlink(path().c_str());
        fcltest::writeFile(path(), "");
    }
}

}  // namespace
