// The order of source paths and the search of an item's source path: the tokenizer, a sort order that is strict for
// every pair (records without a text included), and the search that matches a path or one of its ancestors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/factory/SourcePathOrder.h"

namespace {

std::vector<std::string> segmentsOf(const char* path) {
    PathSegment tokens(path);
    std::vector<std::string> out;
    for (char* name = tokens.getNextSegment(); name != nullptr; name = tokens.getNextSegment()) {
        out.push_back(name);
    }
    return out;
}

TEST(PathSegment, GivesTheNamesOfAPath) {
    const struct {
        const char* path;
        std::vector<std::string> names;
    } cases[] = {
        {"/a/b", {"a", "b"}}, {"a//b/", {"a", "b"}},      {"//a", {"", "a"}}, {"/", {}}, {"", {}},
        {nullptr, {}},        {"/a\\b/c", {"a\\b", "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(segmentsOf(c.path), c.names) << (c.path != nullptr ? c.path : "(null)");
    }
}

class SourcePaths : public ::testing::Test {
protected:
    ~SourcePaths() override {
        for (FSRSrcPath& record : records_) {
            free(record.path);
        }
    }
    void add(const char* path, unsigned long strip = 0) {
        FSRSrcPath record;
        record.path = path != nullptr ? strdup(path) : nullptr;
        record.stripLevel = strip;
        records_.push_back(record);
    }
    std::vector<std::string> sorted(int (*order)(const void*, const void*)) {
        qsort(records_.data(), records_.size(), sizeof(FSRSrcPath), order);
        std::vector<std::string> out;
        for (const FSRSrcPath& record : records_) {
            out.push_back(record.path != nullptr ? record.path : "(null)");
        }
        return out;
    }
    const char* find(const char* key, bool caseSensitive = true) {
        const FSRSrcPath* found =
            findSourcePath(key, records_.data(), static_cast<int>(records_.size()), caseSensitive);
        return found != nullptr ? found->path : "(none)";
    }

    std::vector<FSRSrcPath> records_;
};

int sign(int value) {
    return (value > 0) - (value < 0);
}

// qsort needs a strict order: each pair compares opposite ways, equal only to itself, and the order is transitive.
TEST_F(SourcePaths, OrderIsStrictForEveryPair) {
    const std::string longPath = "/p/" + std::string(960, 'x');
    const char* paths[] = {"/a",    "/a/b",   "/a-c",           "/b", "/A",  "//a", "/",
                           nullptr, "/a/b/c", longPath.c_str(), "/p", "/p/y"};
    for (const char* path : paths) {
        add(path);
    }
    for (auto order : {FsRestoreUnixObjectsFactory::cmpFunc, FsRestoreUnixObjectsFactory::cmpFuncCase}) {
        for (const FSRSrcPath& a : records_) {
            EXPECT_EQ(order(&a, &a), 0);
            for (const FSRSrcPath& b : records_) {
                EXPECT_EQ(sign(order(&a, &b)), -sign(order(&b, &a)))
                    << (a.path ? a.path : "(null)") << " " << (b.path ? b.path : "(null)");
                for (const FSRSrcPath& c : records_) {
                    if (order(&a, &b) <= 0 && order(&b, &c) <= 0) {
                        EXPECT_LE(order(&a, &c), 0);
                    }
                }
            }
        }
    }
}

TEST_F(SourcePaths, SortsNameByNameAncestorsFirst) {
    for (const char* path : std::initializer_list<const char*>{"/a-c", "/b", "/a/b/c", nullptr, "/a/b", "/a"}) {
        add(path);
    }
    const std::vector<std::string> expected = {"(null)", "/a", "/a/b", "/a/b/c", "/a-c", "/b"};
    EXPECT_EQ(sorted(FsRestoreUnixObjectsFactory::cmpFunc), expected);
}

TEST_F(SourcePaths, CaseInsensitiveOrderIgnoresCase) {
    for (const char* path : {"/b", "/A/x", "/a"}) {
        add(path);
    }
    const std::vector<std::string> expected = {"/a", "/A/x", "/b"};
    EXPECT_EQ(sorted(FsRestoreUnixObjectsFactory::cmpFuncCase), expected);
}

TEST_F(SourcePaths, SearchFindsThePathOrAnAncestor) {
    for (const char* path : std::initializer_list<const char*>{"/data", "/home/u", "/srv/www", nullptr}) {
        add(path);
    }
    sorted(FsRestoreUnixObjectsFactory::cmpFunc);
    EXPECT_STREQ(find("/data"), "/data");
    EXPECT_STREQ(find("/data/x/f"), "/data");
    EXPECT_STREQ(find("/home/u/"), "/home/u");
    EXPECT_STREQ(find("/home/user"), "(none)") << "names compare whole";
    EXPECT_STREQ(find("/home"), "(none)") << "a descendant of the item is no match";
    EXPECT_STREQ(find("/Data/x"), "(none)");
    EXPECT_STREQ(find(nullptr), "(none)");
    EXPECT_EQ(findSourcePath("/data", nullptr, 3, true), nullptr);
}

TEST_F(SourcePaths, CaseInsensitiveSearch) {
    add("/Data");
    sorted(FsRestoreUnixObjectsFactory::cmpFuncCase);
    EXPECT_STREQ(find("/data/F", false), "/Data");
    EXPECT_STREQ(find("/data/F", true), "(none)");
}

TEST_F(SourcePaths, LongSourcePathStandsForItsParent) {
    const std::string longPath = "/p/" + std::string(960, 'x');
    add(longPath.c_str(), 4);
    add("/q");
    sorted(FsRestoreUnixObjectsFactory::cmpFunc);
    EXPECT_EQ(std::string(find("/p/other")), longPath);
    EXPECT_STREQ(find("/q/x"), "/q");
}

TEST(Basename, IsTheTextAfterTheLastSlash) {
    FsRestoreUnixObjectsFactory factory(nullptr, nullptr, 0, const_cast<char*>("/d"), 0, nullptr);
    EXPECT_EQ(factory.getBasename("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(factory.getBasename("/a/b/"), "");
    EXPECT_EQ(factory.getBasename("noslash"), "");
}

}  // namespace
