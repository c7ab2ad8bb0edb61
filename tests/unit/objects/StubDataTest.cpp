// Items of hierarchical storage: a stub's data and holes are collected in memory, never more than the stub is made
// from; a file written transparently whose layer object cannot be had counts as written.
#include <gtest/gtest.h>

#include <string>

#include "platform/log/LogWriter.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

class StubData : public fcltest::ObjectFixture {};

TEST_F(StubData, StubCollectsDataAndHolesUpToTheStubSize) {
    auto file = openedFile("stub", 0);
    file->_hsmEnabled = true;
    file->_isStub = true;
    std::string data = nonZeroData(300);
    EXPECT_EQ(file->writeData(&data[0], 300), 1);
    EXPECT_EQ(file->makeHole(100), 1);
    EXPECT_EQ(file->_holePending, 0);
    EXPECT_EQ(std::string(file->_stubData.begin(), file->_stubData.end()), data + std::string(100, '\0'));
    // A hostile length never grows the collection beyond what the stub keeps.
    EXPECT_EQ(file->makeHole(0xffffffffu), 1);
    EXPECT_EQ(file->writeData(&data[0], 300), 1);
    EXPECT_EQ(file->_stubData.size(), 1024u);
    EXPECT_EQ(position(*file), 0);
}

TEST_F(StubData, TransparentFileWithoutLayerObjectCountsAsWritten) {
    auto file = openedFile("transparent", 0);
    file->_hsmEnabled = true;
    file->_hsmOpened = true;
    wzlog::ScopedCapture capture;
    std::string data = nonZeroData(10);
    EXPECT_EQ(file->writeData(&data[0], 10), 1);
    EXPECT_EQ(file->makeHole(10), 1);
    EXPECT_EQ(file->_holePending, 1);
    EXPECT_EQ(factory_->getErrCode(), 0u);
    EXPECT_TRUE(capture->contains("probably we are not supporting it as DMR now."));
    EXPECT_EQ(position(*file), 0);
}

}  // namespace
