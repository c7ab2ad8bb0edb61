// The names of a search-index item come from the job's index: in place the file's real location, out of place a
// path under the destination. What the index cannot place fails the item; nothing it answers leads outside.
#include <sys/stat.h>
#include <utime.h>

#include <boost/make_shared.hpp>

#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/apps/SearchIndexTable.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

using wzsearch::IndexFile;

const uint64_t kTroubleshooting = 1ULL << 40;
const unsigned long kOverwrite = 0x4;
const uint32_t kItemTime = 1600000000;

enum class Index { SingleNode, Cloud, None };
enum class OnDisk { Nothing, Newer, SameTime };

struct ItemCase {
    const char* name;
    Index index;
    bool outOfPlace;
    std::vector<IndexFile> files;  // "{S}" in a path stands for the scratch directory
    std::string item;              // the header's name
    // "{D}/..." or "{S}/..." the name given; "#0x..." the id thrown; "failed #0x..." no object, with that id.
    std::string expected;
    bool troubleshooting = false;
    unsigned long moreOptions = 0;
    OnDisk onDisk = OnDisk::Nothing;  // at the file's actual path, before the item is named
};

// Failures name the case, not its bytes.
void PrintTo(const ItemCase& c, std::ostream* out) {
    *out << c.name;
}

IndexFile entry(const std::string& dummy, const std::string& actual, int kind = wzsearch::kKindIndexData) {
    IndexFile file;
    file.dummyPath = dummy;
    file.actualPath = actual;
    file.kind = kind;
    return file;
}

IndexFile unmapped(IndexFile file) {
    file.unmapped = true;
    return file;
}

IndexFile lookupFails(IndexFile file) {
    file.lookupFails = true;
    return file;
}

IndexFile parseFails(IndexFile file) {
    file.parseFails = true;
    return file;
}

std::string idText(unsigned long id) {
    char text[32];
    snprintf(text, sizeof text, "#0x%lx", id);
    return text;
}

std::string substituted(std::string text, const std::string& placeholder, const std::string& value) {
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

const std::vector<ItemCase> kCases = {
    {"InPlaceTheRealLocation",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "{S}/index/seg")},
     "/dummy/core1/seg",
     "{S}/index/seg"},
    {"InPlaceUnmapped",
     Index::SingleNode,
     false,
     {unmapped(entry("/dummy/core1/seg", "{S}/index/seg"))},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"InPlaceUnknownToTheIndex",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "{S}/index/seg")},
     "/dummy/core9/seg",
     "failed " + idText(fclitem::kNoDestination)},
    {"InPlaceLookupFails",
     Index::SingleNode,
     false,
     {lookupFails(entry("/dummy/core1/seg", "{S}/index/seg"))},
     "/dummy/core1/seg",
     "failed " + idText(fclitem::kNoDestination)},
    {"InPlaceTroubleshootingKeepsItsName",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "{S}/index/seg")},
     "{S}/logs/solr.log",
     "{S}/logs/solr.log",
     true},
    {"InPlaceRelativeLocation",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "index/seg")},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"InPlaceLocationClimbs",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "{S}/index/../../etc/seg")},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"InPlaceNoLocation",
     Index::SingleNode,
     false,
     {entry("/dummy/core1/seg", "")},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"InPlaceWithoutAClient",
     Index::None,
     false,
     {entry("/dummy/core1/seg", "{S}/index/seg")},
     "/dummy/core1/seg",
     "failed " + idText(fclitem::kNoDestination)},
    {"OutOfPlaceUnderTheDestination",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "/core1/data/seg")},
     "/dummy/core1/seg",
     "{D}/core1/data/seg"},
    {"OutOfPlaceUnmapped",
     Index::SingleNode,
     true,
     {unmapped(entry("/dummy/core1/seg", "/core1/data/seg"))},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"OutOfPlaceLocationClimbsOut",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "../../etc/cron.d/seg")},
     "/dummy/core1/seg",
     idText(fclitem::kNoDestination)},
    {"OutOfPlaceUnknownFails",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "/core1/seg")},
     "/dummy/core9/seg",
     "failed " + idText(fclitem::kNoDestination)},
    {"OutOfPlaceUnknownFailsEvenAsTroubleshooting",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "/c/seg")},
     "/logs/solr.log",
     "failed " + idText(fclitem::kNoDestination),
     true},
    {"OutOfPlaceDrivePathGoesToTroubleshooting",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "/c/seg")},
     "D:\\logs\\a.txt",
     "{D}/Troubleshooting/logs\\a.txt"},
    {"OutOfPlaceDrivePathClimbingOutOfTroubleshooting",
     Index::SingleNode,
     true,
     {entry("/dummy/core1/seg", "/c/seg")},
     "D:\\../x",
     idText(fclitem::kNoDestination)},
    {"OutOfPlaceDrivePathUnmappedStillFails",
     Index::SingleNode,
     true,
     {unmapped(lookupFails(entry("D:\\logs\\a.txt", "/c/a.txt")))},
     "D:\\logs\\a.txt",
     idText(fclitem::kNoDestination)},
    {"OutOfPlaceCloudKeepsItsOrdinaryName",
     Index::Cloud,
     true,
     {entry("/dummy/coll/seg", "/elsewhere/seg")},
     "/dummy/coll/seg",
     "{D}/seg"},
    {"InPlaceCloudTheRealLocation",
     Index::Cloud,
     false,
     {entry("/dummy/coll/seg", "{S}/coll/seg")},
     "/dummy/coll/seg",
     "{S}/coll/seg"},
    {"InPlaceCloudUnmappedByTheParse",
     Index::Cloud,
     false,
     {unmapped(entry("/dummy/coll/seg", "{S}/coll/seg"))},
     "/dummy/coll/seg",
     idText(fclitem::kNoDestination)},
    {"InPlaceCloudUnparsedTroubleshootingTakesTheRealLocation",
     Index::Cloud,
     false,
     {parseFails(entry("/dummy/coll/seg", "{S}/coll/seg"))},
     "/dummy/coll/seg",
     "{S}/coll/seg",
     true},
    {"InPlaceCloudUnparsedFails",
     Index::Cloud,
     false,
     {parseFails(entry("/dummy/coll/seg", "{S}/coll/seg"))},
     "/dummy/coll/seg",
     "failed " + idText(fclitem::kNoDestination)},
    {"InPlaceCloudNewerCopyOnDiskStays",
     Index::Cloud,
     false,
     {entry("/dummy/coll/seg", "{S}/coll/seg", wzsearch::kKindCloudSegment)},
     "/dummy/coll/seg",
     idText(fclitem::kSkippedExisting),
     false,
     kOverwrite,
     OnDisk::Newer},
    {"InPlaceCloudCopyOfTheSameTimeIsReplaced",
     Index::Cloud,
     false,
     {entry("/dummy/coll/seg", "{S}/coll/seg", wzsearch::kKindCloudSegment)},
     "/dummy/coll/seg",
     "{S}/coll/seg",
     false,
     kOverwrite,
     OnDisk::SameTime},
    {"InPlaceCloudNewerCopyWithoutOverwriteIsNotJudgedHere",
     Index::Cloud,
     false,
     {entry("/dummy/coll/seg", "{S}/coll/seg", wzsearch::kKindCloudSegment)},
     "/dummy/coll/seg",
     "{S}/coll/seg",
     false,
     0,
     OnDisk::Newer},
    {"InPlaceCloudNewerCopyOfAnotherKindIsNotJudged",
     Index::Cloud,
     false,
     {entry("/dummy/coll/seg", "{S}/coll/seg", wzsearch::kKindMetadata)},
     "/dummy/coll/seg",
     "{S}/coll/seg",
     false,
     kOverwrite,
     OnDisk::Newer},
};

class SearchIndexItems : public fcltest::JobFactoryFixture, public ::testing::WithParamInterface<ItemCase> {
protected:
    ~SearchIndexItems() override { wzsearch::clearIndex(); }

    std::string scratch(const std::string& text) const { return substituted(text, "{S}", scratch_.path()); }

    void useIndex(Index kind) {
        boost::shared_ptr<IDBBackup> index;
        if (kind == Index::Cloud) {
            companion()._solrCloudRestore = true;
            index = boost::make_shared<CSolrCloudApi>(5, "", nullptr, false);
        } else {
            companion()._solrDBRestore = true;
            if (kind == Index::SingleNode) {
                index = boost::make_shared<CSolrIndexApi>(5, "", "", nullptr, false);
            }
        }
        if (index) {
            job_.SetSolrIndexDB(index);
        }
    }

    void placeOnDisk(const std::string& path, OnDisk what) {
        if (what == OnDisk::Nothing) {
            return;
        }
        ASSERT_EQ(mkdir(path.substr(0, path.rfind('/')).c_str(), 0755), 0);
        fcltest::writeFile(path, "on disk");
        const time_t when = what == OnDisk::Newer ? kItemTime + 60 : kItemTime;
        const utimbuf times = {when, when};
        ASSERT_EQ(utime(path.c_str(), &times), 0);
    }

    // The item's name as the factory gives it, or how it failed (see ItemCase::expected).
    std::string nameOf(FsRestoreUnixObjectsFactory& factory, CXFileHeader& item) {
        try {
            std::unique_ptr<FsRestoreObject> object(factory.createRestoreObject(&item, 0));
            if (!object) {
                return "failed " + idText(factory.getErrCode());
            }
            EXPECT_EQ(factory.getFilename(), factory.getFilenameA());
            return factory.getFilenameA();
        } catch (const ClExceptError& error) {
            return idText(static_cast<unsigned long>(error.getErrCode()));
        }
    }
};

TEST_P(SearchIndexItems, TheIndexNamesTheItemOrItFails) {
    const ItemCase& c = GetParam();
    for (IndexFile file : c.files) {
        file.actualPath = scratch(file.actualPath);
        wzsearch::addIndexFile(file);
    }
    useIndex(c.index);
    const std::string dest = scratch_ / "dest";
    std::unique_ptr<fcltest::FactoryView> factory =
        make((c.outOfPlace ? FSR_OPT_OUT_OF_PLACE : 0UL) | c.moreOptions, dest);
    if (!c.files.empty()) {
        placeOnDisk(scratch(c.files.front().actualPath), c.onDisk);
    }
    CXFileHeader item = header(scratch(c.item), 0100644);
    item.flags = c.troubleshooting ? kTroubleshooting : 0;
    item.mtime = kItemTime;

    EXPECT_EQ(nameOf(*factory, item), substituted(scratch(c.expected), "{D}", dest));
    if (c.index == Index::Cloud && c.outOfPlace) {
        for (const std::string& call : wzplatform::journalLines("solr")) {
            EXPECT_EQ(call.find("path of"), std::string::npos) << "the index was asked: " << call;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Items, SearchIndexItems, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ItemCase>& info) { return info.param.name; });

// The lookup's failure is logged with the item's dummy path, and the item is told apart from one without memory.
TEST_F(SearchIndexItems, AnUnknownFileIsLoggedWithItsDummyPath) {
    wzsearch::addIndexFile(entry("/dummy/core1/seg", "/index/seg"));
    useIndex(Index::SingleNode);
    std::unique_ptr<fcltest::FactoryView> factory = make(0, scratch_ / "dest");
    CXFileHeader item = header("/dummy/core2/seg", 0100644);
    wzlog::ScopedCapture log;
    EXPECT_EQ(nameOf(*factory, item), "failed " + idText(fclitem::kNoDestination));
    EXPECT_TRUE(log->contains("Failed to parse the dummy path [/dummy/core2/seg]. Error ["));
    EXPECT_TRUE(log->contains("The search index knows no file [/dummy/core2/seg]"));
}

TEST_F(SearchIndexItems, WithoutAJobNoPathIsFound) {
    for (unsigned long options : {0UL, static_cast<unsigned long>(FSR_OPT_OUT_OF_PLACE)}) {
        std::unique_ptr<fcltest::FactoryView> factory = make(options, scratch_ / "dest", false);
        CQiError error = factory->processSolrDBFileHeader(header("/dummy/core1/seg", 0100644));
        ASSERT_TRUE(error.IsError());
        EXPECT_EQ(FXErrorUtil::GetCode(error), 774) << options;
        EXPECT_EQ(FXErrorUtil::GetMessage(error), "Failed to get restore file path") << options;
    }
}

}  // namespace
