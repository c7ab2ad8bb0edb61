#include "tests/common/ArchiveBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/StreamRecords.h"
#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/TestSupport.h"

namespace fcltest {
namespace {

void check(const CQiError& error) {
    if (error.IsError()) {
        throw std::runtime_error("archive builder: " + error.AsString());
    }
}

// The index's kind of an item of `mode`.
const char* kindOf(uint32_t mode) {
    static const std::pair<uint32_t, const char*> kKinds[] = {
        {S_IFDIR, fclarchive::kKindDirectory},  {S_IFLNK, fclarchive::kKindSymlink},
        {S_IFIFO, fclarchive::kKindFifo},       {S_IFSOCK, fclarchive::kKindSocket},
        {S_IFCHR, fclarchive::kKindCharDevice}, {S_IFBLK, fclarchive::kKindBlockDevice},
    };
    for (const auto& kind : kKinds) {
        if ((mode & S_IFMT) == kind.first) {
            return kind.second;
        }
    }
    return fclarchive::kKindFile;
}

}  // namespace

ItemHeader ItemHeader::file(std::string name, uint64_t size, uint32_t permissions) {
    ItemHeader header;
    header.name = std::move(name);
    header.mode = S_IFREG | permissions;
    header.size = size;
    return header;
}

ItemHeader ItemHeader::directory(std::string name, uint32_t permissions) {
    ItemHeader header;
    header.name = std::move(name);
    header.mode = S_IFDIR | permissions;
    header.linkCount = 2;
    return header;
}

ItemHeader ItemHeader::symlink(std::string name, uint64_t targetLength) {
    ItemHeader header;
    header.name = std::move(name);
    header.mode = S_IFLNK | 0777;
    header.size = targetLength;
    return header;
}

ArchiveBuilder::ArchiveBuilder(std::string media, uint64_t id) : uid_(getuid()), gid_(getgid()) {
    check(writer_.create(media, id));
    path_ = writer_.archivePath();
}

ArchiveBuilder::~ArchiveBuilder() {
    if (!finished_) {
        writer_.finish();
    }
}

void ArchiveBuilder::setOwner(uint32_t uid, uint32_t gid) {
    uid_ = uid;
    gid_ = gid;
}

uint64_t ArchiveBuilder::directory(const std::string& name, uint32_t permissions) {
    uint64_t at = header(ItemHeader::directory(name, permissions));
    end();
    return at;
}

uint64_t ArchiveBuilder::file(const std::string& name, const std::string& content, uint32_t permissions) {
    uint64_t at = header(ItemHeader::file(name, content.size(), permissions));
    if (!content.empty()) {
        data(content);
    }
    end();
    return at;
}

uint64_t ArchiveBuilder::symlink(const std::string& name, const std::string& target) {
    uint64_t at = header(ItemHeader::symlink(name, target.size()));
    data(target).end();
    return at;
}

uint64_t ArchiveBuilder::hardLinks(const std::vector<std::string>& names, const std::string& content) {
    const uint64_t at = offset();
    indexLine(at, fclarchive::kKindFile, names.at(0));
    for (size_t i = 1; i < names.size(); ++i) {
        indexLine(at, fclarchive::kKindHardLink, names[i]);
    }
    preHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, names[0]);
    ItemHeader first = ItemHeader::file(names[0], content.size());
    first.linkCount = static_cast<uint32_t>(names.size());
    headerOnly(first);
    if (!content.empty()) {
        data(content);
    }
    end();
    for (size_t i = 1; i < names.size(); ++i) {
        preHeader(FSR_PREHDR_HARD_LINK, names[i]);
    }
    return at;
}

uint64_t ArchiveBuilder::placeholderGroup(const std::vector<std::string>& names, const std::string& content) {
    const uint64_t at = offset();
    for (size_t i = 0; i < names.size(); ++i) {
        indexLine(at, i == 0 ? fclarchive::kKindFile : fclarchive::kKindHardLink, names[i]);
    }
    ItemHeader item = ItemHeader::file("/__WZHardLink@-@-Files__/" + std::to_string(nextInode_), content.size());
    item.linkCount = static_cast<uint32_t>(names.size());
    headerOnly(item);
    for (const std::string& name : names) {
        buffer(PL_FS_OPT_HDR2, name + '\0');
    }
    if (!content.empty()) {
        data(content);
    }
    end();
    return at;
}

uint64_t ArchiveBuilder::stubGroup(const std::string& stub, const std::vector<std::string>& copies,
                                   const std::string& content) {
    const uint64_t at = offset();
    indexLine(at, fclarchive::kKindFile, stub);
    preHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_STUB, stub);
    headerOnly(ItemHeader::file(stub, content.size()));
    if (!content.empty()) {
        data(content);
    }
    end();
    for (const std::string& copy : copies) {
        indexLine(offset(), fclarchive::kKindFile, copy);
        preHeader(FSR_PREHDR_STUB, copy);
    }
    return at;
}

std::string ArchiveBuilder::fileHeaderPayload(const ItemHeader& item) {
    CXFileHeader header;
    header.h_version = 1;
    header.h_nlink = item.linkCount;
    header.h_namelen = item.nameLength ? *item.nameLength : static_cast<uint32_t>(item.name.size() + 1);
    header.h_mode = item.mode;
    header.h_uid = item.uid ? *item.uid : uid_;
    header.h_gid = item.gid ? *item.gid : gid_;
    header.h_size = item.size;
    header.h_mtime = item.mtime;
    header.h_ctime = item.ctime;
    header.h_atime = item.atime;
    const uint64_t inode = item.inode != 0 ? item.inode : nextInode_++;
    header.h_inoHigh = static_cast<uint32_t>(inode >> 32);
    header.h_inoLow = static_cast<uint32_t>(inode);
    header.h_platform = item.platform != 0 ? item.platform : CXHDR_PLATFORM_UNIX;
    header.fileAttributes = item.attributes;
    header.h_flags2 = item.flags2;
    std::string payload(CXHDR_SIZE, '\0');
    auto* out = reinterpret_cast<unsigned char*>(&payload[0]);
    fclarchive::encodeFileHeader(header, out);
    // The encoder always ends the name with a NUL; the field is filled here, so that a long name can lack one.
    std::memset(out + CXHDR_FIXED_SIZE, 0, CXHDR_NAME_SIZE);
    std::memcpy(out + CXHDR_FIXED_SIZE, item.name.data(), std::min(item.name.size(), CXHDR_NAME_SIZE));
    return payload;
}

uint64_t ArchiveBuilder::header(const ItemHeader& item) {
    const uint64_t at = offset();
    indexLine(at, kindOf(item.mode), item.name);
    headerOnly(item);
    return at;
}

ArchiveBuilder& ArchiveBuilder::headerOnly(const ItemHeader& item) {
    return buffer(PL_FS_HDR, fileHeaderPayload(item));
}

ArchiveBuilder& ArchiveBuilder::preHeader(uint32_t flags, const std::string& name, uint32_t version) {
    std::string payload(sizeof(FSRPreHeader), '\0');
    auto* out = reinterpret_cast<unsigned char*>(&payload[0]);
    // Written by hand, not by the encoder, so that a name may fill the whole field.
    fclarchive::encodePreHeader(flags, version, "", out);
    std::memcpy(out + offsetof(FSRPreHeader, linkName), name.data(), std::min(name.size(), FSR_PREHDR_NAME_SIZE));
    return buffer(PL_FS_PREHDR, payload);
}

ArchiveBuilder& ArchiveBuilder::data(const std::string& bytes) {
    return buffer(PL_DATA, bytes);
}

ArchiveBuilder& ArchiveBuilder::hole(uint32_t length) {
    unsigned char payload[4];
    fclarchive::encodeHole(length, payload);
    return buffer(PL_HOLE, std::string(reinterpret_cast<const char*>(payload), sizeof payload));
}

ArchiveBuilder& ArchiveBuilder::end() {
    return buffer(PL_FS_EOF, "");
}

ArchiveBuilder& ArchiveBuilder::buffer(uint32_t type, const std::string& payload) {
    write(type, payload, static_cast<uint32_t>(payload.size()), static_cast<uint32_t>(payload.size()));
    return *this;
}

ArchiveBuilder& ArchiveBuilder::compressedAs(uint32_t type, const std::string& payload, uint32_t compressedLength) {
    write(type, payload, static_cast<uint32_t>(payload.size()), compressedLength);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::lyingBuffer(uint32_t type, const std::string& payload, uint32_t claimedLength) {
    if (claimedLength <= payload.size()) {
        write(type, payload.substr(0, claimedLength), claimedLength, claimedLength);
        return raw(payload.substr(claimedLength));
    }
    // The writer frames what it is given: it is given the claimed length, and the padding goes again at finish.
    const uint64_t padding = claimedLength - payload.size();
    write(type, payload + std::string(padding, '\0'), claimedLength, claimedLength);
    cuts_.emplace_back(writer_.offset() - padding, padding);
    cut_ += padding;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::raw(const std::string& bytes) {
    check(writer_.writeRaw(bytes.data(), bytes.size()));
    return *this;
}

ArchiveBuilder& ArchiveBuilder::indexLine(uint64_t at, const char* kind, const std::string& path) {
    check(writer_.addIndexEntry(at, kind, path));
    return *this;
}

void ArchiveBuilder::write(uint32_t type, const std::string& payload, uint32_t length, uint32_t compressedLength) {
    starts_.push_back(offset());
    check(writer_.writeBuffer(type, payload.data(), length, compressedLength));
}

void ArchiveBuilder::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    check(writer_.finish());
    if (cuts_.empty()) {
        return;
    }
    const std::string written = readFile(path_);
    std::string kept;
    uint64_t from = 0;
    for (const auto& cut : cuts_) {
        kept.append(written, from, cut.first - from);
        from = cut.first + cut.second;
    }
    kept.append(written, from, std::string::npos);
    writeFile(path_, kept);
}

void ArchiveBuilder::truncateAt(uint64_t size) {
    finish();
    if (::truncate(path_.c_str(), static_cast<off_t>(size)) != 0) {
        throw std::runtime_error("archive builder: cannot truncate " + path_);
    }
}

void ArchiveBuilder::flip(uint64_t at, unsigned char mask) {
    finish();
    std::string bytes = readFile(path_);
    if (at >= bytes.size()) {
        throw std::runtime_error("archive builder: no byte " + std::to_string(at) + " in " + path_);
    }
    bytes[at] = static_cast<char>(bytes[at] ^ mask);
    writeFile(path_, bytes);
}

}  // namespace fcltest
