// The reader restores as the restore-as user: it takes that identity before the first buffer and gives the
// process's own back at its end; an identity it cannot take fails the job, and never stays half taken.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "clRestore/engine/ReaderIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

constexpr uid_t kRestoreUser = 65534;
constexpr gid_t kRestoreGroup = 65533;

std::vector<std::string> g_calls;

int recordSetregid(gid_t real, gid_t effective) {
    g_calls.push_back("setregid " + std::to_string(static_cast<int>(real)) + " " +
                      std::to_string(static_cast<int>(effective)));
    return 0;
}
int refuseSetreuid(uid_t real, uid_t effective) {
    g_calls.push_back("setreuid " + std::to_string(static_cast<int>(real)) + " " +
                      std::to_string(static_cast<int>(effective)));
    errno = EPERM;
    return -1;
}
int recordSetgid(gid_t id) {
    g_calls.push_back("setgid " + std::to_string(static_cast<int>(id)));
    return 0;
}
int recordSetuid(uid_t id) {
    g_calls.push_back("setuid " + std::to_string(static_cast<int>(id)));
    return 0;
}

class ReaderIdentityTest : public PipelineFixture {
protected:
    ReaderIdentityTest() {
        StreamWriter stream(media_, 1);
        stream.item("/root/a", 0100644, {"data"});
        stream.finish();
    }
    ~ReaderIdentityTest() override { fclreader::setIdentityCalls(nullptr); }

    // A job that restores as kRestoreUser, the process itself being uid_orig and gid_orig.
    PipelineJob* startImpersonatingJob() {
        PipelineJob* job = startPipelineJob();
        job->_impersonating = 1;
        uPwd.pw_uid = kRestoreUser;
        uPwd.pw_gid = kRestoreGroup;
        uName = "restore-user";
        uid_orig = getuid();
        gid_orig = getgid();
        orig_mask = 027;
        return job;
    }

    void expectImpersonationFailure(PipelineJob& job) {
        ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
        ASSERT_TRUE(readerEnded(20000));
        endJob();
        EXPECT_EQ(job.events().size(), 2u) << "no buffer may be read";
        EXPECT_EQ(job.getFailureReason(), "Restore: Error impersonating as user.");
        EXPECT_TRUE(log().contains("error [1] impersonating with user [restore-user] uid [65534] gid [65533]"));
        std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().messageId, 0x1700003b);
        EXPECT_EQ(events.back().severity, EV_MAJOR);
        ASSERT_EQ(events.back().arguments.size(), 1u);
        EXPECT_EQ(events.back().arguments[0].asInt(), EPERM);
        std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
        ASSERT_EQ(causes.size(), 1u);
        EXPECT_EQ(causes[0].code, 0x1700003b);
        EXPECT_EQ(job._plThreadRunning, 0);
        EXPECT_TRUE(log().contains("Restore failed"));
    }
};

TEST_F(ReaderIdentityTest, HandlersRunAsTheRestoreUserAndTheProcessIsItselfAgainAfterwards) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "taking another user's identity needs root";
    }
    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startImpersonatingJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  ASSERT_TRUE(job->waitFor("EOF /root/a", 20000));
                  ASSERT_TRUE(readerEnded(20000));
                  std::vector<std::pair<uid_t, gid_t>> ids = job->identities();
                  ASSERT_EQ(ids.size(), 5u);  // parameters, source path, header, data, end of file
                  for (size_t i = 2; i < ids.size(); ++i) {
                      EXPECT_EQ(ids[i].first, kRestoreUser);
                      EXPECT_EQ(ids[i].second, kRestoreGroup);
                  }
                  EXPECT_EQ(geteuid(), uid_orig);
                  EXPECT_EQ(getegid(), gid_orig);
                  EXPECT_EQ(getuid(), uid_orig);
                  EXPECT_EQ(getgid(), gid_orig);
                  EXPECT_EQ(umask(0), 027u);
                  EXPECT_TRUE(log().contains("impersonating with user uid [65534] gid [65533]"));
                  finishJob();
              }),
              0);
}

TEST_F(ReaderIdentityTest, RefusedUserAfterATakenGroupGivesTheGroupBackAndFailsTheJob) {
    static const fclreader::IdentityCalls calls = {recordSetregid, refuseSetreuid, recordSetgid, recordSetuid};
    fclreader::setIdentityCalls(&calls);
    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startImpersonatingJob();
                  const std::string realGroup = std::to_string(static_cast<int>(getgid()));
                  const std::string effectiveGroup = std::to_string(static_cast<int>(getegid()));
                  expectImpersonationFailure(*job);
                  // The group taken first is given back at once; nothing is given back at the end, as nothing
                  // else was taken.
                  EXPECT_EQ(g_calls, (std::vector<std::string>{
                                         "setregid " + std::to_string(static_cast<int>(gid_orig)) + " 65533",
                                         "setreuid " + std::to_string(static_cast<int>(uid_orig)) + " 65534",
                                         "setregid " + realGroup + " " + effectiveGroup}));
              }),
              0);
}

TEST_F(ReaderIdentityTest, RefusedUserLeavesTheProcessWithItsOwnGroup) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "taking another group needs root";
    }
    static const fclreader::IdentityCalls calls = {::setregid, refuseSetreuid, ::setgid, ::setuid};
    fclreader::setIdentityCalls(&calls);
    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startImpersonatingJob();
                  expectImpersonationFailure(*job);
                  EXPECT_EQ(getegid(), gid_orig);
                  EXPECT_EQ(getgid(), gid_orig);
                  EXPECT_EQ(geteuid(), uid_orig);
              }),
              0);
}

}  // namespace
}  // namespace jobtest
