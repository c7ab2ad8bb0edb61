// The failed items the host names at a job's end, read from the results file and explained from the log.
#include <gtest/gtest.h>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/FailedItems.h"

namespace {

using fclhost::FailedItem;

TEST(FailedItems, TheFirstFailuresOfTheResultsFileWithTheirCausesFromTheLog) {
    fcltest::ScratchDir scratch("faileditems");
    fcltest::writeFile(scratch / "restore.results",
                       "BeginIndexedRestore pid:11\n"
                       "/d/cut run  DATA  [ Restore of the item did not complete:  The item could not be "
                       "restored.  ] \t3\n"
                       "BeginIndexedRestore pid:12\n"
                       "/d/ok  DATA \t5\n"
                       "/d/kept  DATA  [ Restore of the item did not complete:  The item exists at the destination "
                       "and was not overwritten.  ] \t4\n"
                       "/d/with space  DATA  [ Restore of the item did not complete:  The item could not be "
                       "restored.  ] \t3\n"
                       "/d/named\\t5  [ Restore of the item did not complete:  The item has no destination.  ] \t7\n"
                       "/d/unread  [ Restore of the item did not complete:  The item could not be read from the "
                       "backup.  ] \t10\n"
                       "/d/bare \t12\n"
                       "EndIndexedRestore pid:12\n");
    fcltest::writeFile(scratch / "fclrestore.log",
                       "12/11 00:00:00.000 1 2 -1 f():1 The data of [/d/with space] could not be restored\n"
                       "12/11 00:00:00.000 1 2  0 f():2 write [/d/with space] len 4 returns -1, errno 28.\n"
                       "12/11 00:00:00.000 1 2 -1 f():3 chown(/dest/d/unread, 1, 1) failed, error='Operation not "
                       "permitted'\n");
    uint64_t total = 0;
    std::vector<FailedItem> items = fclhost::readFailedItems(scratch / "restore.results", 3, &total);
    EXPECT_EQ(total, 4u) << "skipped and restored items are not failures, nor those of an earlier run";
    ASSERT_EQ(items.size(), 3u);
    fclhost::findCauses(scratch / "fclrestore.log", "/dest", &items);
    EXPECT_EQ(fclhost::describeFailedItem(items[0]),
              "/d/with space: The item could not be restored. (No space left on device)");
    EXPECT_EQ(fclhost::describeFailedItem(items[1]), "/d/named\\t5: The item has no destination.");
    EXPECT_EQ(fclhost::describeFailedItem(items[2]),
              "/d/unread: The item could not be read from the backup. (Operation not permitted)");

    std::vector<FailedItem> all = fclhost::readFailedItems(scratch / "restore.results", 10, &total);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(fclhost::describeFailedItem(all[3]), "/d/bare");
    EXPECT_TRUE(fclhost::readFailedItems(scratch / "missing.results", 10, &total).empty());
    EXPECT_EQ(total, 0u);
}

// With a mapping file, an item without a destination is one the mapping leaves out; an item the host adds a line for
// is then listed with the others.
TEST(FailedItems, ItemsTheMappingLeavesOutAreNotFailuresAndAddedLinesAreListed) {
    fcltest::ScratchDir scratch("faileditems");
    const std::string file = scratch / "restore.results";
    fcltest::writeFile(file,
                       "BeginIndexedRestore pid:12\n"
                       "/d/ok  DATA \t5\n"
                       "/other/a  [ Restore of the item did not complete:  The item has no destination.  ] \t7\n"
                       "/d/tmp  [ Restore of the item did not complete:  The item is excluded by the mapping.  ] \t8\n"
                       "EndIndexedRestore pid:12\n");
    fclhost::ResultsTally mapped = fclhost::readResults(file, 10, true);
    EXPECT_EQ(mapped.failed, 0u);
    EXPECT_EQ(mapped.unmapped, 1u);
    EXPECT_EQ(mapped.excluded, 1u);
    fclhost::ResultsTally plain = fclhost::readResults(file, 10, false);
    EXPECT_EQ(plain.failed, 1u) << "without a mapping, no destination is a failure";

    ASSERT_TRUE(fclhost::addFailedLine(file, "/d/big\tfile", "the destination's file system is full"));
    fclhost::ResultsTally added = fclhost::readResults(file, 10, true);
    ASSERT_EQ(added.failed, 1u);
    EXPECT_EQ(fclhost::describeFailedItem(added.first[0]), "/d/big file: the destination's file system is full");
}

}  // namespace
