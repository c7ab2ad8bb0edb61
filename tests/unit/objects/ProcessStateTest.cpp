// Process-wide restore state does not pass from one job to the next: the reset puts back every load-time value, and
// settings read once per process are read again by the next job.
#include <gtest/gtest.h>

#include <memory>

#include "clRestore/objects/FsRestoreFile.h"
#include "platform/log/LogWriter.h"
#include "tests/common/FactoryFixture.h"

namespace {

class ProcessState : public fcltest::FactoryFixture {
protected:
    std::unique_ptr<FsRestoreUnixObject> build(FsRestoreUnixObjectsFactory& factory) {
        CXFileHeader header;
        header.mode = 0100644;
        return std::unique_ptr<FsRestoreUnixObject>(new FsRestoreFile(&header, &factory));
    }
};

TEST_F(ProcessState, ResetPutsBackEveryLoadTimeValue) {
    FsRestoreUnixObject::createHoles(1);
    FsRestoreUnixObject::setMinHoleSize(4096);
    FsRestoreUnixObject::_preventStickyBeforeWrite = true;
    FsRestoreUnixObject::_firstTime = 0;
    giBlockSize = 65536;
    lastOffset = 77;
    fileRange = fileRange_t(10, 20);
    fileRange.seen = 5;
    fileRangeMap["/src"] = fileRange_t(1, 2);
    g_dirMap["/made/by/job/one"] = true;
    g_preserveOwnership = true;
    g_setACL = true;
    MinSrcPathSize = 3;

    resetProcessRestoreState();

    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 0);
    EXPECT_EQ(FsRestoreUnixObject::_minHoleSize, 512);
    EXPECT_FALSE(FsRestoreUnixObject::_preventStickyBeforeWrite);
    EXPECT_EQ(FsRestoreUnixObject::_firstTime, 1);
    EXPECT_EQ(giBlockSize, 1024);
    EXPECT_EQ(lastOffset, 0u);
    EXPECT_EQ(fileRange.start, 0);
    EXPECT_EQ(fileRange.end, -1);
    EXPECT_EQ(fileRange.seen, 0);
    EXPECT_TRUE(fileRangeMap.empty());
    EXPECT_TRUE(g_dirMap.empty());
    EXPECT_FALSE(g_preserveOwnership);
    EXPECT_FALSE(g_setACL);
    EXPECT_EQ(MinSrcPathSize, 0);
}

// Read by the first object of a process only; with the reset, by the first object of each job.
TEST_F(ProcessState, StickySettingIsReadByTheFirstObjectOfEachJob) {
    const struct {
        const char* value;
        bool prevent;
    } cases[] = {{"Yes", true}, {"y", true}, {"no", false}, {"", false}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "absent");
        resetProcessRestoreState();
        writeSettings(c.value != nullptr
                          ? std::string("[FileSystemAgent]\npreventStickyBeforeWrite = ") + c.value + "\n"
                          : std::string());
        auto factory = makeFactory();
        wzlog::ScopedCapture capture;
        build(*factory);
        // A later change of the setting does not reach the objects of the same job.
        writeSettings(c.prevent ? "" : "[FileSystemAgent]\npreventStickyBeforeWrite = Y\n");
        build(*factory);
        build(*factory);
        EXPECT_EQ(FsRestoreUnixObject::_preventStickyBeforeWrite, c.prevent);
        EXPECT_EQ(capture->count("Will not enforce sticky bits before writing the data."), c.prevent ? 1u : 0u);
        if (c.prevent) {
            EXPECT_TRUE(capture->contains(std::string("preventStickyBeforeWriteStr=") + c.value + "'"));
        }
    }
}

}  // namespace
