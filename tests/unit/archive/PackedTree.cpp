#include "tests/unit/archive/PackedTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/FsRestoreArchive.h"

namespace archivetest {

void PackedTree::SetUp() {
    fclarchive::hooks::reset();
    std::string src = scratch_ / "src";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(src.c_str(), resolved), nullptr);
    source_ = resolved;
    ASSERT_EQ(mkdir((source_ + "/dir").c_str(), 0755), 0);
    fcltest::writeFile(source_ + "/dir/big", std::string(700 << 10, 'b'));
    fcltest::writeFile(source_ + "/small", "small");
    ASSERT_EQ(link((source_ + "/small").c_str(), (source_ + "/dir/alias").c_str()), 0);
    ASSERT_EQ(symlink("small", (source_ + "/link").c_str()), 0);
    int fd = ::open((source_ + "/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 1 << 20), 0);
    ASSERT_EQ(pwrite(fd, "x", 1, 300000), 1);
    close(fd);
    media_ = scratch_ / "media";
    ASSERT_EQ(runPack({"--buffer", "64", source_, media_}), 0);
    file_ = splitArchive(fclarchive::archiveFilePath(media_, 1));
    for (const fclarchive::IndexEntry& entry : readIndex(fclarchive::indexFilePath(media_, 1))) {
        index_[entry.path] = entry.offset;
    }
    FsRestoreArchive::setMediaDirectory(media_);
}

void PackedTree::TearDown() {
    FsRestoreArchive::setMediaDirectory("");
    fclarchive::hooks::reset();
}

int PackedTree::open(FsRestoreArchive& archive, uint64_t id, OpenRet_t* result) {
    OpenArgs_t args;
    args.archiveFileId = id;
    OpenRet_t ret;
    int rc = archive.open(&args, &ret);
    if (result != nullptr) {
        *result = ret;
    }
    return rc;
}

void PackedTree::expectSameBuffers(const std::vector<RawBuffer>& got, const std::vector<RawBuffer>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].type, want[i].type) << "buffer " << i;
        EXPECT_TRUE(got[i].bytes == want[i].bytes) << "buffer " << i << " at " << want[i].offset;
    }
}

std::vector<RawBuffer> PackedTree::itemOf(const std::string& path) {
    EXPECT_EQ(index_.count(path), 1u) << path;
    return itemAt(file_, index_[path]);
}

}  // namespace archivetest
