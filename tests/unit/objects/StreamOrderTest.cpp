// Restore objects of every kind driven as the stream handlers drive them: open, optional header, data, hole, close.
// The result convention holds at each step: 1 to go on, 0 with the item's id in the factory's error code, and a
// skipped item goes on without work and keeps the reason it was skipped for. No object may claim an item it did not
// restore.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FSRestoreSolrDBFile.h"
#include "clRestore/objects/FsRestoreDirectory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/FsRestoreSpecial.h"
#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/objects/FsRestoreWindowsFile.h"
#include "clRestore/support/ItemErrorIds.h"
#include "tests/common/FactoryFixture.h"

// A hole's length is a 32-bit count: 2 GiB and more must not arrive negative.
static_assert(std::is_same<decltype(&FsRestoreObject::makeHole), int (FsRestoreObject::*)(unsigned int)>::value,
              "makeHole takes an unsigned 32-bit length");

namespace {

using Maker = std::function<FsRestoreUnixObject*(CXFileHeader*, FsRestoreUnixObjectsFactory*)>;

template <class T>
Maker maker() {
    return [](CXFileHeader* header, FsRestoreUnixObjectsFactory* factory) { return new T(header, factory); };
}

struct Kind {
    const char* name;
    Maker make;
    uint64_t mode;
    // The kind's own open and close decide before the common steps do (a directory without a name is skipped, a
    // link keeps its header and is made at close): the stand-ins' answers are not its answers.
    bool ownSteps;
};

void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}

const Kind kKinds[] = {
    {"UnixObject", maker<FsRestoreUnixObject>(), 0100644, false},
    {"File", maker<FsRestoreFile>(), 0100644, false},
    {"CacheFile", maker<FsRestoreUnixCacheFile>(), 0100644, false},
    {"Directory", maker<FsRestoreDirectory>(), 040755, true},
    {"CacheDirectory", maker<FsRestoreUnixCacheDirectory>(), 040755, true},
    {"Symlink", maker<FsRestoreSymlink>(), 0120777, true},
    {"Special", maker<FsRestoreSpecial>(), 010644, false},
    {"WindowsFile", maker<FsRestoreWindowsFile>(), 0100644, false},
    {"SearchIndexFile", maker<FSRestoreSolrDBFile>(), 0100644, false},
};

// The item's destination lies below a regular file, so that nothing of it can be created.
class StreamOrder : public fcltest::FactoryFixture, public ::testing::WithParamInterface<Kind> {
protected:
    StreamOrder() : blocker_(scratch_ / "file"), factory_(makeJobFactory()) {
        fcltest::writeFile(blocker_, "x");
        header_.mode = GetParam().mode;
        header_.size = 8;
        object_.reset(GetParam().make(&header_, factory_.get()));
        static_cast<FsRestoreUnixObject&>(*object_)._filename = blocker_ + "/dir/item";
    }

    std::unique_ptr<FsRestoreUnixObjectsFactory> makeJobFactory() {
        std::string dest = scratch_.path();
        return std::unique_ptr<FsRestoreUnixObjectsFactory>(
            new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, &dest[0], 0, &job_));
    }

    FclRestore job_;
    std::string blocker_;
    std::unique_ptr<FsRestoreUnixObjectsFactory> factory_;
    CXFileHeader header_;
    std::unique_ptr<FsRestoreObject> object_;
    char data_[8] = {'d', 'a', 't', 'a', 0, 0, 0, 0};
};

struct Step {
    const char* name;
    std::function<int(FsRestoreObject&, char*)> call;
    unsigned long failureId;  // 0: the step goes on without failing the item
    // Data steps are built: with no descriptor open they write nothing and go on.
    bool pending;
};

// ACLs and extended attributes are not applied yet: an optional header is accepted and the item goes on.
const Step kSteps[] = {
    {"openObject", [](FsRestoreObject& o, char*) { return o.openObject(); }, fclitem::kCreateFailed, true},
    {"writeOptHeader", [](FsRestoreObject& o, char* d) { return o.writeOptHeader(d, 8); }, 0, true},
    {"writeData", [](FsRestoreObject& o, char* d) { return o.writeData(d, 8); }, fclitem::kWriteFailed, false},
    {"makeHole", [](FsRestoreObject& o, char*) { return o.makeHole(0x80000000u); }, fclitem::kWriteFailed, false},
    {"closeObject", [](FsRestoreObject& o, char*) { return o.closeObject(); }, fclitem::kCloseStepFailed, true},
};

TEST_P(StreamOrder, EveryStepThatCannotRestoreFailsWithItsId) {
    if (GetParam().ownSteps) {
        return;
    }
    for (const Step& step : kSteps) {
        if (!step.pending) {
            continue;
        }
        factory_->setErrCode(0);
        EXPECT_EQ(step.call(*object_, data_), step.failureId != 0 ? 0 : 1) << step.name;
        EXPECT_EQ(factory_->getErrCode(), step.failureId) << step.name;
    }
}

TEST_P(StreamOrder, SkippedItemGoesOnAndKeepsItsReason) {
    const struct {
        const char* how;
        std::function<void(FsRestoreUnixObject&)> skip;
        bool processed;
    } skips[] = {
        {"skip flag", [](FsRestoreUnixObject& o) { o._dontRestore = 1; }, false},
        {"hard link", [](FsRestoreUnixObject& o) { o._hardLink = 1; }, true},
        {"stub left as it is", [](FsRestoreUnixObject& o) { o._dontRestoreStubWithGUID = true; }, true},
    };
    for (const auto& s : skips) {
        object_.reset(GetParam().make(&header_, factory_.get()));
        auto& unix = static_cast<FsRestoreUnixObject&>(*object_);
        s.skip(unix);
        factory_->setErrCode(fclitem::kSkippedNotOverwritten);
        // The open is where a skip is decided; every step after it does nothing for the item.
        for (size_t i = 1; i < sizeof(kSteps) / sizeof(kSteps[0]); ++i) {
            EXPECT_EQ(kSteps[i].call(*object_, data_), 1) << s.how << ": " << kSteps[i].name;
            EXPECT_EQ(factory_->getErrCode(), fclitem::kSkippedNotOverwritten) << s.how << ": " << kSteps[i].name;
        }
        EXPECT_EQ(object_->isFileProcessed(), s.processed) << s.how;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, StreamOrder, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return info.param.name; });

// The interface's own defaults: harmless for an object that overrides nothing.
class BareObject : public FsRestoreObject {};

TEST(RestoreObjectInterface, DefaultsGoOnAndNameNothing) {
    BareObject object;
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(object.openObject(), 1);
    EXPECT_EQ(object.writeData(buffer, 4), 1);
    EXPECT_EQ(object.makeHole(0xffffffffu), 1);
    EXPECT_EQ(object.writeOptHeader(buffer, 4), 1);
    EXPECT_EQ(object.writeOptHeader2(buffer, 4), 1);
    EXPECT_EQ(object.writeOptHeader3(buffer, 4), 1);
    EXPECT_EQ(object.writeOptHeaderHLs(buffer, 4), 1);
    EXPECT_EQ(object.writeOptHeaderSparseAllocRanges(buffer, 4), 1);
    EXPECT_EQ(object.closeObject(), 1);
    EXPECT_EQ(object.getTranslatedPathname(), "");
    EXPECT_EQ(object.getOrigPathname(), nullptr);
    EXPECT_EQ(object.getDependantPath(), nullptr);
    EXPECT_EQ(object.setFileTimes(1, 2), 0);
    EXPECT_TRUE(object.isFileProcessed());
    EXPECT_EQ(object.GetRestoredItemType(), "");
}

}  // namespace
