// A backup that lost items, or whose buffers were damaged, never restores as a success: the host exits non-zero,
// the log names the archive file and the offset at fault, and the items restored before the damage stay as they
// are.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveIndex.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kTree = {
    file("one", 3000),
    file("two", 70000),
    file("three", 5),
    file("last", 12000),
};

// Where the damage goes: the archive file's path, its bytes, and the offset of its last item.
struct Damage {
    const std::string& path;
    std::string& bytes;
    uint64_t last;
};

// Gives a rewritten buffer the CRC it now needs, so that only what was rewritten is wrong with it.
void reseal(std::string& bytes, uint64_t at) {
    auto* header = reinterpret_cast<unsigned char*>(&bytes[at]);
    fclarchive::sealHeader(header, header + 96, wzbytes::loadBE32(header + 0x24));
}

void setType(std::string& bytes, uint64_t at, uint32_t type) {
    wzbytes::storeBE32(&bytes[at + 0x04], type);
    reseal(bytes, at);
}

struct LostCase {
    const char* name;
    std::function<void(Damage&)> damage;
    // What the log must hold, "{file}" standing for the archive file and "{last}" for its last item's offset.
    const char* logged;
    const char* summary;  // what the host must print; null: any reason
    bool earlierItemsStay;
};

std::string expand(std::string text, const std::string& file, uint64_t last) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{file}", file},
                                     std::pair<std::string, std::string>{"{last}", std::to_string(last)}}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

class LostItems : public EndToEnd, public ::testing::WithParamInterface<LostCase> {};

TEST_P(LostItems, NeverRestoreAsASuccess) {
    const LostCase& c = GetParam();
    build(kTree);
    pack();
    const std::string archive = fclarchive::archiveFilePath(media(), 1);
    std::vector<fclarchive::IndexEntry> items;
    fclarchive::IndexReader index;
    ASSERT_TRUE(index.open(fclarchive::indexFilePath(media(), 1)));
    for (fclarchive::IndexEntry entry; index.next(entry);) {
        items.push_back(entry);
    }
    ASSERT_EQ(items.size(), kTree.size() + 1);
    const auto lastItem =
        std::max_element(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
    std::string bytes = fcltest::readFile(archive);
    Damage damage{archive, bytes, lastItem->offset};
    c.damage(damage);
    struct stat info = {};
    if (lstat(archive.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        fcltest::writeFile(archive, bytes);
    }

    fcltest::ProgramRun run = restore();
    EXPECT_TRUE(run.status == 1 || run.status == 2) << run.describe();
    EXPECT_EQ(run.out.find("Restore succeeded"), std::string::npos) << run.out;
    if (c.summary != nullptr) {
        EXPECT_NE((run.out + run.err).find(c.summary), std::string::npos) << run.describe();
    }
    const std::string log = fcltest::readFile(results() + "/fclrestore.log");
    const std::string logged = expand(c.logged, archive, lastItem->offset);
    EXPECT_NE(log.find(logged), std::string::npos) << "the log does not say: " << logged;
    if (c.earlierItemsStay) {
        for (const fclarchive::IndexEntry& item : items) {
            if (item.offset != lastItem->offset && item.kind == fclarchive::kKindFile) {
                EXPECT_EQ(fcltest::readFile(dest() + item.path), fcltest::readFile(item.path)) << item.path;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archive, LostItems,
    ::testing::Values(
        // Every buffer left is sound: only the index tells that the last item never came.
        LostCase{"cutAtAnItemBoundary", [](Damage& d) { d.bytes.resize(d.last); },
                 "FIR: the job's items: 1 of the 5 items asked for got no result (the engine counted 4)",
                 "1 of the 5 items asked for got no result", true},
        LostCase{"cutInsideABuffer", [](Damage& d) { d.bytes.resize(d.last + 50); },
                 "{file} ends inside a buffer at offset {last}", nullptr, true},
        LostCase{"cutBeforeTheLastEnd", [](Damage& d) { d.bytes.resize(d.bytes.size() - 96); },
                 "ends without the end of its last item at offset", nullptr, true},
        LostCase{"emptied", [](Damage& d) { d.bytes.clear(); }, "{file} is empty: no buffer at offset 0", nullptr,
                 false},
        LostCase{"replacedByADirectory",
                 [](Damage& d) {
                     ASSERT_EQ(unlink(d.path.c_str()), 0);
                     ASSERT_EQ(mkdir(d.path.c_str(), 0755), 0);
                 },
                 // The engine answers an open it could not make with success and restores nothing of it: its
                 // final count tells.
                 "archive file {file} is not a regular file", "5 of the 5 items asked for got no result", false},
        LostCase{"flippedTypeByte", [](Damage& d) { d.bytes[d.last + 0x07] ^= 0x01; },
                 "checksum mismatch in {file} at offset {last}", nullptr, true},
        LostCase{"flippedOffsetByte", [](Damage& d) { d.bytes[d.last + 0x17] ^= 0x01; },
                 "a buffer header out of its place in {file} at offset {last}", nullptr, true},
        LostCase{"endOfArchiveInsideTheFile", [](Damage& d) { setType(d.bytes, d.last, PL_FS_CLOSE_AFILE); },
                 "an end-of-archive buffer inside the file in {file} at offset {last}", nullptr, true},
        LostCase{"unknownTypeWithAGoodChecksum", [](Damage& d) { setType(d.bytes, d.last, 0x4242); },
                 "an unknown buffer type in {file} at offset {last}", nullptr, true}),
    [](const ::testing::TestParamInfo<LostCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
