// Items from an Apple HFS source: their data is the data fork, then the resource fork, then a 92-byte attribute
// block. Only the data fork goes to the file; the rest is collected for the AppleDouble companion, or given to the
// host's extended-attribute writer when it set one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "clRestore/support/ItemErrorIds.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

class AppleForks : public fcltest::ObjectFixture {
protected:
    ~AppleForks() override { _fsetxattr_func = nullptr; }

    std::unique_ptr<FsRestoreFile> appleFile(uint64_t dataFork, uint64_t resourceFork) {
        header_.h_isHfs = 0x01;
        header_.extentOffset = dataFork;
        auto file = openedFile("apple", dataFork + resourceFork + FsRestoreUnixObject::kHfsAttrBlockSize);
        EXPECT_EQ(file->hfsDataSize, dataFork);
        EXPECT_EQ(file->hfsRsrcSize, resourceFork);
        return file;
    }

    static std::string collected(FsRestoreUnixObject& item, HFS_DATA_TYPE type) {
        auto found = item._forkStreams.find(type);
        return found == item._forkStreams.end() ? std::string("<none>") : found->second->str();
    }
};

TEST_F(AppleForks, OneBufferSplitsIntoDataResourceForkAndAttributes) {
    auto file = appleFile(10, 50);
    const std::string dataFork = nonZeroData(10, 1);
    const std::string resourceFork = nonZeroData(50, 2);
    const std::string attributes = nonZeroData(92, 3);
    std::string buffer = dataFork + resourceFork + attributes;
    EXPECT_EQ(file->writeData(&buffer[0], static_cast<int>(buffer.size())), 1);
    EXPECT_EQ(fcltest::readFile(file->_filename), dataFork);
    EXPECT_EQ(collected(*file, HFS_DATA_RESOURCE_FORK), resourceFork);
    EXPECT_EQ(collected(*file, HFS_DATA_FINDERINFO), attributes);
    EXPECT_EQ(factory_->getErrCode(), 0u);

    // Once both forks and the attributes are complete, anything more is data again.
    std::string more = nonZeroData(7, 4);
    EXPECT_EQ(file->writeData(&more[0], 7), 1);
    EXPECT_EQ(fcltest::readFile(file->_filename), dataFork + more);
}

TEST_F(AppleForks, PartsAcrossBufferBordersGoWhereTheyBelong) {
    auto file = appleFile(100, 1000);
    const std::string item = nonZeroData(100 + 1000 + 92, 9);
    for (size_t at = 0; at < item.size(); at += 77) {
        std::string piece = item.substr(at, 77);
        ASSERT_EQ(file->writeData(&piece[0], static_cast<int>(piece.size())), 1) << at;
    }
    EXPECT_EQ(fcltest::readFile(file->_filename), item.substr(0, 100));
    EXPECT_EQ(collected(*file, HFS_DATA_RESOURCE_FORK), item.substr(100, 1000));
    EXPECT_EQ(collected(*file, HFS_DATA_FINDERINFO), item.substr(1100));
}

// A hole in the data fork is data-fork bytes: what follows it is still told apart correctly.
TEST_F(AppleForks, HoleInTheDataForkCountsAgainstIt) {
    auto file = appleFile(8192 + 10, 20);
    std::string head = nonZeroData(10, 1);
    ASSERT_EQ(file->writeData(&head[0], 10), 1);
    ASSERT_EQ(file->makeHole(8192), 1);
    std::string rest = nonZeroData(20 + 92, 2);
    ASSERT_EQ(file->writeData(&rest[0], static_cast<int>(rest.size())), 1);
    EXPECT_EQ(collected(*file, HFS_DATA_RESOURCE_FORK), rest.substr(0, 20));
    EXPECT_EQ(position(*file), 8192 + 10);
    EXPECT_EQ(file->_holePending, 1);
}

// With the host's attribute writer, the resource fork goes to an extended attribute in pieces, each at the position
// where the last one ended; a busy answer counts as written, any other failure fails the item.
std::vector<std::pair<uint32_t, std::string>> g_attributeWrites;
int g_attributeAnswer = 0;
int g_attributeErrno = 0;

int recordAttribute(int, const char* name, const void* data, size_t length, uint32_t position, int) {
    EXPECT_STREQ(name, "com.apple.ResourceFork");
    g_attributeWrites.emplace_back(position, std::string(static_cast<const char*>(data), length));
    errno = g_attributeErrno;
    return g_attributeAnswer;
}

TEST_F(AppleForks, ResourceForkGoesToTheHostsAttributeWriter) {
    const struct {
        const char* name;
        int answer;
        int err;
        int result;
        unsigned long id;
    } cases[] = {
        {"written", 0, 0, 1, 0},
        {"busy counts as written", -1, EAGAIN, 1, 0},
        {"full disk", -1, ENOSPC, 0, fclitem::kDiskFull},
        {"other failure", -1, EIO, 0, fclitem::kWriteFailed},
    };
    _fsetxattr_func = recordAttribute;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        factory_->setErrCode(0);
        g_attributeWrites.clear();
        g_attributeAnswer = c.answer;
        g_attributeErrno = c.err;
        auto file = appleFile(4, 30);
        std::string first = nonZeroData(4 + 12, 1);
        ASSERT_EQ(file->writeData(&first[0], static_cast<int>(first.size())), c.result);
        EXPECT_EQ(factory_->getErrCode(), c.id);
        if (c.result == 0) {
            continue;
        }
        std::string second = nonZeroData(18, 2);
        ASSERT_EQ(file->writeData(&second[0], static_cast<int>(second.size())), 1);
        ASSERT_EQ(g_attributeWrites.size(), 2u);
        EXPECT_EQ(g_attributeWrites[0], std::make_pair(0u, first.substr(4)));
        EXPECT_EQ(g_attributeWrites[1], std::make_pair(12u, second));
        EXPECT_EQ(collected(*file, HFS_DATA_RESOURCE_FORK), "<none>");
    }
}

}  // namespace
