// A file of a search-index database is restored as a regular file; restored in place on a single node, a metadata
// file is handed to the index and removed. Whatever fails, the restored file stays, and the file handed over is the
// item's own, whichever item the factory has named since.
#include <sys/stat.h>

#include <cerrno>

#include <boost/make_shared.hpp>

#include "clRestore/objects/FSRestoreSolrDBFile.h"
#include "platform/apps/SearchIndexTable.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/files/FileCallHooks.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

using wzsearch::IndexFile;

const uint64_t kTroubleshooting = 1ULL << 40;
const char kContents[] = "{\"segments\": 3}";

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

enum class Job { SingleNodeInPlace, SingleNodeOutOfPlace, CloudInPlace, SingleNodeWithCloudClient };

struct CloseCase {
    const char* name;
    Job job;
    int kind;
    std::string flags;  // of the index entry: "update-fails", "parse-fails"
    bool troubleshooting;
    int closed;        // closeObject's answer
    bool handedOver;   // the index received the file, which is then gone
    const char* logs;  // a line the close logs; "" for none asked
};

// Failures name the case, not its bytes.
void PrintTo(const CloseCase& c, std::ostream* out) {
    *out << c.name;
}

const CloseCase kCases[] = {
    {"MetadataInPlaceIsHandedOverAndRemoved", Job::SingleNodeInPlace, wzsearch::kKindMetadata, "", false, 1, true,
     "Updating the metadata from the file ["},
    {"AnotherKindStays", Job::SingleNodeInPlace, wzsearch::kKindIndexData, "", false, 1, false, ""},
    {"MetadataOutOfPlaceStays", Job::SingleNodeOutOfPlace, wzsearch::kKindMetadata, "", false, 1, false, ""},
    {"MetadataOfACollectionStays", Job::CloudInPlace, wzsearch::kKindMetadata, "", false, 1, false, ""},
    {"RefusedByTheIndexFailsAndStays", Job::SingleNodeInPlace, wzsearch::kKindMetadata, "update-fails", false, 0, false,
     "Failed to update the meta data. Error ["},
    {"UnparsedFailsAndStays", Job::SingleNodeInPlace, wzsearch::kKindMetadata, "parse-fails", false, 0, false,
     "Failed to parse the dummy path ["},
    {"UnparsedTroubleshootingStays", Job::SingleNodeInPlace, wzsearch::kKindMetadata, "parse-fails", true, 1, false,
     "is a troubleshooting content"},
    {"NoSingleNodeClientFailsAndStays", Job::SingleNodeWithCloudClient, wzsearch::kKindMetadata, "", false, 0, false,
     "Failed to update the meta data. Error [code 14"},
};

class SearchIndexFile : public fcltest::JobFactoryFixture {
protected:
    ~SearchIndexFile() override {
        wzsearch::clearIndex();
        wzfiles::clearInjectedFailures();
    }

    void useJob(Job job) {
        boost::shared_ptr<IDBBackup> index;
        if (job == Job::CloudInPlace) {
            companion()._solrCloudRestore = true;
            index = boost::make_shared<CSolrCloudApi>(5, "", nullptr, false);
        } else {
            companion()._solrDBRestore = true;
            if (job == Job::SingleNodeWithCloudClient) {
                index = boost::make_shared<CSolrCloudApi>(5, "", nullptr, false);
            } else {
                index = boost::make_shared<CSolrIndexApi>(5, "", "", nullptr, false);
            }
        }
        job_.SetSolrIndexDB(index);
        factory_ =
            make(job == Job::SingleNodeOutOfPlace ? static_cast<unsigned long>(FSR_OPT_OUT_OF_PLACE) : 0UL, dest_);
    }

    // An index file at `place` (under the scratch directory in place, under the destination out of place).
    void addFile(const std::string& dummy, const std::string& place, int kind, const std::string& flags = "") {
        IndexFile file;
        file.dummyPath = dummy;
        file.actualPath = inPlace() ? scratch_ / place : "/" + place;
        file.kind = kind;
        file.updateFails = flags == "update-fails";
        file.parseFails = flags == "parse-fails";
        wzsearch::addIndexFile(file);
    }
    bool inPlace() const { return (factory_->getOptions() & FSR_OPT_OUT_OF_PLACE) == 0; }
    std::string restoredAt(const std::string& place) const {
        return inPlace() ? scratch_ / place : dest_ + "/" + place;
    }

    // The item named through the factory, as the engine names it, and its search-index object.
    std::unique_ptr<FsRestoreUnixObject> objectFor(CXFileHeader& item) {
        std::unique_ptr<FsRestoreObject> named(factory_->createRestoreObject(&item, 0));
        EXPECT_TRUE(named) << item.name;
        return std::unique_ptr<FsRestoreUnixObject>(factory_->CreateSolrDBRestoreFileObject(&item));
    }

    static int openAndWrite(FsRestoreObject& object) {
        std::string data = kContents;
        return object.openObject() == 1 && object.writeData(&data[0], static_cast<int>(data.size())) == 1 ? 1 : 0;
    }

    static CXFileHeader item(const std::string& dummy, uint64_t flags = 0) {
        CXFileHeader h = header(dummy, 0100644);
        h.size = sizeof kContents - 1;
        h.mtime = 1500000000;
        h.uid = getuid();
        h.gid = getgid();
        h.flags = flags;
        return h;
    }

    // A metadata file of a single node restored in place, with its object.
    std::unique_ptr<FsRestoreUnixObject> metadataOfASingleNode() {
        useJob(Job::SingleNodeInPlace);
        addFile("/dummy/core1/meta", "core1/meta.json", wzsearch::kKindMetadata);
        metadataHeader_ = item("/dummy/core1/meta");
        return objectFor(metadataHeader_);
    }

    std::string dest_ = scratch_ / "dest";
    CXFileHeader metadataHeader_;  // kept until the object is closed
    std::unique_ptr<fcltest::FactoryView> factory_;
};

class SearchIndexFileClose : public SearchIndexFile, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(SearchIndexFileClose, TheIndexGetsWhatItShouldAndTheFileStaysOtherwise) {
    const CloseCase& c = GetParam();
    useJob(c.job);
    addFile("/dummy/core1/meta", "core1/meta.json", c.kind, c.flags);
    CXFileHeader header = item("/dummy/core1/meta", c.troubleshooting ? kTroubleshooting : 0);
    const std::string landed = restoredAt("core1/meta.json");
    std::unique_ptr<FsRestoreUnixObject> object = objectFor(header);
    ASSERT_TRUE(object);
    ASSERT_EQ(object->_realName, landed);
    ASSERT_EQ(openAndWrite(*object), 1);

    wzlog::ScopedCapture log;
    EXPECT_EQ(object->closeObject(), c.closed);
    EXPECT_EQ(exists(landed), !c.handedOver);
    const std::vector<wzsearch::MetadataReceived> received = wzsearch::metadataReceived();
    ASSERT_EQ(received.size(), c.handedOver ? 1u : 0u);
    if (c.handedOver) {
        EXPECT_EQ(received[0].path, landed);
        EXPECT_EQ(received[0].contents, kContents);
    } else {
        EXPECT_EQ(fcltest::readFile(landed), kContents);
    }
    if (*c.logs != '\0') {
        EXPECT_TRUE(log->contains(c.logs)) << c.logs;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchIndexFileClose, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

TEST_F(SearchIndexFile, TheCloseHandsOverItsOwnFileNotTheItemNamedSince) {
    std::unique_ptr<FsRestoreUnixObject> object = metadataOfASingleNode();
    ASSERT_TRUE(object);
    addFile("/dummy/core1/seg", "core1/segment", wzsearch::kKindIndexData);
    ASSERT_EQ(openAndWrite(*object), 1);
    // The factory names the next item before this one is closed.
    CXFileHeader next = item("/dummy/core1/seg");
    std::unique_ptr<FsRestoreObject> named(factory_->createRestoreObject(&next, 0));
    fcltest::writeFile(restoredAt("core1/segment"), "segment data");

    EXPECT_EQ(object->closeObject(), 1);
    EXPECT_FALSE(exists(restoredAt("core1/meta.json")));
    EXPECT_EQ(fcltest::readFile(restoredAt("core1/segment")), "segment data");
    const std::vector<wzsearch::MetadataReceived> received = wzsearch::metadataReceived();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].path, restoredAt("core1/meta.json"));
}

TEST_F(SearchIndexFile, ASkippedItemTouchesNeitherTheFileNorTheIndex) {
    std::unique_ptr<FsRestoreUnixObject> object = metadataOfASingleNode();
    ASSERT_TRUE(object);
    object->_dontRestore = 1;
    EXPECT_EQ(object->closeObject(), 1);
    EXPECT_FALSE(exists(restoredAt("core1/meta.json")));
    EXPECT_TRUE(wzsearch::metadataReceived().empty());
    for (const std::string& call : wzplatform::journalLines("solr")) {
        EXPECT_EQ(call.find("metadata"), std::string::npos) << call;
    }
}

TEST_F(SearchIndexFile, AMetadataFileThatCannotBeRemovedIsStillRestored) {
    std::unique_ptr<FsRestoreUnixObject> object = metadataOfASingleNode();
    ASSERT_TRUE(object);
    ASSERT_EQ(openAndWrite(*object), 1);
    wzfiles::failNextCalls(wzfiles::FileCall::kUnlink, EACCES, 1, "meta.json");
    wzlog::ScopedCapture log;
    EXPECT_EQ(object->closeObject(), 1);
    EXPECT_TRUE(log->contains("Failed to remove the metadata file [" + restoredAt("core1/meta.json") + "]"));
    EXPECT_EQ(wzsearch::metadataReceived().size(), 1u);
}

}  // namespace
