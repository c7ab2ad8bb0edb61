// The backup's own exclusion lists of this machine are never restored over; a file of the same name elsewhere, or
// of another case, is an ordinary file.
#include <gtest/gtest.h>

#include <string>

#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

class ExclusionList : public fcltest::ObjectFixture {};

TEST_F(ExclusionList, OnlyTheSystemListsAreRefused) {
    const struct {
        const char* path;
        bool refused;
    } cases[] = {
        {"/etc/wz_backup_denylist", true},      {"/etc/wz_backup_blacklist", true},
        {"/etc//wz_backup_blacklist", true},    {"//etc///wz_backup_denylist", true},
        {"/home/wz_backup_denylist", false},    {"/etc/WZ_BACKUP_DENYLIST", false},
        {"/etc/wz_backup_denylist.old", false}, {"/restore/dest/etc/wz_backup_denylist", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        factory_->setErrCode(0);
        wzlog::ScopedCapture capture;
        FsRestoreFile file(&header_, factory_.get());
        file._filename = c.path;
        const int result = file.openObject();
        const std::string line = std::string("skipping denylist file ") + c.path;
        if (c.refused) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(factory_->getErrCode(), fclitem::kSkippedNotOverwritten);
            EXPECT_TRUE(capture->contains(line));
            EXPECT_EQ(file._handle, -1);
        } else {
            EXPECT_NE(factory_->getErrCode(), fclitem::kSkippedNotOverwritten);
            EXPECT_FALSE(capture->contains("skipping denylist file"));
        }
    }
}

}  // namespace
