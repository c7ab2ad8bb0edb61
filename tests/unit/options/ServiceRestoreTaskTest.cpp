// The job's restore task: made once, reused, fetched again only for content the cached one lacks.
#include <vector>

#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/ProcessJobId.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

class RestoreTask : public fcltest::ServiceFixture {
protected:
    ~RestoreTask() override {
        EvRstTask::allocationFaults().clear();
        jobID = 0;
    }
    boost::shared_ptr<EvRstTask> fetch(bool content, long long jobId = 31) {
        boost::shared_ptr<EvRstTask> task;
        CQiError error = unix_.getRestoreTaskObject(jobId, task, content);
        EXPECT_FALSE(error.IsError()) << error.AsString();
        return task;
    }
};

struct Step {
    bool content;     // what the caller asks for
    bool fetched;     // a new task is made for it
    bool hasContent;  // the task handed out was made with content
};

class RestoreTaskSequence : public RestoreTask, public ::testing::WithParamInterface<std::vector<Step>> {};

TEST_P(RestoreTaskSequence, FetchesOnlyWhenTheCachedTaskLacksWhatIsAsked) {
    boost::shared_ptr<EvRstTask> previous;
    int index = 0;
    for (const Step& step : GetParam()) {
        wzlog::ScopedCapture log;
        boost::shared_ptr<EvRstTask> task = fetch(step.content);
        ASSERT_TRUE(task) << index;
        EXPECT_EQ(task != previous, step.fetched) << index;
        EXPECT_EQ(task->fetchedContent(), step.hasContent) << index;
        EXPECT_EQ(unix_.m_bFetchContent, step.hasContent) << index;
        const char* reuse = step.hasContent ? "Reusing cached EvRstTask with m_bFetchContent=true"
                                            : "Reusing cached EvRstTask with m_bFetchContent=false";
        EXPECT_EQ(log->contains(reuse), !step.fetched) << index;
        EXPECT_EQ(log->contains("Fetching EvRstTask done"), step.fetched) << index;
        previous = task;
        ++index;
    }
}

INSTANTIATE_TEST_SUITE_P(Callers, RestoreTaskSequence,
                         ::testing::Values(
                             // Start-up's reads, then every later caller that needs no content.
                             std::vector<Step>{{false, true, false}, {false, false, false}, {false, false, false}},
                             // The content fetched first serves the callers that need none.
                             std::vector<Step>{{true, true, true}, {false, false, true}, {true, false, true}},
                             // The first caller that needs the content replaces the task for everyone after it.
                             std::vector<Step>{
                                 {false, true, false}, {true, true, true}, {false, false, true}, {true, false, true}}),
                         // Named by what the callers ask for in turn.
                         [](const ::testing::TestParamInfo<std::vector<Step>>& info) {
                             std::string name;
                             for (const Step& step : info.param) {
                                 name += step.content ? "Content" : "Bare";
                             }
                             return name;
                         });

TEST_F(RestoreTask, AJobIdBelowOneFetchesForTheProcessJob) {
    jobID = 4242;
    EXPECT_EQ(fetch(false, 0)->getJobId(), 4242u);
    FclRestoreUNIX other(nullptr);
    boost::shared_ptr<EvRstTask> task;
    ASSERT_FALSE(other.getRestoreTaskObject(-5, task, false).IsError());
    EXPECT_EQ(task->getJobId(), 4242u);
    FclRestoreUNIX third(nullptr);
    ASSERT_FALSE(third.getRestoreTaskObject(1, task, false).IsError());
    EXPECT_EQ(task->getJobId(), 1u);
}

TEST_F(RestoreTask, AFailedAllocationIsAnErrorAndLeavesNoCachedTask) {
    boost::shared_ptr<EvRstTask> before = fetch(false);
    EvRstTask::allocationFaults().failNext(1);
    boost::shared_ptr<EvRstTask> task = before;
    CQiError error = unix_.getRestoreTaskObject(31, task, true);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(FXErrorUtil::GetCode(error), 14);
    EXPECT_EQ(FXErrorUtil::GetMessage(error), "Allocation has failed for Restore Task object");
    EXPECT_EQ(task, before);
    EXPECT_FALSE(unix_._restoreTask);

    wzlog::ScopedCapture log;
    boost::shared_ptr<EvRstTask> again = fetch(false);
    EXPECT_TRUE(log->contains("Fetching EvRstTask with bFetchContent=false"));
    EXPECT_NE(again, before);
}

}  // namespace
