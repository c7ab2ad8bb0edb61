#include "tools/fir/ImagePlan.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <sstream>

#include "platform/archive/ArchiveFormat.h"
#include "platform/restorefiles/ArchivedItem.h"
#include "platform/restorefiles/WZRestoreFiles.h"
#include "platform/support/ByteOrder.h"

namespace fir {
namespace {

// The attribute record of one file as the engine reads it (host order): FRN, times, owner, mode, inline target.
constexpr size_t kRecordLength = 134;
constexpr size_t kInlineTargetEnd = 133;
constexpr size_t kInlineTarget = 72;
constexpr uint32_t kAclMarker = 0xffee;

// The data runs and the header of an item, as its archive file holds them.
class ItemLayout : public wzrestorefiles::ArchivedItemVisitor {
public:
    void header(const wzrestorefiles::ArchivedItemHeader& header) override {
        header_ = header;
        headerSeen_ = true;
    }
    bool data(uint64_t position, const unsigned char* bytes, size_t length) override {
        if (!runs_.empty() && runs_.back().second == position) {
            runs_.back().second += length;
        } else if (length != 0) {
            runs_.emplace_back(position, position + length);
        }
        if (linkTarget_.size() < PATH_MAX) {
            linkTarget_.append(reinterpret_cast<const char*>(bytes), std::min<size_t>(length, PATH_MAX));
        }
        end_ = std::max(end_, position + length);
        return true;
    }
    bool hole(uint64_t position, uint64_t length) override {
        end_ = std::max(end_, position + length);
        return true;
    }
    // The access ACL of the optional header (16-byte prefix, then entries of tag, length and value, big-endian).
    void optionalHeader(const unsigned char* bytes, size_t length) override {
        for (size_t at = 16; at + 8 <= length;) {
            const uint32_t tag = wzbytes::loadBE32(bytes + at);
            const uint32_t size = wzbytes::loadBE32(bytes + at + 4);
            if (size > length - at - 8) {
                return;
            }
            if (tag == 1) {
                accessAcl_.assign(reinterpret_cast<const char*>(bytes + at + 8), size);
            }
            at += 8 + size;
        }
    }
    const std::string& accessAcl() const { return accessAcl_; }

    // After damage past the item's header: the item is taken as all data up to the size its header gives, as an
    // index that knows nothing of the damage would say; the extent restore then meets the damage. False without a
    // header.
    bool takeHeaderSize() {
        if (!headerSeen_) {
            return false;
        }
        runs_.clear();
        if (header_.size != 0) {
            runs_.emplace_back(0, header_.size);
        }
        end_ = header_.size;
        return true;
    }

    const wzrestorefiles::ArchivedItemHeader& itemHeader() const { return header_; }
    const std::vector<std::pair<uint64_t, uint64_t>>& runs() const { return runs_; }
    uint64_t end() const { return end_; }
    const std::string& linkTarget() const { return linkTarget_; }

private:
    wzrestorefiles::ArchivedItemHeader header_;
    std::vector<std::pair<uint64_t, uint64_t>> runs_;
    std::string linkTarget_;
    uint64_t end_ = 0;
    bool headerSeen_ = false;
    std::string accessAcl_;
};

// An ACL's short text form ("u::rw-,u:1000:r--,g::r--,m::r--,o::---") in the ext3 on-disk form: a 4-byte header,
// then 4-byte entries (tag, permission) and 8-byte ones for named users and groups (tag, permission, id), in host
// order. Empty when the text holds an entry it cannot read.
std::vector<unsigned char> ext3Acl(const std::string& text) {
    std::vector<unsigned char> acl(4, 0);
    acl[0] = 1;  // the format's version
    std::stringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        const size_t first = entry.find(':');
        const size_t second = first == std::string::npos ? first : entry.find(':', first + 1);
        if (second == std::string::npos || entry.size() - second - 1 != 3) {
            return {};
        }
        const std::string kind = entry.substr(0, first);
        const std::string id = entry.substr(first + 1, second - first - 1);
        const std::string perms = entry.substr(second + 1);
        uint16_t perm = (perms[0] == 'r' ? 4 : 0) | (perms[1] == 'w' ? 2 : 0) | (perms[2] == 'x' ? 1 : 0);
        uint16_t tag = kind == "u"   ? (id.empty() ? 0x01 : 0x02)
                       : kind == "g" ? (id.empty() ? 0x04 : 0x08)
                       : kind == "m" ? 0x10
                       : kind == "o" ? 0x20
                                     : 0;
        if (tag == 0 || (!id.empty() && id.find_first_not_of("0123456789") != std::string::npos)) {
            return {};
        }
        const size_t at = acl.size();
        acl.resize(at + (id.empty() ? 4 : 8));
        std::memcpy(&acl[at], &tag, 2);
        std::memcpy(&acl[at + 2], &perm, 2);
        if (!id.empty()) {
            const uint32_t number = static_cast<uint32_t>(std::stoul(id));
            std::memcpy(&acl[at + 4], &number, 4);
        }
    }
    return acl;
}

template <typename T>
void put(std::vector<unsigned char>& record, size_t offset, T value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
}

}  // namespace

char* ImagePlan::keep(const std::string& text) {
    texts_.emplace_back(new char[text.size() + 1]);
    std::memcpy(texts_.back().get(), text.c_str(), text.size() + 1);
    return texts_.back().get();
}

unsigned char* ImagePlan::keep(const std::vector<unsigned char>& bytes) {
    records_.emplace_back(new unsigned char[bytes.size()]);
    std::memcpy(records_.back().get(), bytes.data(), bytes.size());
    return records_.back().get();
}

bool ImagePlan::build(const std::string& mediaDir, const std::map<uint64_t, ArchiveIndex>& indexes,
                      const std::function<bool(const std::string&)>& selected, std::string* why) {
    const uint64_t window = WZRestoreFiles::kExtentWindowBytes;
    std::vector<FSRImgWinStreams> acls;
    for (const auto& entry : indexes) {
        const uint64_t archiveId = entry.first;
        const std::string archive = fclarchive::archiveFilePath(mediaDir, archiveId);
        uint64_t ordinal = 0;
        for (const fclarchive::IndexEntry& item : entry.second.items) {
            ++ordinal;
            if (!selected(item.path)) {
                continue;
            }
            ItemLayout layout;
            if (wzrestorefiles::readArchivedItem(archive, item.offset, layout, why) !=
                    wzrestorefiles::ReadItemResult::kRead &&
                !layout.takeHeaderSize()) {
                return false;
            }
            const wzrestorefiles::ArchivedItemHeader& header = layout.itemHeader();
            const uint32_t mode = static_cast<uint32_t>(header.mode);
            const bool directory = S_ISDIR(mode);
            const bool link = S_ISLNK(mode);
            if (!directory && !link && !S_ISREG(mode)) {
                leftOut_.push_back(item.path);
                continue;
            }
            const uint64_t frn = (archiveId << 40) | ordinal;
            // Image names carry no leading '/'.
            std::string imageName = item.path;
            imageName.erase(0, imageName.find_first_not_of('/'));
            char* name = keep(imageName);
            const bool inlineTarget = link && layout.linkTarget().size() < kInlineTargetEnd - kInlineTarget;

            std::vector<unsigned char> bytes(kRecordLength, 0);
            put<uint64_t>(bytes, 0, frn);
            put<uint32_t>(bytes, 20, header.atime);
            put<uint32_t>(bytes, 24, static_cast<uint32_t>(header.mtime));
            put<uint32_t>(bytes, 44, static_cast<uint32_t>(header.uid));
            put<uint32_t>(bytes, 48, static_cast<uint32_t>(header.gid));
            put<uint32_t>(bytes, 52, mode);
            if (inlineTarget) {
                put<uint16_t>(bytes, 56, 1);
                std::memcpy(bytes.data() + kInlineTarget, layout.linkTarget().data(), layout.linkTarget().size());
            }
            unsigned char* record = keep(bytes);

            FSRImgAfileOffsets base;
            base.name = name;
            base.mode = mode;
            base.FRN = frn;
            base.archiveId.archiveFileId = archiveId;
            base.offsetInAfileId = item.offset;
            base.StreamLength = layout.end();
            base.attrLength = static_cast<uint32_t>(bytes.size());
            base.attributes = record;
            base.modTime = header.mtime;

            auto addPiece = [&](uint64_t extentWindow, uint64_t extent, uint64_t from, uint64_t to) {
                FSRImgAfileOffsets piece = base;
                piece.StreamType = 1;
                piece.ExtentNumber = extent;
                piece.nodenum = extent;
                piece.ver = extentWindow;
                piece.OffsetInFile = from;
                piece.offsetinFileExtent = from - extentWindow * window;
                piece.dataSizeToRestore = to - from;
                pieces_.push_back(piece);
            };
            if (directory || inlineTarget) {
                pieces_.push_back(base);
            } else if (link) {
                addPiece(0, nextExtent_++, 0, layout.linkTarget().size());
            } else if (layout.end() == 0) {
                addPiece(0, nextExtent_++, 0, 0);
            } else {
                const uint64_t windows = (layout.end() + window - 1) / window;
                for (uint64_t w = 0; w < windows; ++w) {
                    const uint64_t extent = nextExtent_++;
                    const uint64_t start = w * window;
                    const uint64_t end = std::min(start + window, layout.end());
                    for (const auto& run : layout.runs()) {
                        uint64_t from = std::max(run.first, start);
                        const uint64_t to = std::min(run.second, end);
                        for (; from < to; from += std::min(kPieceBytes, to - from)) {
                            addPiece(w, extent, from, std::min(from + kPieceBytes, to));
                        }
                    }
                    // A file that ends in a hole still gets its length: its last byte, a zero, is written.
                    if (end == layout.end() && (layout.runs().empty() || layout.runs().back().second < end)) {
                        addPiece(w, extent, end - 1, end);
                    }
                }
            }

            FSRImgWinStreams attributes;
            attributes.name = name;
            attributes.attributes = mode;
            attributes.modTime = header.mtime;
            attributes.FRN = frn;
            attributes.streamLength = static_cast<uint32_t>(bytes.size());
            attributes.stream = record;
            attributes_.push_back(attributes);

            const std::vector<unsigned char> acl = ext3Acl(layout.accessAcl());
            if (!layout.accessAcl().empty() && !acl.empty()) {
                FSRImgWinStreams entry;
                entry.name = name;
                entry.attributes = kAclMarker;
                entry.modTime = kAclMarker;
                entry.FRN = frn;
                entry.streamLength = static_cast<uint32_t>(acl.size());
                entry.stream = keep(acl);
                acls.push_back(entry);
            }

            FSRImgTimes times;
            times.name = name;
            times.mode = mode;
            times.FRN = frn;
            times.fileSize = layout.end();
            times_.push_back(times);
        }
    }
    // Directories last and deepest first, so that nothing set on a file disturbs what is set on its directory.
    std::stable_partition(attributes_.begin(), attributes_.end(),
                          [](const FSRImgWinStreams& a) { return !S_ISDIR(a.attributes); });
    auto firstDirectory = std::find_if(attributes_.begin(), attributes_.end(),
                                       [](const FSRImgWinStreams& a) { return S_ISDIR(a.attributes); });
    std::reverse(firstDirectory, attributes_.end());
    // ACLs after every mode: a mode set later would change an ACL's mask.
    attributes_.insert(attributes_.end(), acls.begin(), acls.end());
    return true;
}

}  // namespace fir
