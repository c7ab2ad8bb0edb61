// The job-options document read as a message: its root object and the values at paths below it.
#include <gtest/gtest.h>

#include "platform/tasks/JobOption.h"

namespace {

TEST(JobOptionDocument, ValuesAreReadByPath) {
    TMMsg::JobOption document;
    ASSERT_EQ(document.unserialize("<TMMsg_JobOption><destination appType=\"0x86\"/>"
                                   "<cloudApps><instanceType>3</instanceType></cloudApps>"
                                   "<virtualServerRestore restoreToVM=\"true\"/></TMMsg_JobOption>"),
              0);
    ASSERT_EQ(document.getObjectAccessor(), &document);
    EXPECT_TRUE(document.isSet("destination"));
    EXPECT_EQ(document.getint64("destination.appType"), 0x86);
    EXPECT_EQ(document.getint64("cloudApps.instanceType"), 3);
    EXPECT_TRUE(document.getBool("virtualServerRestore.restoreToVM"));
    EXPECT_FALSE(document.isSet("cloudDatabase"));
    EXPECT_EQ(document.getint64("cloudDatabase.instanceNumber"), 0);
    EXPECT_EQ(document.getint64("virtualServerRestore.restoreToVM"), 0);  // not a number
}

TEST(JobOptionDocument, OtherRootsAndBrokenTextHaveNoRootObject) {
    TMMsg::JobOption other;
    EXPECT_EQ(other.unserialize("<Other/>"), 0);
    EXPECT_EQ(other.getObjectAccessor(), nullptr);
    TMMsg::JobOption broken;
    EXPECT_NE(broken.unserialize("<TMMsg_JobOption>"), 0);
    EXPECT_EQ(broken.getObjectAccessor(), nullptr);
    EXPECT_FALSE(broken.isSet("destination"));
}

}  // namespace
