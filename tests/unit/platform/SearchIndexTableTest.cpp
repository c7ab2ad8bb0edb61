// The stand-in search index: files held in memory come first, then the file lines of the settings file; a line that
// does not read as a file is skipped. The clients answer from it, and readers on several threads may ask at once.
#include <atomic>
#include <thread>

#include "platform/apps/SearchIndexTable.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/support/FXErrorUtil.h"
#include "tests/common/Concurrency.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

using wzsearch::IndexFile;

class SearchIndexTable : public fcltest::PlatformFixture {
protected:
    SearchIndexTable() { wzsearch::clearIndex(); }
    ~SearchIndexTable() override { wzsearch::clearIndex(); }

    static IndexFile file(const std::string& dummy, const std::string& actual) {
        IndexFile f;
        f.dummyPath = dummy;
        f.actualPath = actual;
        return f;
    }
};

struct LineCase {
    const char* name;
    const char* line;
    bool read;  // the line is the file "/d/seg"
    std::string actual;
    int kind;
    bool unmapped, lookupFails, parseFails, updateFails;
};

class IndexLines : public SearchIndexTable, public ::testing::WithParamInterface<LineCase> {};

TEST_P(IndexLines, AreReadOrSkipped) {
    const LineCase& c = GetParam();
    writeSettings(std::string("[SearchIndex]\nfile = ") + c.line + "\n");
    IndexFile found;
    ASSERT_EQ(wzsearch::findByDummyPath("/d/seg", found), c.read);
    EXPECT_EQ(wzsearch::indexReachable(), c.read);
    if (c.read) {
        EXPECT_EQ(found.actualPath, c.actual);
        EXPECT_EQ(found.kind, c.kind);
        EXPECT_EQ(found.unmapped, c.unmapped);
        EXPECT_EQ(found.lookupFails, c.lookupFails);
        EXPECT_EQ(found.parseFails, c.parseFails);
        EXPECT_EQ(found.updateFails, c.updateFails);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IndexLines,
    ::testing::Values(LineCase{"Plain", "/d/seg|/index/seg|1|", true, "/index/seg", 1, false, false, false, false},
                      LineCase{"AllFlags", "/d/seg|/index/seg|3|unmapped+lookup-fails+parse-fails+update-fails", true,
                               "/index/seg", 3, true, true, true, true},
                      LineCase{"NoActualPath", "/d/seg||4|", true, "", 4, false, false, false, false},
                      LineCase{"UnknownFlag", "/d/seg|/index/seg|1|tape", false, "", 0, false, false, false, false},
                      LineCase{"TooFewFields", "/d/seg|/index/seg|1", false, "", 0, false, false, false, false},
                      LineCase{"TooManyFields", "/d/seg|/index/seg|1||", false, "", 0, false, false, false, false},
                      LineCase{"KindNotANumber", "/d/seg|/index/seg|meta|", false, "", 0, false, false, false, false},
                      LineCase{"KindOutOfRange", "/d/seg|/index/seg|4294967296|", false, "", 0, false, false, false,
                               false}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(SearchIndexTable, MemoryComesBeforeTheSettings) {
    writeSettings("[SearchIndex]\nfile = /d/seg|/from/settings|1|\nfile = /d/other|/other|1|\n");
    wzsearch::addIndexFile(file("/d/seg", "/from/memory"));
    IndexFile found;
    ASSERT_TRUE(wzsearch::findByDummyPath("/d/seg", found));
    EXPECT_EQ(found.actualPath, "/from/memory");
    ASSERT_TRUE(wzsearch::findByDummyPath("/d/other", found));
    EXPECT_EQ(found.actualPath, "/other");
    ASSERT_TRUE(wzsearch::findByActualPath("/other", found));
    EXPECT_EQ(found.dummyPath, "/d/other");
    EXPECT_FALSE(wzsearch::findByActualPath("", found));
}

TEST_F(SearchIndexTable, TheClientsAnswerFromTheIndex) {
    IndexFile unmapped = file("/d/unmapped", "/u");
    unmapped.unmapped = true;
    unmapped.lookupFails = true;
    wzsearch::addIndexFile(file("/d/seg", "/core1/seg"));
    wzsearch::addIndexFile(unmapped);
    CSolrIndexApi index(3, "", "", nullptr, false);

    std::string path;
    bool isUnmapped = true;
    ASSERT_FALSE(index.GetInplaceRestorePath("/d/seg", path, isUnmapped).IsError());
    EXPECT_EQ(path, "/core1/seg");
    EXPECT_FALSE(isUnmapped);
    ASSERT_FALSE(index.GetOutOfPlaceRestorePath("/d/seg", "/dest/", path, isUnmapped).IsError());
    EXPECT_EQ(path, "/dest/core1/seg");

    CQiError unknown = index.GetInplaceRestorePath("/d/nothing", path, isUnmapped);
    ASSERT_TRUE(unknown.IsError());
    EXPECT_EQ(FXErrorUtil::GetMessage(unknown), "The search index knows no file [/d/nothing]");
    EXPECT_TRUE(path.empty());
    // A file it knows but cannot place is still said to be unmapped.
    EXPECT_TRUE(index.GetOutOfPlaceRestorePath("/d/unmapped", "/dest", path, isUnmapped).IsError());
    EXPECT_TRUE(isUnmapped);
    EXPECT_TRUE(path.empty());

    CSolrCloudApi cloud(4, "", nullptr, false);
    EXPECT_FALSE(cloud.PopulateCollectionsInfo("/results").IsError());
    RestoreCloudFileDetail detail;
    isUnmapped = false;
    ASSERT_FALSE(detail.ParseDummyFilePath("/d/unmapped", isUnmapped).IsError());
    EXPECT_TRUE(isUnmapped);
    EXPECT_EQ(detail.GetFileType(), wzsearch::kKindIndexData);
    EXPECT_TRUE(detail.ParseDummyFilePath("/d/nothing", isUnmapped).IsError());
}

TEST_F(SearchIndexTable, AMetadataUpdateReadsTheFileOrFails) {
    const std::string meta = scratch_ / "meta.json";
    const std::string refused = scratch_ / "refused.json";
    fcltest::writeFile(meta, "{\"v\": 1}");
    fcltest::writeFile(refused, "{}");
    IndexFile refusing = file("/d/refused", refused);
    refusing.updateFails = true;
    wzsearch::addIndexFile(file("/d/meta", meta));
    wzsearch::addIndexFile(refusing);
    CSolrIndexApi index(3, "", "", nullptr, false);

    EXPECT_FALSE(index.UpdateMetadata(meta, true).IsError());
    EXPECT_TRUE(index.UpdateMetadata(refused, true).IsError());
    EXPECT_TRUE(index.UpdateMetadata(scratch_ / "missing.json", true).IsError());
    const std::vector<wzsearch::MetadataReceived> received = wzsearch::metadataReceived();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].path, meta);
    EXPECT_EQ(received[0].contents, "{\"v\": 1}");
}

// Readers of several archives ask while a test adds files: every answer is whole, and nothing is lost.
TEST_F(SearchIndexTable, ThreadsAskAndAddAtOnce) {
    const int kThreads = 4;
    const int kFiles = 200;
    std::atomic<int> wrong{0};
    fcltest::finishesWithin(std::chrono::seconds(30), "index table threads", [&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &wrong] {
                CSolrIndexApi index(static_cast<unsigned long long>(t), "", "", nullptr, false);
                for (int i = 0; i < kFiles; ++i) {
                    const std::string dummy = "/d/" + std::to_string(t) + "/" + std::to_string(i);
                    wzsearch::addIndexFile(file(dummy, "/actual" + dummy));
                    std::string path;
                    bool unmapped = false;
                    if (index.GetInplaceRestorePath(dummy, path, unmapped).IsError() || path != "/actual" + dummy) {
                        ++wrong;
                    }
                    wzsearch::noteMetadataReceived({path, dummy});
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(wzsearch::metadataReceived().size(), static_cast<size_t>(kThreads * kFiles));
}

}  // namespace
