#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/StreamRecords.h"
#include "platform/support/ByteOrder.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/archive/ArchiveTestSupport.h"

namespace {

using archivetest::StreamItem;

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    EXPECT_NE(realpath(path.c_str(), resolved), nullptr) << path;
    return resolved;
}

void makeDir(const std::string& path, mode_t mode = 0755) {
    ASSERT_EQ(mkdir(path.c_str(), mode), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

void makeSocket(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    close(fd);
}

// A file of `size` bytes with data only in the given ranges.
void makeSparse(const std::string& path, uint64_t size, const std::vector<std::pair<uint64_t, uint64_t>>& data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    for (auto [at, length] : data) {
        std::string bytes(length, 'd');
        ASSERT_EQ(pwrite(fd, bytes.data(), length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
    }
    close(fd);
}

// Whether the file system tells holes apart (a file made by makeSparse with data at `at` first).
bool reportsHoles(const std::string& path, uint64_t firstData) {
    int fd = open(path.c_str(), O_RDONLY);
    off_t data = lseek(fd, 0, SEEK_DATA);
    close(fd);
    return data == static_cast<off_t>(firstData);
}

class Packer : public ::testing::Test {
protected:
    void SetUp() override {
        makeDir(scratch_ / "src");
        source_ = realPath(scratch_ / "src");
        media_ = scratch_ / "media";
    }

    std::string src(const std::string& name) const { return source_ + "/" + name; }

    int pack(std::vector<std::string> options = {}, std::string* errors = nullptr) {
        options.push_back(source_);
        options.push_back(media_);
        return archivetest::runPack(options, errors);
    }

    std::vector<archivetest::RawBuffer> buffers(uint64_t id = 1) {
        return archivetest::splitArchive(fclarchive::archiveFilePath(media_, id));
    }

    std::vector<StreamItem> items(uint64_t id = 1) { return archivetest::itemsOf(buffers(id)); }

    std::map<std::string, StreamItem> byName(uint64_t id = 1) {
        std::map<std::string, StreamItem> named;
        for (StreamItem& item : items(id)) {
            EXPECT_TRUE(named.emplace(item.name(), item).second) << "packed twice: " << item.name();
        }
        return named;
    }

    fcltest::ScratchDir scratch_{"packer"};
    std::string source_;
    std::string media_;
};

TEST_F(Packer, EveryItemKindGoesRootFirstWithItsHeaderFromLstat) {
    fcltest::writeFile(src("empty"), "");
    fcltest::writeFile(src("one"), "x");
    fcltest::writeFile(src("page"), std::string(4096, 'p'));
    fcltest::writeFile(src("name with space\tand tab\nand line"), "odd name");
    fcltest::writeFile(src("ünïcødé"), "utf8");
    fcltest::writeFile(src("setid"), "s");
    ASSERT_EQ(chmod(src("setid").c_str(), 06755), 0);
    makeDir(src("sticky"), 01777);
    makeDir(src("sticky/sub"));
    fcltest::writeFile(src("sticky/sub/deep.txt"), "deep");
    ASSERT_EQ(symlink("one", src("link").c_str()), 0);
    ASSERT_EQ(symlink("/nowhere/at/all", src("dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(src("fifo").c_str(), 0640), 0);
    makeSocket(src("sock"));

    ASSERT_EQ(pack(), 0);
    std::vector<StreamItem> packed = items();
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(packed.front().name(), source_);

    std::set<std::string> names;
    for (const StreamItem& item : packed) {
        SCOPED_TRACE(item.name());
        struct stat info;
        ASSERT_EQ(lstat(item.name().c_str(), &info), 0);
        names.insert(item.name());
        const CXFileHeader& h = item.header;
        EXPECT_EQ(h.h_version, 1u);
        EXPECT_EQ(h.h_platform, 25);
        EXPECT_EQ(h.h_namelen, item.name().size() + 1);
        EXPECT_EQ(h.h_mode, info.st_mode);
        EXPECT_EQ(h.h_uid, info.st_uid);
        EXPECT_EQ(h.h_gid, info.st_gid);
        EXPECT_EQ(h.h_nlink, info.st_nlink);
        EXPECT_EQ(h.h_mtime, static_cast<uint64_t>(info.st_mtime));
        EXPECT_EQ(h.h_ctime, static_cast<uint64_t>(info.st_ctime));
        EXPECT_EQ((uint64_t{h.h_inoHigh} << 32) | h.h_inoLow, info.st_ino);
        EXPECT_EQ(item.end, PL_FS_EOF);
        EXPECT_FALSE(item.groupStart);
        if (S_ISREG(info.st_mode)) {
            EXPECT_EQ(h.h_size, static_cast<uint64_t>(info.st_size));
            EXPECT_EQ(item.data, fcltest::readFile(item.name()));
        } else if (S_ISLNK(info.st_mode)) {
            char target[PATH_MAX];
            ssize_t length = readlink(item.name().c_str(), target, sizeof target);
            EXPECT_EQ(item.data, std::string(target, static_cast<size_t>(length)));
            EXPECT_EQ(h.h_size, static_cast<uint64_t>(length));
        } else {
            EXPECT_TRUE(item.body.empty());
        }
    }
    std::set<std::string> expected{source_};
    for (const char* name : {"empty", "one", "page", "name with space\tand tab\nand line", "ünïcødé", "setid", "sticky",
                             "sticky/sub", "sticky/sub/deep.txt", "link", "dangling", "fifo", "sock"}) {
        expected.insert(src(name));
    }
    EXPECT_EQ(names, expected);

    // The index names each item at its first buffer, with its kind, in stream order; directories first.
    std::vector<fclarchive::IndexEntry> index = archivetest::readIndex(fclarchive::indexFilePath(media_, 1));
    ASSERT_EQ(index.size(), packed.size());
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < index.size(); ++i) {
        EXPECT_EQ(index[i].offset, packed[i].offset);
        EXPECT_EQ(index[i].path, packed[i].name());
        position[index[i].path] = i;
    }
    EXPECT_LT(position[src("sticky")], position[src("sticky/sub")]);
    EXPECT_LT(position[src("sticky/sub")], position[src("sticky/sub/deep.txt")]);
    const std::map<std::string, std::string> kinds{{"one", "file"},  {"sticky", "dir"},  {"link", "symlink"},
                                                   {"fifo", "fifo"}, {"sock", "socket"}, {"empty", "file"}};
    for (const auto& [name, kind] : kinds) {
        EXPECT_EQ(index[position[src(name)]].kind, kind) << name;
    }
}

TEST_F(Packer, HolesAtStartMiddleAndEndGoAsHoleBuffers) {
    const uint64_t k = 4096;
    makeSparse(src("sparse"), 50 * k, {{16 * k, k}, {33 * k, k}});
    if (!reportsHoles(src("sparse"), 16 * k)) {
        GTEST_SKIP() << "the file system does not report holes";
    }
    ASSERT_EQ(pack(), 0);
    StreamItem item = byName()[src("sparse")];
    std::vector<std::pair<uint32_t, uint64_t>> want{
        {PL_HOLE, 16 * k}, {PL_DATA, k}, {PL_HOLE, 16 * k}, {PL_DATA, k}, {PL_HOLE, 16 * k}};
    EXPECT_EQ(item.body, want);
    EXPECT_EQ(item.header.h_size, 50 * k);
    EXPECT_EQ(item.data, std::string(2 * k, 'd'));
}

TEST_F(Packer, AHoleOfFourGibibytesOrMoreIsSplit) {
    const uint64_t gib = uint64_t{1} << 30;
    makeSparse(src("huge"), 5 * gib + 4096, {{5 * gib, 4096}});
    if (!reportsHoles(src("huge"), 5 * gib)) {
        GTEST_SKIP() << "the file system does not report holes";
    }
    ASSERT_EQ(pack(), 0);
    StreamItem item = byName()[src("huge")];
    uint64_t holes = 0;
    size_t holeBuffers = 0;
    for (auto [type, length] : item.body) {
        if (type == PL_HOLE) {
            EXPECT_LE(length, gib);
            EXPECT_GT(length, 0u);
            holes += length;
            ++holeBuffers;
        }
    }
    EXPECT_EQ(holes, 5 * gib);
    EXPECT_EQ(holeBuffers, 5u);
    EXPECT_EQ(item.body.back(), std::make_pair(static_cast<uint32_t>(PL_DATA), uint64_t{4096}));
}

TEST_F(Packer, DataGoesInBuffersOfTheAskedSize) {
    std::string content;
    for (int i = 0; i < 5000; ++i) {
        content += static_cast<char>('a' + i % 26);
    }
    fcltest::writeFile(src("f"), content);
    ASSERT_EQ(pack({"--buffer", "1"}), 0);
    StreamItem item = byName()[src("f")];
    std::vector<std::pair<uint32_t, uint64_t>> want{
        {PL_DATA, 1024}, {PL_DATA, 1024}, {PL_DATA, 1024}, {PL_DATA, 1024}, {PL_DATA, 904}};
    EXPECT_EQ(item.body, want);
    EXPECT_EQ(item.data, content);
}

TEST_F(Packer, HardLinkGroupIsOneItemCarryingEveryNameBeforeItsData) {
    fcltest::writeFile(src("a"), "shared");
    makeDir(src("b"));
    ASSERT_EQ(link(src("a").c_str(), src("b/c").c_str()), 0);
    ASSERT_EQ(link(src("a").c_str(), src("z").c_str()), 0);
    // A link whose other name lies outside the tree is an ordinary item.
    fcltest::writeFile(scratch_ / "outside", "solo");
    ASSERT_EQ(link((scratch_ / "outside").c_str(), src("solo").c_str()), 0);

    ASSERT_EQ(pack(), 0);
    std::vector<StreamItem> packed = items();
    std::vector<StreamItem> groups;
    for (const StreamItem& item : packed) {
        EXPECT_NE(item.name(), src("b/c"));
        EXPECT_NE(item.name(), src("z"));
        if (!item.groupNames.empty()) {
            groups.push_back(item);
        }
    }
    ASSERT_EQ(groups.size(), 1u);
    const StreamItem& group = groups[0];
    EXPECT_FALSE(group.groupStart) << "no pre-header: the names travel with the item";
    EXPECT_EQ(std::string(group.header.h_filename).rfind("/__WZHardLink@-@-Files__/", 0), 0u)
        << group.header.h_filename;
    EXPECT_EQ(group.groupNames, (std::vector<std::string>{src("a"), src("b/c"), src("z")}));
    EXPECT_EQ(group.header.h_nlink, 3u);
    EXPECT_EQ(group.data, "shared");

    StreamItem solo = byName()[src("solo")];
    EXPECT_FALSE(solo.groupStart);
    EXPECT_EQ(solo.header.h_nlink, 2u);
    EXPECT_EQ(solo.data, "solo");

    std::map<std::string, fclarchive::IndexEntry> index;
    for (const fclarchive::IndexEntry& entry : archivetest::readIndex(fclarchive::indexFilePath(media_, 1))) {
        index[entry.path] = entry;
    }
    EXPECT_EQ(index[src("a")].kind, "file");
    for (const char* name : {"a", "b/c", "z"}) {
        EXPECT_EQ(index[src(name)].offset, group.offset) << name;
    }
    EXPECT_EQ(index[src("b/c")].kind, "hardlink");
}

TEST_F(Packer, AclsAndExtendedAttributesGoInTheOptionalHeader) {
    fcltest::writeFile(src("plain"), "p");
    fcltest::writeFile(src("rich"), "r");
    makeDir(src("dir"));
    if (archivetest::runProgram("setfacl", {"-m", "u:1234:rw-", src("rich")}) != 0 ||
        archivetest::runProgram("setfacl", {"-d", "-m", "u:1234:rwx", src("dir")}) != 0) {
        GTEST_SKIP() << "setfacl is missing or the file system has no ACLs";
    }
    ASSERT_EQ(setxattr(src("rich").c_str(), "user.color", "blue", 4, 0), 0);

    ASSERT_EQ(pack(), 0);
    std::map<std::string, StreamItem> named = byName();
    EXPECT_FALSE(named[src("plain")].hasOptHeader);

    // Entries of an optional header by tag, read straight from its bytes.
    auto entries = [](const std::vector<unsigned char>& payload) {
        std::multimap<uint32_t, std::string> found;
        EXPECT_GE(payload.size(), 16u);
        EXPECT_EQ(wzbytes::loadBE32(payload.data()), 1u);
        EXPECT_EQ(wzbytes::loadBE32(payload.data() + 4), payload.size() - 16);
        for (size_t at = 16; at + 8 <= payload.size();) {
            uint32_t length = wzbytes::loadBE32(payload.data() + at + 4);
            EXPECT_LE(at + 8 + length, payload.size());
            found.emplace(wzbytes::loadBE32(payload.data() + at),
                          std::string(reinterpret_cast<const char*>(payload.data()) + at + 8, length));
            at += 8 + length;
        }
        return found;
    };
    StreamItem rich = named[src("rich")];
    ASSERT_TRUE(rich.hasOptHeader);
    auto richEntries = entries(rich.optHeader);
    ASSERT_EQ(richEntries.count(fclarchive::kOptTagAccessAcl), 1u);
    EXPECT_NE(richEntries.find(1)->second.find("u:1234:rw-"), std::string::npos);
    EXPECT_NE(richEntries.find(1)->second.find("u::rw-"), std::string::npos);
    ASSERT_EQ(richEntries.count(fclarchive::kOptTagXattr), 1u);
    EXPECT_EQ(richEntries.find(3)->second, std::string("user.color\0blue", 15));

    StreamItem dir = named[src("dir")];
    ASSERT_TRUE(dir.hasOptHeader);
    auto dirEntries = entries(dir.optHeader);
    ASSERT_EQ(dirEntries.count(fclarchive::kOptTagDefaultAcl), 1u);
    EXPECT_NE(dirEntries.find(2)->second.find("u:1234:rwx"), std::string::npos);
}

TEST_F(Packer, SplitsOverTheAskedNumberOfArchivesEachItemOnce) {
    for (int d = 0; d < 3; ++d) {
        std::string dir = src("d" + std::to_string(d));
        makeDir(dir);
        for (int f = 0; f < 4; ++f) {
            fcltest::writeFile(dir + "/f" + std::to_string(f), std::string(64 << 10, static_cast<char>('a' + f)));
        }
    }
    fcltest::writeFile(src("shared"), "linked");
    ASSERT_EQ(link(src("shared").c_str(), src("d2/alias").c_str()), 0);

    ASSERT_EQ(pack({"--archives", "3"}), 0);
    std::multiset<std::string> seen;
    size_t nonEmpty = 0;
    for (uint64_t id = 1; id <= 3; ++id) {
        std::vector<StreamItem> packed = items(id);
        std::vector<fclarchive::IndexEntry> index = archivetest::readIndex(fclarchive::indexFilePath(media_, id));
        nonEmpty += packed.empty() ? 0 : 1;
        if (id == 1) {
            ASSERT_FALSE(packed.empty());
            EXPECT_EQ(packed.front().name(), source_);
        }
        std::set<uint64_t> starts;
        for (const StreamItem& item : packed) {
            seen.insert(item.name());
            starts.insert(item.offset);
            for (const std::string& member : item.members) {
                seen.insert(member);
            }
        }
        for (const fclarchive::IndexEntry& entry : index) {
            EXPECT_EQ(starts.count(entry.offset), 1u) << entry.path << " in archive " << id;
        }
    }
    EXPECT_GE(nonEmpty, 2u);
    EXPECT_EQ(seen.size(), 1u + 3u + 12u + 2u);
    for (const std::string& name : seen) {
        EXPECT_EQ(seen.count(name), 1u) << name;
    }
}

TEST_F(Packer, SmallTreeStillGivesEveryAskedArchive) {
    fcltest::writeFile(src("f"), "f");
    ASSERT_EQ(pack({"--archives", "3"}), 0);
    EXPECT_EQ(fclarchive::listArchiveFiles(media_), (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(items(1).size(), 2u);
    EXPECT_TRUE(items(3).empty());
}

TEST_F(Packer, MediaDirectoryInsideTheSourceIsLeftOut) {
    fcltest::writeFile(src("f"), "f");
    media_ = src("media");
    ASSERT_EQ(pack(), 0);
    for (const StreamItem& item : items()) {
        EXPECT_EQ(item.name().find(media_), std::string::npos) << item.name();
    }
    EXPECT_EQ(items().size(), 2u);
}

TEST_F(Packer, RefusesWhatItCannotDo) {
    fcltest::writeFile(src("f"), "f");
    ASSERT_EQ(pack(), 0);
    std::string errors;
    EXPECT_EQ(pack({}, &errors), 2) << "packed over earlier archive files";
    EXPECT_NE(errors.find("already holds archive files"), std::string::npos) << errors;

    media_ = scratch_ / "media2";
    EXPECT_EQ(pack({"--buffer", "0"}), 2);
    EXPECT_EQ(pack({"--buffer", "16385"}), 2);
    EXPECT_EQ(pack({"--archives", "0"}), 2);
    EXPECT_EQ(archivetest::runPack({scratch_ / "missing", media_}), 2);
    EXPECT_EQ(archivetest::runPack({source_}), 2);
}

TEST_F(Packer, PathTooLongForAHeaderTravelsInIndexHeaders) {
    std::string dir = source_;
    while (dir.size() < CXHDR_NAME_SIZE + 100) {
        dir += "/" + std::string(200, 'l');
        makeDir(dir);
    }
    fcltest::writeFile(dir + "/file", "deep");
    // Its attributes go before the index headers, where the restore takes them (items() fails on any other order).
    const bool attributes = setxattr((dir + "/file").c_str(), "user.deep", "d", 1, 0) == 0;
    fcltest::writeFile(src("short"), "s");
    EXPECT_EQ(pack(), 0);
    size_t standIns = 0;
    size_t withAttributes = 0;
    for (const StreamItem& item : items()) {
        EXPECT_LT(item.name().size(), CXHDR_NAME_SIZE);
        if ((item.header.h_flags2 & CXHDR_F2_LONG_PATH) != 0) {
            ++standIns;
            EXPECT_NE(item.name().find("/.fcl-long-path"), std::string::npos) << item.name();
            EXPECT_FALSE(item.indexHeaders.empty()) << item.name();
            withAttributes += item.hasOptHeader ? 1 : 0;
        }
    }
    EXPECT_GE(standIns, 2u) << "the deepest directory and its file";
    EXPECT_EQ(withAttributes, attributes ? 1u : 0u);
    EXPECT_EQ(byName().count(src("short")), 1u);
}

TEST_F(Packer, DevicesAndOwnersWhenRoot) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "needs root to make device nodes and give files away";
    }
    ASSERT_EQ(mknod(src("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mknod(src("blk").c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    fcltest::writeFile(src("owned"), "o");
    ASSERT_EQ(lchown(src("owned").c_str(), 1234, 5678), 0);

    ASSERT_EQ(pack(), 0);
    std::map<std::string, StreamItem> named = byName();
    EXPECT_EQ(named[src("null")].header.h_rdev, makedev(1, 3));
    EXPECT_EQ(named[src("null")].header.h_mode & S_IFMT, static_cast<uint64_t>(S_IFCHR));
    EXPECT_EQ(named[src("blk")].header.h_rdev, makedev(7, 200));
    EXPECT_EQ(named[src("owned")].header.h_uid, 1234u);
    EXPECT_EQ(named[src("owned")].header.h_gid, 5678u);
    std::map<std::string, std::string> kinds;
    for (const fclarchive::IndexEntry& entry : archivetest::readIndex(fclarchive::indexFilePath(media_, 1))) {
        kinds[entry.path] = entry.kind;
    }
    EXPECT_EQ(kinds[src("null")], "chardev");
    EXPECT_EQ(kinds[src("blk")], "blockdev");
}

}  // namespace
