// The close's own steps: the zero byte that gives a file ending in a hole its length, the ufsdump side names, the
// Finder information and the AppleDouble companion file of an Apple item.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/events/EvEvent.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::stateOf;

class CloseSteps : public objtest::ItemFixture {};

TEST_F(CloseSteps, FileEndingInAHoleGetsItsFullLength) {
    const std::string path = dest_ + "/sparse";
    ItemLayout plan;
    plan.data.assign(100, 'd');
    auto item = makeItem(path, plan);
    ASSERT_EQ(item->openObject(), 1);
    item->writeData(&plan.data[0], 100);
    ASSERT_EQ(lseek(item->_handle, 8192, SEEK_CUR), 8292);
    item->_holePending = 1;
    EXPECT_EQ(item->closeObject(), 1);
    EXPECT_EQ(item->_holePending, 0);
    const std::string content = stateOf(path).content;
    ASSERT_EQ(content.size(), 8292u);
    EXPECT_EQ(content.back(), '\0');
    EXPECT_EQ(content.substr(0, 100), plan.data);
}

TEST_F(CloseSteps, FileEndingInDataGetsNoExtraByte) {
    const std::string path = dest_ + "/dense";
    EXPECT_EQ(restore(path), 0u);
    EXPECT_EQ(stateOf(path).content, ItemLayout().data);
}

// A ufsdump image is left beside the item under the first free side name, with the item's times; the event that
// says so is raised once in the process.
TEST_F(CloseSteps, UfsDumpImageTakesTheFirstFreeSideName) {
    const std::string path = dest_ + "/image";
    fcltest::writeFile(path + ".ufsdump", "taken");
    fcltest::writeFile(path + ".ufsdump.1", "taken");
    wzplatform::clearRaisedEvents();
    for (const char* side : {".ufsdump.2", ".ufsdump.3"}) {
        SCOPED_TRACE(side);
        auto item = makeItem(path);
        item->_flags2 |= CXHDR_F2_UFSDUMP;
        ASSERT_EQ(item->openObject(), 1);
        EXPECT_EQ(item->closeObject(), 1);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        EXPECT_FALSE(stateOf(path).exists);
        EXPECT_EQ(stateOf(path + side).mtime, static_cast<time_t>(ItemLayout().mtime));
    }
    int raised = 0;
    for (const EvRaisedEvent& event : wzplatform::raisedEvents()) {
        raised += event.messageId == 0x18000030 ? 1 : 0;
    }
    EXPECT_EQ(raised, 1);
}

// Finder information handed to the host's attribute writer.
std::string g_finderName;
std::string g_finderValue;
int captureFinderInfo(int /*fd*/, const char* name, const void* data, size_t length, uint32_t /*position*/,
                      int /*options*/) {
    g_finderName = name;
    g_finderValue.assign(static_cast<const char*>(data), length);
    return 0;
}

uint32_t bigEndianAt(const std::string& bytes, size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 |
           b[3];
}

class AppleItem : public CloseSteps {
protected:
    AppleItem() {
        for (size_t i = 0; i < block_.size(); ++i) {
            block_[i] = static_cast<char>(i + 1);
        }
        fork_.assign(1000, '\0');
        fork_[0] = 'R';
        _fsetxattr_func = captureFinderInfo;
        g_finderName.clear();
        g_finderValue.clear();
    }
    ~AppleItem() override { _fsetxattr_func = nullptr; }

    // The Apple item's close; the companion file's content.
    std::string closeWith(uint32_t hfsFlags, bool withBlock, bool withFork) {
        const std::string path = dest_ + "/apple";
        const std::string companion = dest_ + "/._apple";
        auto item = makeItem(path);
        item->isFromHFS = hfsFlags;
        EXPECT_EQ(item->openObject(), 1);
        snprintf(item->_rsrcFilename, sizeof item->_rsrcFilename, "%s", companion.c_str());
        item->_rsrchandle = open(companion.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (withBlock) {
            item->_forkStreams[HFS_DATA_FINDERINFO].reset(new std::stringstream(block_));
        }
        if (withFork) {
            item->_forkStreams[HFS_DATA_RESOURCE_FORK].reset(new std::stringstream(fork_));
        }
        // The companion is written without hole detection, so that a zero run at its end cannot shorten it; the
        // job's switch is back afterwards.
        FsRestoreUnixObject::createHoles(1);
        EXPECT_EQ(item->closeObject(), 1);
        EXPECT_EQ(item->holeDetectionSeen, 0);
        EXPECT_EQ(FsRestoreUnixObject::_createHoles, 1);
        FsRestoreUnixObject::createHoles(0);
        EXPECT_EQ(item->_rsrchandle, -1);
        EXPECT_EQ(stateOf(companion).mtime, static_cast<time_t>(ItemLayout().mtime));
        return stateOf(companion).content;
    }

    void expectEntry(const std::string& file, int index, uint32_t id, uint32_t offset, uint32_t length) {
        SCOPED_TRACE("entry " + std::to_string(index));
        const size_t at = 26 + 12 * static_cast<size_t>(index);
        EXPECT_EQ(bigEndianAt(file, at), id);
        EXPECT_EQ(bigEndianAt(file, at + 4), offset);
        EXPECT_EQ(bigEndianAt(file, at + 8), length);
    }

    std::string block_ = std::string(92, '\0');
    std::string fork_;
};

TEST_F(AppleItem, CompanionHoldsFinderInfoResourceForkAndPrivateData) {
    const std::string file = closeWith(0x01, true, true);
    ASSERT_EQ(file.size(), 1154u);
    EXPECT_EQ(bigEndianAt(file, 0), 0x00051607u);
    EXPECT_EQ(bigEndianAt(file, 4), 0x00020000u);
    EXPECT_EQ(file.substr(8, 16), std::string(16, '\0'));
    EXPECT_EQ(file[24] * 256 + file[25], 3);
    expectEntry(file, 0, 9, 62, 32);
    expectEntry(file, 1, 2, 94, 1000);
    expectEntry(file, 2, 0x80000001u, 1094, 60);
    EXPECT_EQ(file.substr(62, 32), block_.substr(60, 32));
    EXPECT_EQ(file.substr(94, 1000), fork_);
    EXPECT_EQ(file.substr(1094, 60), block_.substr(0, 60));
    EXPECT_EQ(g_finderName, "com.apple.FinderInfo");
    EXPECT_EQ(g_finderValue, block_.substr(60, 32));
}

TEST_F(AppleItem, WithoutPrivateEntryTheForkEndsTheFileAtItsFullLength) {
    const std::string file = closeWith(0x11, true, true);
    ASSERT_EQ(file.size(), 1082u);
    EXPECT_EQ(file[24] * 256 + file[25], 2);
    expectEntry(file, 0, 9, 50, 32);
    expectEntry(file, 1, 2, 82, 1000);
    EXPECT_EQ(file.substr(82), fork_);
}

// A resource fork without the attribute block: every entry the file describes is there, zero-filled.
TEST_F(AppleItem, MissingAttributeBlockIsWrittenAsZeros) {
    const std::string file = closeWith(0x01, false, true);
    ASSERT_EQ(file.size(), 1154u);
    EXPECT_EQ(file[24] * 256 + file[25], 3);
    expectEntry(file, 2, 0x80000001u, 1094, 60);
    EXPECT_EQ(file.substr(62, 32), std::string(32, '\0'));
    EXPECT_EQ(file.substr(1094), std::string(60, '\0'));
    EXPECT_TRUE(g_finderName.empty());
}

TEST_F(AppleItem, NoFinderInfoAttributeWhenTheItemSaysSo) {
    closeWith(0x09, true, true);
    EXPECT_TRUE(g_finderName.empty());
}

}  // namespace
