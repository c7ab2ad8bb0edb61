// Destinations prepared against the restore: a link planted where an item goes, a link planted as one of its
// directories, a file that is also a name outside. Whatever the item, nothing outside the destination changes.
#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <map>
#include <string>

#include "clRestore/objects/FsRestoreDirectory.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::PathState;
using objtest::stateOf;

class HostileDestination : public objtest::ItemFixture {
protected:
    void SetUp() override {
        fcltest::writeFile(victimFile_, "outside file");
        ASSERT_EQ(chmod(victimFile_.c_str(), 0640), 0);
        objtest::setTimes(victimFile_, 1000, 2000);
        ASSERT_EQ(mkdir(victimDir_.c_str(), 0750), 0);
        objtest::setTimes(victimDir_, 1000, 2000);
        ASSERT_EQ(wzfiles::setDestinationRoot(dest_), 0);
        useFactory(FSR_OPT_OVERWRITE);
    }

    // Every entry under outside/, as it stands.
    std::map<std::string, PathState> outside() const {
        std::map<std::string, PathState> states;
        for (const std::string& dir : {outside_, victimDir_}) {
            const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
            for (const std::string& name : fcltest::entryNames(fd)) {
                states[dir + "/" + name] = stateOf(dir + "/" + name);
            }
            close(fd);
            states[dir] = stateOf(dir);
        }
        return states;
    }

    static ItemLayout item(mode_t mode) {
        ItemLayout s;
        s.mode = mode;
        s.data = "restored";
        return s;
    }

    std::string victimFile_ = outside_ + "/file";
    std::string victimDir_ = outside_ + "/dir";
};

// A link where a file goes is replaced by the file, whatever it points at: outside, inside the destination, or
// nowhere.
TEST_F(HostileDestination, LinkPlantedAsTheItemIsReplaced) {
    const std::string inner = dest_ + "/inner";
    fcltest::writeFile(inner, "inner file");
    const auto innerBefore = stateOf(inner);
    const struct {
        const char* name;
        std::string target;
        mode_t mode;
    } cases[] = {
        {"to-outside-file", victimFile_, S_IFREG | 0644},
        {"relative-climb", "../outside/file", S_IFREG | 04755},
        {"to-inner-file", "inner", S_IFREG | 0600},
        {"dangling", outside_ + "/new", S_IFREG | 0644},
    };
    const auto before = outside();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dest_ + "/" + c.name;
        ASSERT_EQ(symlink(c.target.c_str(), path.c_str()), 0);
        EXPECT_EQ(restore(path, item(c.mode)), 0u);
        const auto after = stateOf(path);
        EXPECT_EQ(after.mode, c.mode);
        EXPECT_EQ(after.content, "restored");
    }
    EXPECT_EQ(outside(), before);
    EXPECT_EQ(stateOf(inner), innerBefore);
}

// A directory item keeps a link at its name and restores into what it reaches; a link that leaves the destination
// reaches nothing the restore may use, and the item fails.
TEST_F(HostileDestination, LinkPlantedAsADirectoryItemFailsIt) {
    const std::pair<const char*, std::string> links[] = {
        {"to-outside-dir", victimDir_}, {"climb-to-outside-dir", "../outside/dir"}, {"to-outside-file", victimFile_}};
    const auto before = outside();
    for (const auto& link : links) {
        SCOPED_TRACE(link.first);
        const std::string path = dest_ + "/" + link.first;
        ASSERT_EQ(symlink(link.second.c_str(), path.c_str()), 0);
        EXPECT_EQ(restore<FsRestoreDirectory>(path, item(S_IFDIR | 0777)), fclitem::kCreateFailed);
        EXPECT_EQ(stateOf(path).content, link.second);
    }
    EXPECT_EQ(outside(), before);
}

// With the rules keeping the existing file, the link stays, and is not followed either; no rule keeps a directory,
// whose open then refuses the link out of the destination.
TEST_F(HostileDestination, LinkKeptByTheRulesIsNotFollowed) {
    useFactory(0);
    factory_->setDoNotOverwrite(true);
    const auto before = outside();
    const std::string fileLink = dest_ + "/filelink";
    const std::string dirLink = dest_ + "/dirlink";
    ASSERT_EQ(symlink(victimFile_.c_str(), fileLink.c_str()), 0);
    ASSERT_EQ(symlink(victimDir_.c_str(), dirLink.c_str()), 0);
    EXPECT_EQ(restore(fileLink, item(S_IFREG | 0644)), fclitem::kSkippedNotOverwritten);
    EXPECT_EQ(restore<FsRestoreDirectory>(dirLink, item(S_IFDIR | 0755)), fclitem::kCreateFailed);
    EXPECT_TRUE(S_ISLNK(stateOf(fileLink).mode));
    EXPECT_TRUE(S_ISLNK(stateOf(dirLink).mode));
    EXPECT_EQ(outside(), before);
}

// A directory of the item is a link that leaves the destination: the item fails, nothing is made outside.
TEST_F(HostileDestination, LinkPlantedAsADirectoryFailsTheItem) {
    const auto before = outside();
    ASSERT_EQ(symlink(victimDir_.c_str(), (dest_ + "/abs").c_str()), 0);
    ASSERT_EQ(symlink("../outside/dir", (dest_ + "/rel").c_str()), 0);
    for (const std::string& path : {dest_ + "/abs/file", dest_ + "/rel/file", dest_ + "/abs/new/file"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(restore(path, item(S_IFREG | 0644)), fclitem::kCreateFailed);
        EXPECT_EQ(restore<FsRestoreDirectory>(path, item(S_IFDIR | 0777)), fclitem::kCreateFailed);
    }
    EXPECT_EQ(outside(), before);
}

// The kinds open their file through the wrapper: whatever the path's length, a link standing there is not written
// through (the item's open failing is the right answer; the common open replaces such links before it).
TEST_F(HostileDestination, FileOpenNeverWritesThroughAFinalLink) {
    const std::string deep = dest_ + "/" + std::string(200, 'a') + "/" + std::string(200, 'b') + "/" +
                             std::string(200, 'c') + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
    // An in-place restore has no root to resolve beneath: only the open itself can refuse the link.
    wzfiles::clearDestinationRoot();
    std::string dirs = deep;
    ASSERT_EQ(WzLongPathHandler::GetHandler()->CreateDirsIteratively_Long(&dirs[0], nullptr), 1);
    const auto before = outside();
    for (const std::string& path : {dest_ + "/short", deep + "/long"}) {
        SCOPED_TRACE(path.size());
        ASSERT_EQ(symlink(victimFile_.c_str(), path.c_str()), 0);
        auto item = makeItem(path);
        if (path.size() >= 1024) {
            item->SetLongPathRestore();
        }
        int fd = -1;
        if (item->OpenRestoreFile(path, fd) && fd >= 0) {
            EXPECT_EQ(write(fd, "through", 7), 7);
            close(fd);
        }
    }
    EXPECT_EQ(outside(), before);
}

// A destination file that is also a name outside is replaced, never rewritten: the outside name keeps its data.
TEST_F(HostileDestination, FileWithAnotherNameOutsideIsReplacedNotRewritten) {
    const std::string path = dest_ + "/shared";
    ASSERT_EQ(link(victimFile_.c_str(), path.c_str()), 0);
    auto before = outside();
    EXPECT_EQ(restore(path, item(S_IFREG | 04755)), 0u);
    EXPECT_EQ(stateOf(path).content, "restored");
    EXPECT_EQ(stateOf(path).links, 1u);
    auto after = outside();
    // The outside name lost its second name and with it a change time; its data, mode and times stay.
    EXPECT_EQ(after[victimFile_].links, 1u);
    after[victimFile_].links = before[victimFile_].links;
    EXPECT_EQ(after, before);
}

}  // namespace
