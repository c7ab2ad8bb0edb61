#pragma once
// The buffers of one item: its file header, its optional header, its data (or a link's target) with holes
// kept as holes, and its end of file. An item that cannot be read is found out before anything of it is
// written, so the stream never holds half an item.
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/archive/ArchiveWriter.h"
#include "platform/archive/StreamRecords.h"
#include "platform/files/UniqueFd.h"
#include "tools/fcl-pack/ItemMetadata.h"

class ItemBody {
public:
    enum class Result { kWritten, kSkipped, kFailed };
    // The largest hole one PL_HOLE carries: holes reach the restore objects as an int.
    static constexpr uint64_t kMaxHoleBuffer = uint64_t{1} << 30;

    explicit ItemBody(size_t bufferBytes);

    // Readies the item at `path` as the walk saw it: kSkipped (with a warning) when it cannot be packed.
    Result prepare(const std::string& path, const struct stat& seen);
    // Writes the prepared item.
    Result write(fclarchive::ArchiveWriter& writer);
    // The prepared item is written as a hard-link group: its header carries only a placeholder name and each of
    // `names` (the prepared path among them) follows it in a PL_FS_OPT_HDR2, before the data.
    void writeAsGroup(std::vector<std::string> names) { groupNames_ = std::move(names); }

    const struct stat& info() const { return info_; }
    const char* indexKind() const;
    // What went wrong since the last call, for the caller to report.
    std::vector<std::string> takeWarnings();
    const std::string& failure() const { return failure_; }
    uint64_t dataBytes() const { return dataBytes_; }

private:
    bool put(fclarchive::ArchiveWriter& writer, uint32_t type, const void* payload, size_t length);
    bool writeFileData(fclarchive::ArchiveWriter& writer);
    bool writeHole(fclarchive::ArchiveWriter& writer, uint64_t length);
    bool writeRange(fclarchive::ArchiveWriter& writer, uint64_t& position, uint64_t end);

    size_t bufferBytes_;
    std::unique_ptr<unsigned char[]> data_;
    std::vector<unsigned char> record_;
    fclarchive::OptHeaderBuilder optHeader_;
    ItemMetadata metadata_;
    std::string path_;
    std::vector<std::string> groupNames_;
    struct stat info_ {};
    wzfiles::UniqueFd file_;
    std::string linkTarget_;
    bool longPath_ = false;  // the path does not fit a file header: index headers carry it
    std::vector<std::string> warnings_;
    std::string failure_;
    uint64_t dataBytes_ = 0;
};
