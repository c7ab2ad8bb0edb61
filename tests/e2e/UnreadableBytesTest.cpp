// An archive file whose reads fail in one small spot, as on a damaged medium: only the items whose bytes lie in the
// spot fail; every item before and after it is restored byte for byte, and the job does not claim success. The spot
// is put at several places: in the first MiB (what the data mover reads ahead at once), on a file header, across
// the end of one item and the start of the next, deep in a large file, and at the very start. The medium answers a
// read that reaches the spot either with the bytes before it, as the kernel does, or with nothing at all.
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/ArchiveIndex.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// Small files filling the first MiB several times over, a large file of several data buffers, more small files.
TreeLayout smallBigSmall() {
    TreeLayout plan;
    for (int i = 0; i < 60; ++i) {
        plan.push_back(file("a/f" + std::to_string(100 + i), 3000 + 977 * static_cast<uint64_t>(i)));
    }
    plan.push_back(file("b/big", 3 * kMiB + 12345));
    for (int i = 0; i < 20; ++i) {
        plan.push_back(file("c/g" + std::to_string(100 + i), 5000 + 333 * static_cast<uint64_t>(i)));
    }
    return plan;
}

// An item of the archive file and the bytes it takes there, up to the next item.
struct Span {
    fclarchive::IndexEntry item;
    uint64_t end = 0;
};

// Where the unreadable bytes go, given the items in the order of the file: their offset and length.
struct Spot {
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct UnreadableCase {
    const char* name;
    Spot (*place)(const std::vector<Span>& items);
    bool wholeReadFails;
};

void PrintTo(const UnreadableCase& c, std::ostream* out) {
    *out << c.name;
}

// The first item that starts at or after `offset`.
const Span& itemFrom(const std::vector<Span>& items, uint64_t offset) {
    auto found = std::find_if(items.begin(), items.end(), [offset](const Span& s) { return s.item.offset >= offset; });
    return found != items.end() ? *found : items.back();
}

const Span& bigFile(const std::vector<Span>& items) {
    const std::string tail = "/b/big";
    return *std::find_if(items.begin(), items.end(), [&tail](const Span& s) {
        return s.item.path.size() > tail.size() &&
               s.item.path.compare(s.item.path.size() - tail.size(), tail.size(), tail) == 0;
    });
}

class UnreadableBytes : public EndToEnd, public ::testing::WithParamInterface<UnreadableCase> {
protected:
    void TearDown() override { fclarchive::hooks::reset(); }

    // The items of archive file 1 in the order of the file, each with the end of its bytes.
    std::vector<Span> spans() const {
        std::vector<Span> items;
        fclarchive::IndexReader index;
        EXPECT_TRUE(index.open(fclarchive::indexFilePath(media(), 1)));
        for (fclarchive::IndexEntry entry; index.next(entry);) {
            items.push_back(Span{entry, 0});
        }
        std::sort(items.begin(), items.end(),
                  [](const Span& a, const Span& b) { return a.item.offset < b.item.offset; });
        struct stat archive;
        EXPECT_EQ(stat(fclarchive::archiveFilePath(media(), 1).c_str(), &archive), 0);
        for (size_t i = 0; i < items.size(); ++i) {
            items[i].end = i + 1 < items.size() ? items[i + 1].item.offset : static_cast<uint64_t>(archive.st_size);
        }
        return items;
    }
};

TEST_P(UnreadableBytes, FailOnlyTheItemsTheyHold) {
    const UnreadableCase& c = GetParam();
    build(smallBigSmall());
    pack();
    const std::vector<Span> items = spans();
    ASSERT_EQ(items.size(), sourceItems());
    const Spot spot = c.place(items);
    std::set<std::string> hit;
    for (const Span& s : items) {
        if (s.item.offset < spot.offset + spot.length && spot.offset < s.end) {
            hit.insert(s.item.path);
        }
    }
    ASSERT_FALSE(hit.empty());
    ASSERT_LT(hit.size(), 3u) << "the spot is meant to be small";

    fclarchive::hooks::unreadableBytes(spot.offset, spot.length, c.wholeReadFails);
    const InPlaceRun run = restoreInChild(InPlaceChoice());
    fclarchive::hooks::reset();
    EXPECT_TRUE(run.failed != 0 || !run.succeeded) << "a job that lost items claimed success";
    EXPECT_EQ(run.restored, sourceItems() - hit.size()) << run.reason;

    std::set<std::string> restoredLines;
    std::set<std::string> failedLines;
    for (const ResultLine& line : readResults(findResults(results()))) {
        (line.restored() ? restoredLines : failedLines).insert(line.path());
    }
    for (const Span& s : items) {
        const std::string copy = dest() + s.item.path;
        if (hit.count(s.item.path) != 0) {
            EXPECT_EQ(restoredLines.count(copy), 0u) << s.item.path << " lies in the unreadable bytes";
            continue;
        }
        EXPECT_EQ(restoredLines.count(copy), 1u) << s.item.path << " is not reported restored";
        if (s.item.kind == fclarchive::kKindFile) {
            EXPECT_EQ(fcltest::readFile(copy), fcltest::readFile(s.item.path)) << s.item.path;
        } else {
            struct stat st;
            EXPECT_TRUE(lstat(copy.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << s.item.path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archive, UnreadableBytes,
    ::testing::Values(UnreadableCase{"InTheDataOfAnItemInTheFirstMiB",
                                     [](const std::vector<Span>& items) {
                                         const Span& s = itemFrom(items, 600 * 1024);
                                         return Spot{s.item.offset + (s.end - s.item.offset) / 2, 100};
                                     },
                                     false},
                      UnreadableCase{"InTheDataOfAnItemInTheFirstMiBFailingWholeReads",
                                     [](const std::vector<Span>& items) {
                                         const Span& s = itemFrom(items, 300 * 1024);
                                         return Spot{s.item.offset + (s.end - s.item.offset) / 2, 1};
                                     },
                                     true},
                      UnreadableCase{"OnAFileHeader",
                                     [](const std::vector<Span>& items) {
                                         const Span& s = itemFrom(items, 200 * 1024);
                                         return Spot{s.item.offset + 40, 30};
                                     },
                                     true},
                      UnreadableCase{"AcrossTheEndOfOneItemAndTheStartOfTheNext",
                                     [](const std::vector<Span>& items) {
                                         const Span& s = itemFrom(items, 700 * 1024);
                                         return Spot{s.item.offset - 20, 60};
                                     },
                                     false},
                      UnreadableCase{"DeepInALargeFile",
                                     [](const std::vector<Span>& items) {
                                         const Span& s = bigFile(items);
                                         return Spot{s.item.offset + 2 * kMiB + 777, 4096};
                                     },
                                     true},
                      UnreadableCase{"AtTheStart",
                                     [](const std::vector<Span>&) {
                                         return Spot{0, 10};
                                     },
                                     false}),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
