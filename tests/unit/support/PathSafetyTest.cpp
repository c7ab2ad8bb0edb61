// The lexical check of destination names: what normalising keeps, and which names leave their base.
#include <gtest/gtest.h>

#include <string>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"
#include "protocol/CXFileHeader.h"

namespace {

struct NormaliseCase {
    const char* path;
    const char* normal;
    bool safe;
};

TEST(NormaliseItemPath, CollapsesSeparatorsAndDotsAndFindsClimbs) {
    const NormaliseCase cases[] = {
        {"", "", true},
        {"/", "/", true},
        {"//", "/", true},
        {"/./", "/", true},
        {".", "", true},
        {"/a//b///c", "/a/b/c", true},
        {"/a/./b/.", "/a/b", true},
        {"/a/b/", "/a/b/", true},
        {"/a/b//", "/a/b/", true},
        {"a//b/", "a/b/", true},
        {"./a", "a", true},
        {"/a/.../b", "/a/.../b", true},
        {"/a/.b/.c", "/a/.b/.c", true},
        {"/.", "/", true},
        {"a/", "a/", true},
        {"/a/b/./", "/a/b/", true},
        {"/a/..b/c..", "/a/..b/c..", true},
        {"/a/..\\..\\b", "/a/..\\..\\b", true},
        {"/a/../b", "/a/../b", false},
        {"..", "..", false},
        {"a/../../x", "a/../../x", false},
        {"/a/b/..", "/a/b/..", false},
        {"//..//x", "/../x", false},
    };
    for (const NormaliseCase& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(normaliseItemPath(path), c.safe) << c.path;
        EXPECT_EQ(path, c.normal) << c.path;
    }
}

struct DestinationCase {
    const char* name;
    const char* base;
    const char* normal;  // null: refused
};

TEST(CheckItemDestination, RefusesNamesThatLeaveTheirBase) {
    const DestinationCase cases[] = {
        {"/r/x", "/r", "/r/x"},
        {"/r", "/r", "/r"},
        {"/r/", "/r", "/r/"},
        {"/r//x/./y", "/r/", "/r/x/y"},
        {"/rx", "/r", nullptr},
        {"/r/../x", "/r", nullptr},
        {"/other/x", "/r", nullptr},
        {"/anything", "/", "/anything"},
        {"/anything/../x", "", nullptr},
        {"relative/x", "", "relative/x"},
        {"r/x", "r", "r/x"},
        {"/r/x", "r", nullptr},
    };
    for (const DestinationCase& c : cases) {
        std::string name = c.name;
        wzlog::ScopedCapture capture;
        try {
            checkItemDestination(name, c.base);
            EXPECT_NE(c.normal, nullptr) << c.name << " under " << c.base;
            if (c.normal != nullptr) {
                EXPECT_EQ(name, c.normal);
            }
        } catch (const ClExceptError& error) {
            EXPECT_EQ(c.normal, nullptr) << c.name << " under " << c.base;
            EXPECT_EQ(error.getErrCode(), 0x1700005b);
            EXPECT_TRUE(capture->contains("the item is not restored"));
        }
    }
}

TEST(HeaderItemName, ReadsNoFurtherThanTheField) {
    EXPECT_EQ(headerItemName(nullptr), "");
    CXFileHeader header;
    memset(header.name, 'z', sizeof header.name);
    EXPECT_EQ(headerItemName(&header), std::string(CXHDR_NAME_SIZE, 'z'));
    strcpy(header.name, "/a/b");
    EXPECT_EQ(headerItemName(&header), "/a/b");
}

}  // namespace
