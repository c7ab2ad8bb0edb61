// The database helpers on a job that was never started: the MySQL metadata fetch with each of its lookups and
// failures, the fetch run once however many threads ask, and the revert decision.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/apps/ClientApplications.h"
#include "platform/clients/ClientDirectory.h"
#include "platform/index/IndexFiles.h"
#include "platform/snapshots/VolumeSnaps.h"
#include "tests/unit/engine/BareJob.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace jobtest {
namespace {

constexpr unsigned long kMySql = 0x68;
constexpr unsigned long kPostgres = 0x7d;

class MySqlFetch : public fcltest::PlatformFixture {
protected:
    MySqlFetch() : index_(scratch_ / "index"), staging_(scratch_ / "staging/deeper") {
        EXPECT_EQ(mkdir(index_.c_str(), 0755), 0);
        bare_.job._initData->jobId = 4711;
        bare_.job._initData->appType = kMySql;
        bare_.job._initData->zendrelNumber = 2;
        bare_.job._initData->appNumber = 77;
        FclRestore::m_mysqlIndexFetched = false;
        wzindex::clearIndexFetches();
    }
    ~MySqlFetch() override {
        FclRestore::m_mysqlIndexFetched = false;
        wzindex::indexFetchFaults().clear();
        wzindex::subclientDirFaults().clear();
        wzapps::physicalMachineFaults().clear();
        wzapps::applicationListFaults().clear();
        wzapps::subclientListFaults().clear();
        wzapps::defaultSubclientFaults().clear();
    }

    // Metadata of the backup jobs named, in the index.
    void indexHolds(const std::vector<std::string>& jobs) {
        for (const std::string& job : jobs) {
            fcltest::writeFile(index_ + "/wz_master_" + job + ".info", "master of " + job);
            fcltest::writeFile(index_ + "/wz_my_" + job + ".cnf", "cnf of " + job);
        }
    }
    // The task asks for the staging directory named by its text option.
    std::string namedStaging() const {
        return "[RestoreTask]\ntoTime = 1600000000\ndestinationInstanceId = 3\n0x127c15c8 = 1\n0x86f6b98 = " +
               staging_ + "\n[IndexFetch]\nsource = " + index_ + "\n";
    }
    // The task asks for the default subclient's directory: this machine is client 9, with one MySQL application
    // of instance 3 in backup set 40, whose second subclient is the default one.
    std::string defaultSubclient() const {
        return "[RestoreTask]\ntoTime = 1600000000\ndestinationInstanceId = 3\n0x127c15c8 = 0\n"
               "[IndexFetch]\nsource = " +
               index_ +
               "\n[Client]\nphysicalMachine = db-host\n[ClientDirectory]\nclient = 9,db-host,,20,,\n"
               "[Applications]\napp = 2,9,104,3,mysql1,40\napp = 2,9,104,4,other-instance,41\n"
               "[Subclients]\nsubclient = 40,501,other,/elsewhere\nsubclient = 40,502,default," +
               staging_ + "\n";
    }

    BareJob<> bare_;
    std::string index_;
    std::string staging_;
};

struct PruneCase {
    const char* name;
    std::vector<std::string> jobs;
    const char* kept;
};

class MySqlPrune : public MySqlFetch, public ::testing::WithParamInterface<PruneCase> {};

TEST_P(MySqlPrune, OnlyTheNewestJobsPairStaysAndIsRead) {
    const PruneCase& c = GetParam();
    indexHolds(c.jobs);
    writeSettings(namedStaging());
    ASSERT_EQ(bare_.job.FetchMySqlIndexMetadata(true), 0);
    const std::string kept = c.kept;
    EXPECT_EQ(fcltest::entryNames(staging_),
              (std::vector<std::string>{"wz_master_" + kept + ".info", "wz_my_" + kept + ".cnf"}));
    EXPECT_EQ(bare_.job._fclRestoreUnix->mysqlLatestIndexJobId, std::stoull(kept));
    EXPECT_TRUE(bare_.log->contains("**** cnfInfo = [cnf of " + kept + "]"));
    EXPECT_FALSE(bare_.log->contains("master of"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, MySqlPrune,
                         ::testing::Values(PruneCase{"NewestInTheMiddle", {"5", "7", "3"}, "7"},
                                           PruneCase{"NumbersNotTexts", {"9", "100", "12"}, "100"},
                                           PruneCase{"OneJob", {"42"}, "42"}),
                         [](const ::testing::TestParamInfo<PruneCase>& info) { return std::string(info.param.name); });

TEST_F(MySqlFetch, TheDefaultSubclientsDirectoryIsTheStagingDirectory) {
    indexHolds({"8"});
    writeSettings(defaultSubclient());
    ASSERT_EQ(bare_.job.FetchMySqlIndexMetadata(false), 0);
    EXPECT_TRUE(bare_.log->contains("default subclient Id = [502]"));
    EXPECT_TRUE(bare_.log->contains("defult subclientDir = [" + staging_ + "]"));
    const std::vector<wzindex::IndexFetch> fetches = wzindex::indexFetches();
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(fetches[0].directory, staging_);
    EXPECT_EQ(fetches[0].zendrelId, 2u);
    EXPECT_EQ(fetches[0].applicationNumber, 77u);
    EXPECT_EQ(fetches[0].browseMode, 0u);
    EXPECT_EQ(fcltest::entryNames(staging_), (std::vector<std::string>{"wz_master_8.info", "wz_my_8.cnf"}));
}

struct FetchFailure {
    const char* name;
    bool defaultSubclient;                    // else the named staging directory
    std::function<void(std::string&)> spoil;  // changes the settings
    std::function<void()> arm;                // arms a fault of the platform
    std::string line;                         // logged; "STAGING" stands for the staging directory
};

void noSpoil(std::string&) {}
void noFault() {}

void drop(std::string& settings, const std::string& text) {
    const size_t at = settings.find(text);
    ASSERT_NE(at, std::string::npos) << text;
    settings.erase(at, text.size());
}

const FetchFailure kFetchFailures[] = {
    {"NoToTime", false, [](std::string& s) { drop(s, "toTime = 1600000000\n"); }, noFault, "rstTask.getToTime failed"},
    {"NoInstance", false, [](std::string& s) { drop(s, "destinationInstanceId = 3\n"); }, noFault,
     "Failed to get destinationInstanecId value, rstTask.getDestinationInstanceId"},
    {"NoLogRestoreType", false, [](std::string& s) { drop(s, "0x127c15c8 = 1\n"); }, noFault,
     "MySQL, MYSQLRSTOPTION_LOG_RESTORE_TYPE value from restore task could not be retrieved"},
    {"NoStagingOption", false, [](std::string& s) { drop(s, "0x86f6b98 = "); }, noFault,
     "MySQL, MYSQLRSTOPTION_LOG_RESTORE_TYPE value from restore task could not be retrieved"},
    {"IndexRefuses", false, noSpoil, [] { wzindex::indexFetchFaults().failNext(1); },
     "Failed to fetch optional Files from index"},
    {"NoMachineName", true, noSpoil, [] { wzapps::physicalMachineFaults().failNext(1); },
     "Failed to get local client name."},
    {"MachineNotAClient", true, [](std::string& s) { drop(s, "client = 9,db-host,,20,,\n"); }, noFault,
     "Failed to client Id for local client [db-host]"},
    {"ApplicationsUnknown", true, noSpoil, [] { wzapps::applicationListFaults().failNext(1, 5); },
     "AppTypeId  lookup failed.errorcode [5]"},
    {"NoMySqlApplication", true, [](std::string& s) { drop(s, "app = 2,9,104,3,mysql1,40\n"); }, noFault,
     "No MySQL application on local client [db-host]"},
    {"NoBackupSet", true,
     [](std::string& s) {
         drop(s, "mysql1,40");
         s += "[Applications]\napp = 2,9,104,3,mysql1,0\n";
     },
     noFault, "getBackupSet failed errCode [2], error [application mysql1 has no backup set]"},
    {"SubclientsUnknown", true, noSpoil, [] { wzapps::subclientListFaults().failNext(1, 5); },
     "getSubclientList failed: retCode = [5]"},
    {"DefaultUnknown", true, noSpoil, [] { wzapps::defaultSubclientFaults().failNext(1); },
     "Failed to determine if this is the default subclient"},
    {"DirectoryUnknown", true, noSpoil, [] { wzindex::subclientDirFaults().failNext(1); },
     "failed to GetSubclientDirAndFiles"},
    {"NoDefaultSubclient", true, [](std::string& s) { drop(s, "subclient = 40,502,default,"); }, noFault,
     "could not create [] dir"},
};

class MySqlFetchFailure : public MySqlFetch, public ::testing::WithParamInterface<FetchFailure> {};

TEST_P(MySqlFetchFailure, FailsWithItsLineAndLeavesTheFlagUnset) {
    const FetchFailure& c = GetParam();
    indexHolds({"7"});
    std::string settings = c.defaultSubclient ? defaultSubclient() : namedStaging();
    c.spoil(settings);
    writeSettings(settings);
    c.arm();
    EXPECT_EQ(bare_.job.fetchMySqlIndexMetadataOnce(true), -1);
    EXPECT_FALSE(FclRestore::m_mysqlIndexFetched);
    EXPECT_TRUE(bare_.log->contains(c.line)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(Lookups, MySqlFetchFailure, ::testing::ValuesIn(kFetchFailures),
                         [](const ::testing::TestParamInfo<FetchFailure>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(MySqlFetch, AMissingFileOfTheNewestPairFailsTheFetch) {
    indexHolds({"7"});
    writeSettings(namedStaging());
    ASSERT_EQ(unlink((index_ + "/wz_my_7.cnf").c_str()), 0);
    EXPECT_EQ(bare_.job.FetchMySqlIndexMetadata(true), -1);
    EXPECT_TRUE(bare_.log->contains("opening [" + staging_ + "/wz_my_7.cnf] file got error:2"));
}

TEST_F(MySqlFetch, AStagingDirectoryThatCannotBeMadeFailsTheFetch) {
    fcltest::writeFile(scratch_ / "staging", "a file where a directory must go");
    writeSettings(namedStaging());
    EXPECT_EQ(bare_.job.FetchMySqlIndexMetadata(true), -1);
    EXPECT_TRUE(bare_.log->contains("could not create [" + staging_ + "] dir"));
    EXPECT_TRUE(wzindex::indexFetches().empty());
}

TEST_F(MySqlFetch, ThreadsAskingAtOnceFetchOnce) {
    indexHolds({"5", "7"});
    writeSettings(namedStaging());
    std::atomic<int> ready{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < 8) {
            }
            if (bare_.job.fetchMySqlIndexMetadataOnce(true) != 0) {
                ++failed;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failed.load(), 0);
    EXPECT_TRUE(FclRestore::m_mysqlIndexFetched);
    EXPECT_EQ(wzindex::indexFetches().size(), 1u);
    EXPECT_EQ(fcltest::entryNames(staging_), (std::vector<std::string>{"wz_master_7.info", "wz_my_7.cnf"}));
}

TEST_F(MySqlFetch, AFailedFetchIsTriedAgainByTheNextCaller) {
    indexHolds({"7"});
    writeSettings(namedStaging());
    wzindex::indexFetchFaults().failNext(1);
    EXPECT_EQ(bare_.job.fetchMySqlIndexMetadataOnce(true), -1);
    EXPECT_EQ(bare_.job.fetchMySqlIndexMetadataOnce(true), 0);
    EXPECT_EQ(bare_.job.fetchMySqlIndexMetadataOnce(true), 0);
    EXPECT_EQ(wzindex::indexFetches().size(), 2u);
}

struct RevertDecision {
    const char* name;
    unsigned long appType;
    unsigned long options;
    const char* settings;
    const char* line;  // logged; "" for none of the decision's lines
};

const RevertDecision kDecisions[] = {
    {"FileSystemJob", 29, 0, "[RestoreTask]\n0x8e66a87 = true\n", ""},
    {"OptionUnreadable", kMySql, 0, "",
     "Error retrieving option ER_EX_REVERT_RESTORE option. Will assume non-revert restore"},
    {"OptionNotSet", kMySql, 0, "[RestoreTask]\n0x8e66a87 = false\n", "revert option is not set taskId = 4711"},
    {"PostgresLogRestore", kPostgres, FSR_OPT_PG_LOG_RESTORE, "[RestoreTask]\n0x8e66a87 = true\n",
     "PostgreSQL Log Restore job"},
};

class RevertCheck : public fcltest::PlatformFixture, public ::testing::WithParamInterface<RevertDecision> {};

TEST_P(RevertCheck, NoRevertLetsTheArchiveOpen) {
    const RevertDecision& c = GetParam();
    writeSettings(c.settings);
    wzsnaps::clearReverts();
    BareJob<> bare(c.options);
    bare.job._initData->jobId = 4711;
    bare.job._initData->appType = c.appType;
    FSROpenArchive archive;
    archive.zendrelId = 2;
    archive.archiveFileId = 1;
    bool reverted = true;
    EXPECT_EQ(bare.job.CheckAndDoRevertForDB(&archive, reverted), 0);
    EXPECT_FALSE(reverted);
    EXPECT_TRUE(wzsnaps::reverts().empty());
    if (*c.line != '\0') {
        EXPECT_TRUE(bare.log->contains(c.line)) << c.line;
    }
    EXPECT_FALSE(bare.log->contains("revert option is set"));
    EXPECT_FALSE(bare.log->contains("Attempting revert"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, RevertCheck, ::testing::ValuesIn(kDecisions),
                         [](const ::testing::TestParamInfo<RevertDecision>& info) {
                             return std::string(info.param.name);
                         });

TEST(RevertCheckArgument, ANullArchiveIsRefused) {
    BareJob<> bare;
    bool reverted = false;
    EXPECT_EQ(bare.job.CheckAndDoRevertForDB(nullptr, reverted), -1);
    EXPECT_TRUE(bare.log->contains("Invalid argument: FSROpenArchive is NULL"));
}

// After a revert the snap sources of the archive are taken as handled and nothing goes to the restore head.
TEST(RevertedArchive, SnapSourcesAreIgnoredUntilTheClose) {
    BareJob<> bare;
    bare.job._initData->appType = kMySql;
    FclRestore::m_mysqlIndexFetched = true;
    FclRestore::m_ignoreMsgsForRevert = true;
    std::string path = "/var/lib/mysql";
    FSRSnapSrcPath record;
    record.path = &path[0];
    EXPECT_TRUE(bare.job.OnMsgSnapSrc(&record));
    EXPECT_EQ(bare.next(1), 0u);
    FclRestore::m_ignoreMsgsForRevert = false;
    EXPECT_TRUE(bare.job.OnMsgSnapSrc(&record));
    EXPECT_EQ(bare.next(), FSR_MSG_SNAP_SRC_PATH);
    FclRestore::m_mysqlIndexFetched = false;
}

}  // namespace
}  // namespace jobtest
