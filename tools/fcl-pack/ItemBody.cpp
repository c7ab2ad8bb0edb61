#include "tools/fcl-pack/ItemBody.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/archive/ArchiveFormat.h"
#include "platform/index/IndexMetaDataHelper.h"
#include "protocol/CXFileHeader.h"
#include "protocol/PipelineBuffer.h"

namespace {

const std::string kGroupPlaceholder = "/__WZHardLink@-@-Files__/";

// The name a long-path item's header carries until its index headers give the real path: beside the deepest
// ancestor that fits, so that it lies under the same selected source paths as the item itself, and named by the
// item's inode, so that no two items share it.
std::string longPathStandIn(const std::string& path, uint64_t inode) {
    const std::string leaf = "/.fcl-long-path-" + std::to_string(inode);
    size_t cut = path.rfind('/', CXHDR_NAME_SIZE - 1 - leaf.size());
    return path.substr(0, cut == std::string::npos ? 0 : cut) + leaf;
}

std::string errorText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + strerror(errno);
}

int openForReading(const std::string& path) {
    int flags = O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    int fd = open(path.c_str(), flags | O_NOATIME);
    // Only the owner may keep the access time untouched.
    if (fd < 0 && errno == EPERM) {
        fd = open(path.c_str(), flags);
    }
    return fd;
}

}  // namespace

ItemBody::ItemBody(size_t bufferBytes)
    : bufferBytes_(bufferBytes), data_(new unsigned char[bufferBytes]), record_(CXHDR_SIZE) {}

const char* ItemBody::indexKind() const {
    switch (info_.st_mode & S_IFMT) {
        case S_IFDIR:
            return fclarchive::kKindDirectory;
        case S_IFLNK:
            return fclarchive::kKindSymlink;
        case S_IFIFO:
            return fclarchive::kKindFifo;
        case S_IFSOCK:
            return fclarchive::kKindSocket;
        case S_IFCHR:
            return fclarchive::kKindCharDevice;
        case S_IFBLK:
            return fclarchive::kKindBlockDevice;
        default:
            return fclarchive::kKindFile;
    }
}

std::vector<std::string> ItemBody::takeWarnings() {
    std::vector<std::string> taken;
    taken.swap(warnings_);
    return taken;
}

ItemBody::Result ItemBody::prepare(const std::string& path, const struct stat& seen) {
    path_ = path;
    groupNames_.clear();
    info_ = seen;
    file_.reset();
    linkTarget_.clear();
    // A path the header cannot hold goes in index headers; the header carries a stand-in name.
    longPath_ = path.size() >= CXHDR_NAME_SIZE;
    if (longPath_ && path.size() >= PATH_MAX) {
        warnings_.push_back("path longer than PATH_MAX, not packed: " + path);
        return Result::kSkipped;
    }
    if (S_ISREG(seen.st_mode)) {
        file_.reset(openForReading(path));
        if (!file_.valid()) {
            warnings_.push_back(errorText("cannot open", path) + ", not packed");
            return Result::kSkipped;
        }
        if (fstat(file_.get(), &info_) != 0 || !S_ISREG(info_.st_mode) || info_.st_ino != seen.st_ino ||
            info_.st_dev != seen.st_dev) {
            warnings_.push_back("file replaced while packing, not packed: " + path);
            return Result::kSkipped;
        }
    } else if (S_ISLNK(seen.st_mode)) {
        char target[PATH_MAX + 1];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof target) {
            warnings_.push_back(errorText("cannot read link", path) + ", not packed");
            return Result::kSkipped;
        }
        linkTarget_.assign(target, static_cast<size_t>(length));
    } else if ((S_ISCHR(seen.st_mode) || S_ISBLK(seen.st_mode)) && seen.st_rdev > UINT32_MAX) {
        warnings_.push_back("device number does not fit a file header, not packed: " + path);
        return Result::kSkipped;
    }
    return Result::kWritten;
}

bool ItemBody::put(fclarchive::ArchiveWriter& writer, uint32_t type, const void* payload, size_t length) {
    CQiError error = writer.writeBuffer(type, payload, static_cast<uint32_t>(length));
    if (error.IsError()) {
        failure_ = error.AsString();
        return false;
    }
    return true;
}

ItemBody::Result ItemBody::write(fclarchive::ArchiveWriter& writer) {
    CXFileHeader header;
    header.h_version = 1;
    header.h_nlink = static_cast<uint32_t>(info_.st_nlink);
    // A group's own name is a placeholder under which no file is ever made; its names come after the header.
    const std::string name = !groupNames_.empty()
                                 ? kGroupPlaceholder + std::to_string(static_cast<uint64_t>(info_.st_ino))
                             : longPath_ ? longPathStandIn(path_, static_cast<uint64_t>(info_.st_ino))
                                         : path_;
    if (longPath_ && groupNames_.empty()) {
        header.h_flags2 |= CXHDR_F2_LONG_PATH;
    }
    header.h_namelen = static_cast<uint32_t>(name.size() + 1);
    header.h_mode = info_.st_mode;
    header.h_uid = info_.st_uid;
    header.h_gid = info_.st_gid;
    header.h_dev = static_cast<uint32_t>(info_.st_dev);
    header.h_size = S_ISREG(info_.st_mode)   ? static_cast<uint64_t>(info_.st_size)
                    : S_ISLNK(info_.st_mode) ? linkTarget_.size()
                                             : 0;
    header.h_mtime = static_cast<uint64_t>(info_.st_mtime);
    header.h_ctime = static_cast<uint64_t>(info_.st_ctime);
    header.h_atime = static_cast<uint32_t>(info_.st_atime);
    header.h_inoHigh = static_cast<uint32_t>(static_cast<uint64_t>(info_.st_ino) >> 32);
    header.h_inoLow = static_cast<uint32_t>(info_.st_ino);
    header.h_rdev = static_cast<uint32_t>(info_.st_rdev);
    header.h_platform = CXHDR_PLATFORM_UNIX;
    std::memcpy(header.h_filename, name.c_str(), name.size() + 1);
    fclarchive::encodeFileHeader(header, record_.data());
    if (!put(writer, PL_FS_HDR, record_.data(), CXHDR_SIZE)) {
        return Result::kFailed;
    }
    for (const std::string& groupName : groupNames_) {
        if (!put(writer, PL_FS_OPT_HDR2, groupName.c_str(), groupName.size() + 1)) {
            return Result::kFailed;
        }
    }
    // Before the index headers of a long path: the restore holds an optional header for the real path they bring,
    // and takes one after them as an item whose real path never came.
    metadata_.collect(path_, info_, optHeader_, warnings_);
    if (!optHeader_.empty()) {
        const std::vector<unsigned char>& payload = optHeader_.payload();
        if (payload.size() > fclarchive::kMaxPayload) {
            warnings_.push_back("ACLs and extended attributes too large for one buffer, left out: " + path_);
        } else if (!put(writer, PL_FS_OPT_HDR, payload.data(), payload.size())) {
            return Result::kFailed;
        }
    }
    if (longPath_ && groupNames_.empty()) {
        wzindex::IndexMetadataRecord record;
        record.fields.push_back({wzindex::realPathField(), path_});
        for (const std::vector<unsigned char>& payload :
             wzindex::encodeIndexHeaders(record, fclarchive::kMaxPayload - kIndexHeaderPrefix)) {
            if (!put(writer, PL_FS_INDEX_HDR, payload.data(), payload.size())) {
                return Result::kFailed;
            }
        }
    }

    dataBytes_ = 0;
    if (S_ISREG(info_.st_mode) && !writeFileData(writer)) {
        return Result::kFailed;
    }
    if (S_ISLNK(info_.st_mode)) {
        if (!put(writer, PL_DATA, linkTarget_.data(), linkTarget_.size())) {
            return Result::kFailed;
        }
        dataBytes_ = linkTarget_.size();
    }
    file_.reset();
    return put(writer, PL_FS_EOF, nullptr, 0) ? Result::kWritten : Result::kFailed;
}

bool ItemBody::writeFileData(fclarchive::ArchiveWriter& writer) {
    uint64_t size = static_cast<uint64_t>(info_.st_size);
    uint64_t position = 0;
    while (position < size) {
        off_t data = lseek(file_.get(), static_cast<off_t>(position), SEEK_DATA);
        if (data < 0) {
            // ENXIO: nothing but a hole up to the end. Anything else: the file system cannot tell holes.
            data = errno == ENXIO ? static_cast<off_t>(size) : static_cast<off_t>(position);
        }
        uint64_t dataStart = std::min<uint64_t>(static_cast<uint64_t>(data), size);
        if (dataStart > position) {
            if (!writeHole(writer, dataStart - position)) {
                return false;
            }
            position = dataStart;
            if (position == size) {
                break;
            }
        }
        off_t hole = lseek(file_.get(), static_cast<off_t>(position), SEEK_HOLE);
        uint64_t dataEnd = hole < 0 ? size : std::min<uint64_t>(static_cast<uint64_t>(hole), size);
        if (dataEnd <= position) {
            dataEnd = size;
        }
        if (!writeRange(writer, position, dataEnd)) {
            return false;
        }
    }
    return true;
}

bool ItemBody::writeRange(fclarchive::ArchiveWriter& writer, uint64_t& position, uint64_t end) {
    while (position < end) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(bufferBytes_, end - position));
        ssize_t got = pread(file_.get(), data_.get(), want, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // Shrunk or unreadable from here: the rest goes as zeros so the item keeps its declared size.
            warnings_.push_back((got < 0 ? errorText("cannot read", path_) : "file shrank while packing: " + path_) +
                                ", the rest is packed as zeros");
            uint64_t size = static_cast<uint64_t>(info_.st_size);
            bool written = writeHole(writer, size - position);
            position = size;
            return written;
        }
        if (!put(writer, PL_DATA, data_.get(), static_cast<size_t>(got))) {
            return false;
        }
        position += static_cast<uint64_t>(got);
        dataBytes_ += static_cast<uint64_t>(got);
    }
    return true;
}

bool ItemBody::writeHole(fclarchive::ArchiveWriter& writer, uint64_t length) {
    unsigned char payload[4];
    while (length != 0) {
        uint64_t piece = std::min(length, kMaxHoleBuffer);
        fclarchive::encodeHole(static_cast<uint32_t>(piece), payload);
        if (!put(writer, PL_HOLE, payload, sizeof payload)) {
            return false;
        }
        length -= piece;
    }
    return true;
}
