// The job's search-index client: made once, of the job's kind, and an index that is not there says so.
#include <boost/pointer_cast.hpp>

#include "clRestore/options/ServiceObjects.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/events/Journal.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

class SolrRestore : public fcltest::ServiceFixture {
protected:
    ~SolrRestore() override {
        CSolrCloudApi::allocationFaults().clear();
        CSolrIndexApi::allocationFaults().clear();
    }
    void cloudJob() {
        unix_._solrCloudRestore = true;
        unix_._solrCloudClientId = 55;
    }
    void singleNodeJob() { unix_._solrDBRestore = true; }
    CQiError initialize() { return fclservices::initializeSolrRestore(unix_, args_); }
    std::vector<std::string> solrCalls() const { return wzplatform::journalLines("solr"); }

    fclservices::SolrRestoreArgs args_{77, "dest-host", "", 0, nullptr};
};

TEST_F(SolrRestore, AJobThatRestoresNoIndexGetsNoClient) {
    EXPECT_FALSE(initialize().IsError());
    EXPECT_FALSE(unix_._solrIndexDB);
    EXPECT_TRUE(solrCalls().empty());
}

TEST_F(SolrRestore, ASingleNodeJobGetsAnIndexClientForTheDestinationClient) {
    singleNodeJob();
    wzlog::ScopedCapture log;
    ASSERT_FALSE(initialize().IsError());
    auto index = boost::dynamic_pointer_cast<CSolrIndexApi>(unix_._solrIndexDB);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->clientId(), 77u);
    EXPECT_TRUE(log->contains("Solr DB clientID = [77]"));
    EXPECT_EQ(solrCalls(), (std::vector<std::string>{"Solr client 77: made"}));
}

TEST_F(SolrRestore, ACloudJobWithoutAResultsDirectoryIsNotPopulated) {
    cloudJob();
    wzlog::ScopedCapture log;
    ASSERT_FALSE(initialize().IsError());
    auto cloud = boost::dynamic_pointer_cast<CSolrCloudApi>(unix_._solrIndexDB);
    ASSERT_TRUE(cloud);
    EXPECT_EQ(cloud->clientId(), 55u);
    EXPECT_EQ(cloud->nodeHostName(), "dest-host");
    EXPECT_TRUE(log->contains("Solr DB clientID = [55]"));
    EXPECT_EQ(solrCalls(), (std::vector<std::string>{"SolrCloud client 55: made",
                                                     "SolrCloud client 55: node host name [dest-host]"}));
}

TEST_F(SolrRestore, AnOutOfPlaceCloudJobIsNotPopulated) {
    cloudJob();
    args_.resultsDirectory = "/results/job";
    args_.options = FSR_OPT_OUT_OF_PLACE;
    wzlog::ScopedCapture log;
    ASSERT_FALSE(initialize().IsError());
    EXPECT_TRUE(unix_._solrIndexDB);
    EXPECT_TRUE(log->contains("Not populating collections info because it is an out of place restore."));
    EXPECT_EQ(solrCalls().size(), 2u);
}

TEST_F(SolrRestore, AnInPlaceCloudJobFailsClearlyWhenNoIndexIsReachable) {
    cloudJob();
    args_.resultsDirectory = "/results/job";
    CQiError error = initialize();
    ASSERT_TRUE(error.IsError());
    const std::string text = error.AsString(eErrorOutputDetailed);
    EXPECT_NE(text.find("No search index is reachable from this machine"), std::string::npos) << text;
    EXPECT_NE(text.find("Failed to populate collections info, error="), std::string::npos) << text;
    EXPECT_FALSE(unix_._solrIndexDB);
    EXPECT_EQ(solrCalls().back(), "SolrCloud client 55: collections info from [/results/job]");
}

TEST_F(SolrRestore, ASecondCallAfterSuccessKeepsTheClient) {
    singleNodeJob();
    ASSERT_FALSE(initialize().IsError());
    boost::shared_ptr<IDBBackup> first = unix_._solrIndexDB;
    CSolrIndexApi::allocationFaults().failNext(1);
    EXPECT_FALSE(initialize().IsError());
    EXPECT_EQ(unix_._solrIndexDB, first);
    EXPECT_EQ(solrCalls().size(), 1u);
}

struct AllocationCase {
    bool cloud;
    const char* message;
};

class SolrAllocation : public SolrRestore, public ::testing::WithParamInterface<AllocationCase> {};

TEST_P(SolrAllocation, AClientThatCannotBeMadeIsErrorFourteen) {
    if (GetParam().cloud) {
        cloudJob();
        CSolrCloudApi::allocationFaults().failNext(1);
    } else {
        singleNodeJob();
        CSolrIndexApi::allocationFaults().failNext(1);
    }
    CQiError error = initialize();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(FXErrorUtil::GetCode(error), 14);
    EXPECT_EQ(FXErrorUtil::GetMessage(error), GetParam().message);
    EXPECT_FALSE(unix_._solrIndexDB);
    EXPECT_FALSE(initialize().IsError());
    EXPECT_TRUE(unix_._solrIndexDB);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SolrAllocation,
                         ::testing::Values(AllocationCase{true, "Failed to create Solr cloud DB object"},
                                           AllocationCase{false, "Failed to create solrDB object"}),
                         [](const ::testing::TestParamInfo<AllocationCase>& info) {
                             return std::string(info.param.cloud ? "Cloud" : "SingleNode");
                         });

TEST_F(SolrRestore, IndexLookupsOfTheStandInFailAndRecordTheCall) {
    CSolrIndexApi index(9, "", "", nullptr, false);
    std::string path = "left";
    bool unmapped = true;
    CQiError inPlace = index.GetInplaceRestorePath("/dummy/core1/file", path, unmapped);
    EXPECT_TRUE(inPlace.IsError());
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(unmapped);
    EXPECT_TRUE(index.GetOutOfPlaceRestorePath("/dummy/core1/file", "/dest", path, unmapped).IsError());
    EXPECT_TRUE(index.UpdateMetadata("/dest/meta", true).IsError());
    EXPECT_EQ(solrCalls(),
              (std::vector<std::string>{"Solr client 9: made", "Solr client 9: in-place path of [/dummy/core1/file]",
                                        "Solr client 9: out-of-place path of [/dummy/core1/file] under "
                                        "[/dest]",
                                        "Solr client 9: in-place metadata update from [/dest/meta]"}));
}

}  // namespace
