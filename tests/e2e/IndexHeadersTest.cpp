// An item whose open waits for its real path: the index header gives it, the item opens there and gets the
// optional header held for it; an item whose real path never comes, or whose optional header comes after it, fails,
// and none of its data is written anywhere.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include "platform/index/IndexMetaDataHelper.h"
#include "platform/support/ByteOrder.h"
#include "protocol/CXFileHeader.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using fcltest::ArchiveBuilder;
using fcltest::ItemHeader;

void putBE32(std::string& out, uint32_t value) {
    unsigned char bytes[4];
    wzbytes::storeBE32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

// An optional header carrying one extended attribute.
std::string attributeHeader(const std::string& name, const std::string& value) {
    std::string entry = name + std::string(1, '\0') + value;
    std::string body;
    putBE32(body, 3);
    putBE32(body, static_cast<uint32_t>(entry.size()));
    body += entry;
    std::string header;
    putBE32(header, 1);
    putBE32(header, static_cast<uint32_t>(body.size()));
    header.append(8, '\0');
    return header + body;
}

// The index headers that give an item its real path, in chunks of `chunk` bytes.
std::vector<std::string> realPathHeaders(const std::string& path, size_t chunk) {
    wzindex::IndexMetadataRecord record;
    record.fields.push_back({wzindex::realPathField(), path});
    std::vector<std::string> payloads;
    for (const auto& bytes : wzindex::encodeIndexHeaders(record, chunk)) {
        payloads.emplace_back(bytes.begin(), bytes.end());
    }
    return payloads;
}

std::string attributeOf(const std::string& path, const char* name) {
    char value[64];
    const ssize_t n = lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
}

class IndexHeaders : public EndToEnd {};

TEST_F(IndexHeaders, ADelayedItemOpensAtItsRealPathOrFails) {
    const std::string content = "the content of the item with a long path\n";
    {
        ArchiveBuilder stream(media());
        stream.directory(source());
        // The real path comes in three index headers; the optional header came before it and waits.
        ItemHeader delayed = ItemHeader::file(source("stand-in name"), content.size());
        delayed.flags2 = CXHDR_F2_LONG_PATH;
        stream.header(delayed);
        stream.buffer(PL_FS_OPT_HDR, attributeHeader("user.colour", "blue"));
        for (const std::string& payload : realPathHeaders(source("the real name"), 10)) {
            stream.buffer(PL_FS_INDEX_HDR, payload);
        }
        stream.data(content).end();
        // No index header: the item has nowhere to go.
        ItemHeader lost = ItemHeader::file(source("lost stand-in"), content.size());
        lost.flags2 = CXHDR_F2_LONG_PATH;
        stream.header(lost);
        stream.buffer(PL_FS_OPT_HDR, attributeHeader("user.colour", "red"));
        stream.data(content).end();
        // The optional header after the real path: the item fails whole, and leaves no file at its real path.
        ItemHeader late = ItemHeader::file(source("late stand-in"), content.size());
        late.flags2 = CXHDR_F2_LONG_PATH;
        stream.header(late);
        for (const std::string& payload : realPathHeaders(source("late real name"), 1000)) {
            stream.buffer(PL_FS_INDEX_HDR, payload);
        }
        stream.buffer(PL_FS_OPT_HDR, attributeHeader("user.colour", "green"));
        stream.data(content).end();
        stream.file(source("after"), "after\n");
        stream.finish();
    }
    const fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "2") << run.out;
    EXPECT_EQ(fcltest::readFile(restored("the real name")), content);
    struct stat st;
    EXPECT_NE(lstat(restored("stand-in name").c_str(), &st), 0);
    EXPECT_NE(lstat(restored("lost stand-in").c_str(), &st), 0);
    EXPECT_NE(lstat(restored("late stand-in").c_str(), &st), 0);
    EXPECT_NE(lstat(restored("late real name").c_str(), &st), 0) << "a failed item left a file behind";
    EXPECT_EQ(fcltest::readFile(restored("after")), "after\n");
    const std::string probe = beside("probe");
    fcltest::writeFile(probe, "");
    if (lsetxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0) {
        EXPECT_EQ(attributeOf(restored("the real name"), "user.colour"), "blue");
    }
}

}  // namespace
}  // namespace e2e
