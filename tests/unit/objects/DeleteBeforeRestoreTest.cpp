// The job's delete-before-restore rule: a file is removed before it is restored, but never the file that an extent
// item is written into, which holds the file's earlier extents.
#include <unistd.h>

#include <string>

#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::stateOf;

class DeleteBeforeRestore : public objtest::ItemFixture {
protected:
    DeleteBeforeRestore() { job_.getUnixCompanion()->SetDeleteFileBeforeRestore(true); }

    // The open's answer does not matter here, only what it did to the earlier file.
    void open(objtest::TestItem& item, const std::string& path) {
        int fd = -1;
        if (item.OpenRestoreFile(path, fd) && fd >= 0) {
            close(fd);
        }
    }
};

TEST_F(DeleteBeforeRestore, EarlierExtentsOfTheFileStay) {
    const std::string path = dest_ + "/container";
    fcltest::writeFile(path, "first extent");
    auto extent = makeItem(path);
    extent->_flags2 |= CXHDR_F2_EXTENT;
    open(*extent, path);
    EXPECT_EQ(stateOf(path).content, "first extent");
}

TEST_F(DeleteBeforeRestore, AWholeFileIsRemovedFirst) {
    const std::string path = dest_ + "/file";
    const std::string other = dest_ + "/other-name";
    fcltest::writeFile(path, "earlier");
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    auto item = makeItem(path);
    open(*item, path);
    EXPECT_NE(stateOf(path).content, "earlier");
    EXPECT_EQ(stateOf(other).content, "earlier");
}

}  // namespace
