#pragma once
// What an image-level job sends, built from the media directory: for each selected item its pieces (where its bytes
// lie in the extents of the archive files), its attributes and its final-result entry.
//
// Extents are those of the extent-restore engine (platform/restorefiles/WZRestoreFiles.h): a file's data is cut in
// windows of WZRestoreFiles::kExtentWindowBytes, each an extent of its own with a job-wide number (given as
// `ExtentNumber` and as `nodenum`, which names the staging file), and each window's data in pieces of at most
// kPieceBytes. Holes get no piece, except the last byte of a file that ends in one, so the file gets its length.
// A directory, and a link whose target fits its attribute record, is one piece without data; a longer target is a
// data piece of its own extent.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/FsrImageRecords.h"
#include "tools/fir/ArchiveIndexFile.h"

namespace fir {

class ImagePlan {
public:
    static constexpr uint64_t kPieceBytes = 40000;

    // Plans every item of `indexes` that `selected` takes; false with `why` when an archive file cannot be read.
    bool build(const std::string& mediaDir, const std::map<uint64_t, ArchiveIndex>& indexes,
               const std::function<bool(const std::string&)>& selected, std::string* why);

    // The records point into the plan: it must outlive their sending.
    std::vector<FSRImgAfileOffsets>& pieces() { return pieces_; }
    std::vector<FSRImgWinStreams>& attributes() { return attributes_; }
    std::vector<FSRImgTimes>& times() { return times_; }
    uint64_t files() const { return times_.size(); }
    // Selected items an image-level job cannot restore (special files), by path.
    const std::vector<std::string>& leftOut() const { return leftOut_; }

private:
    char* keep(const std::string& text);
    unsigned char* keep(const std::vector<unsigned char>& bytes);

    std::vector<FSRImgAfileOffsets> pieces_;
    std::vector<FSRImgWinStreams> attributes_;
    std::vector<FSRImgTimes> times_;
    std::vector<std::string> leftOut_;
    std::vector<std::unique_ptr<char[]>> texts_;
    std::vector<std::unique_ptr<unsigned char[]>> records_;
    uint64_t nextExtent_ = 1;
};

}  // namespace fir
