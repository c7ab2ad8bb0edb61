// An item that failed before its close must not look complete: it gets neither the archive's times nor its held-back
// mode, its partial file goes when the job removes partial files, and a kept partial file is restored again by a
// later restore that keeps newer files.
#include <sys/stat.h>

#include <functional>
#include <sstream>
#include <string>

#include "clRestore/objects/FsRestoreFile.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::stateOf;

struct Failure {
    const char* name;
    std::function<void(objtest::TestItem&, FclRestore&)> strike;
    unsigned long id;  // the id the item ends with: a cut-short item is one whose data failed
};

const Failure kFailures[] = {
    {"write error", [](objtest::TestItem& item, FclRestore&) { item.handleError(EIO); }, fclitem::kWriteFailed},
    {"disk full", [](objtest::TestItem& item, FclRestore&) { item.handleError(ENOSPC); }, fclitem::kDiskFull},
    {"read error, end of file missing", [](objtest::TestItem& item, FclRestore&) { item.markDataIncomplete(); },
     fclitem::kWriteFailed},
    {"stop", [](objtest::TestItem&, FclRestore& job) { job.terminateReadPipelineThread(); }, fclitem::kWriteFailed},
    {"fatal error", [](objtest::TestItem&, FclRestore& job) { job._fatalError = 1; }, fclitem::kWriteFailed},
};

class FailedItem : public objtest::ItemFixture {
protected:
    // Opens the item and writes part of its data; the failure strikes before the close.
    int failAndClose(const std::string& path, const Failure& failure) {
        factory_->setErrCode(0);
        job_.enableReadPipelineThread();
        job_._fatalError = 0;
        auto item = makeItem(path, plan_);
        EXPECT_EQ(item->openObject(), 1);
        char part[] = "part";
        item->writeData(part, 4);
        failure.strike(*item, job_);
        const int closed = item->closeObject();
        job_.enableReadPipelineThread();
        job_._fatalError = 0;
        return closed;
    }

    ItemLayout plan_ = [] {
        ItemLayout s;
        s.mode = S_IFREG | 04755;
        return s;
    }();
};

TEST_F(FailedItem, PartialFileIsRemovedWhenTheJobRemovesPartialFiles) {
    job_._removeFileOnError = true;
    int index = 0;
    for (const Failure& failure : kFailures) {
        SCOPED_TRACE(failure.name);
        const std::string path = dest_ + "/removed" + std::to_string(index++);
        EXPECT_EQ(failAndClose(path, failure), 0);
        EXPECT_FALSE(stateOf(path).exists);
        EXPECT_EQ(factory_->getErrCode(), failure.id);
    }
}

TEST_F(FailedItem, KeptPartialFileHasNeitherTheArchiveTimesNorItsSpecialBits) {
    job_._removeFileOnError = false;
    int index = 0;
    for (const Failure& failure : kFailures) {
        SCOPED_TRACE(failure.name);
        const std::string path = dest_ + "/kept" + std::to_string(index++);
        EXPECT_EQ(failAndClose(path, failure), 0);
        const auto kept = stateOf(path);
        ASSERT_TRUE(kept.exists);
        EXPECT_EQ(kept.mode, static_cast<mode_t>(S_IFREG | 0755));
        EXPECT_NE(kept.mtime, static_cast<time_t>(plan_.mtime));

        // A later restore that keeps newer files does not take the partial file for a newer one.
        useFactory(0);
        EXPECT_EQ(restore(path, plan_), 0u);
        const auto redone = stateOf(path);
        EXPECT_EQ(redone.content, plan_.data);
        EXPECT_EQ(redone.mode, plan_.mode);
        EXPECT_EQ(redone.mtime, static_cast<time_t>(plan_.mtime));
    }
}

TEST_F(FailedItem, ACompleteItemStaysWhenTheJobRemovesPartialFiles) {
    job_._removeFileOnError = true;
    const std::string path = dest_ + "/complete";
    EXPECT_EQ(restore(path, plan_), 0u);
    EXPECT_EQ(stateOf(path).content, plan_.data);
    EXPECT_EQ(stateOf(path).mode, plan_.mode);
}

// Only files have partial data: a failed directory is never removed. It keeps what its open gave it, closed to group
// and others: never more open than it was backed up.
TEST_F(FailedItem, DirectoryIsNeverRemoved) {
    job_._removeFileOnError = true;
    const std::string path = dest_ + "/dir";
    plan_.mode = S_IFDIR | 01777;
    auto item = makeItem(path, plan_);
    ASSERT_EQ(item->openObject(), 1);
    item->markDataIncomplete();
    EXPECT_EQ(item->closeObject(), 0);
    EXPECT_EQ(stateOf(path).mode, static_cast<mode_t>(S_IFDIR | 0700));
}

// A file whose owner is refused whoever runs the test.
class OwnerRefusedFile : public FsRestoreFile {
public:
    OwnerRefusedFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory) : FsRestoreFile(header, factory) {}
    int FChownFile(int, unsigned int, unsigned int) override {
        errno = EPERM;
        return -1;
    }
};

struct LateOpenFailure {
    const char* name;
    std::function<std::unique_ptr<FsRestoreFile>(CXFileHeader*, FsRestoreUnixObjectsFactory*, const std::string&)> make;
};

const LateOpenFailure kLateOpenFailures[] = {
    {"owner refused",
     [](CXFileHeader* header, FsRestoreUnixObjectsFactory* factory, const std::string&) {
         return std::unique_ptr<FsRestoreFile>(new OwnerRefusedFile(header, factory));
     }},
    {"resource-fork companion refused",
     [](CXFileHeader* header, FsRestoreUnixObjectsFactory* factory, const std::string& path) {
         std::unique_ptr<FsRestoreFile> file(new FsRestoreFile(header, factory));
         file->isFromHFS = 1;
         file->hfsRsrcSize = 10;
         wzfiles::failNextCalls(wzfiles::FileCall::kOpen, EACCES, 1, "._" + path.substr(path.rfind('/') + 1));
         return file;
     }},
};

// The open truncated an older copy of the file before a later step of it failed.
TEST_F(FailedItem, FileTruncatedByAnOpenThatFailsLaterIsNeverLeftLookingRestored) {
    int index = 0;
    for (bool remove : {true, false}) {
        for (const LateOpenFailure& failure : kLateOpenFailures) {
            SCOPED_TRACE(std::string(failure.name) + (remove ? ", removing partial files" : ", keeping them"));
            job_._removeFileOnError = remove;
            const std::string path = dest_ + "/late" + std::to_string(index++);
            fcltest::writeFile(path, "older copy");
            objtest::setTimes(path, 1000, 1000);
            makeItem(path, plan_);
            auto file = failure.make(&header_, factory_.get(), path);
            file->_filename = path;
            file->_realName = path;
            factory_->setErrCode(0);

            EXPECT_EQ(file->openObject(), 0);
            EXPECT_EQ(factory_->getErrCode(), fclitem::kCreateFailed);
            EXPECT_LT(file->_handle, 0);
            file.reset();
            const auto left = stateOf(path);
            if (remove) {
                EXPECT_FALSE(left.exists);
                continue;
            }
            ASSERT_TRUE(left.exists);
            EXPECT_EQ(left.content, "");
            EXPECT_EQ(left.mtime, 0);
            // A later restore that keeps newer files redoes it.
            EXPECT_EQ(restore(path, plan_), 0u);
            EXPECT_EQ(stateOf(path).content, plan_.data);
        }
    }
}

// Finder information refused at the close: the item fails there, and its file is handled as any failed item's.
TEST_F(FailedItem, FinderInfoRefusedAtTheCloseLeavesNoFileLookingRestored) {
    struct RefusingWriter {
        RefusingWriter() {
            _fsetxattr_func = [](int, const char*, const void*, size_t, uint32_t, int) {
                errno = EIO;
                return -1;
            };
        }
        ~RefusingWriter() { _fsetxattr_func = nullptr; }
    } refusing;
    for (bool remove : {true, false}) {
        SCOPED_TRACE(remove ? "removing partial files" : "keeping them");
        job_._removeFileOnError = remove;
        const std::string path = dest_ + (remove ? "/finder-removed" : "/finder-kept");
        factory_->setErrCode(0);
        auto item = makeItem(path, plan_);
        item->isFromHFS = 1;
        ASSERT_EQ(item->openObject(), 1);
        item->_forkStreams[HFS_DATA_FINDERINFO].reset(new std::stringstream(std::string(92, 'f')));
        EXPECT_EQ(item->closeObject(), 0);
        EXPECT_EQ(factory_->getErrCode(), fclitem::kWriteFailed);
        const auto left = stateOf(path);
        EXPECT_EQ(left.exists, !remove);
        if (left.exists) {
            EXPECT_EQ(left.mtime, 0);
        }
    }
}

}  // namespace
