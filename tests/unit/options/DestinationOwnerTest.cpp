// The owner that items take from the destination: the nearest existing entry at or above the path, the walk ending
// at "/" (or where a relative name runs out) whatever the path.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/unit/options/CompanionFixture.h"

namespace {

using fcltest::CompanionTest;

TEST_F(CompanionTest, DestinationOwnerIsTheNearestExistingEntry) {
    FclRestoreUNIX& c = makeCompanion();
    const std::string top = scratch_ / "top";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    const bool root = fcltest::isRoot();
    if (root) {
        ASSERT_EQ(chown(top.c_str(), 1234, 5678), 0);
    }
    struct stat rootDir;
    ASSERT_EQ(lstat("/", &rootDir), 0);
    struct stat topDir;
    ASSERT_EQ(lstat(top.c_str(), &topDir), 0);

    const struct {
        std::string path;
        unsigned long long uid;
        unsigned long long gid;
    } cases[] = {
        {top, topDir.st_uid, topDir.st_gid},
        {top + "/missing/deeper/still", topDir.st_uid, topDir.st_gid},
        {top + "/missing/", topDir.st_uid, topDir.st_gid},
        {"/", rootDir.st_uid, rootDir.st_gid},
        {"/no such top directory/below", rootDir.st_uid, rootDir.st_gid},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.path);
        unsigned long long uid = 99;
        unsigned long long gid = 99;
        c.PickUIDGIDFromDestDir(k.path, uid, gid);
        EXPECT_EQ(uid, k.uid);
        EXPECT_EQ(gid, k.gid);
    }
    // Names that never reach "/": the walk ends when they run out, the ids stay as they were.
    for (const std::string path : {"", "no such relative name", "no such/relative/name"}) {
        SCOPED_TRACE(path);
        unsigned long long uid = 99;
        unsigned long long gid = 98;
        c.PickUIDGIDFromDestDir(path, uid, gid);
        EXPECT_EQ(uid, 99u);
        EXPECT_EQ(gid, 98u);
    }
}

}  // namespace
