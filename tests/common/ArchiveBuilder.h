#pragma once
// Builds an archive file and its index from a short description, for tests that need streams the packer never
// writes: items whose header says one thing and whose buffers another, buffers of any type anywhere, names without
// their NUL, files cut or damaged at a chosen byte.
//
//   fcltest::ArchiveBuilder stream(media);
//   stream.directory(root);
//   stream.file(root + "/a", "hello");
//   stream.header(fcltest::ItemHeader::file(root + "/b", 10));
//   stream.data(std::string(20, 'x')).end();   // more data than the header's size
//   stream.finish();
//   stream.truncateAt(stream.buffers().back());
//
// Every buffer is framed by the archive writer, so its checksum is the writer's own: a buffer that lies does so in
// the lengths or the records it carries, never by a checksum the data mover would refuse first.
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/archive/ArchiveWriter.h"

namespace fcltest {

// The fields of an item's file header. A name of 1,028 bytes or more fills the whole name field, without a NUL.
struct ItemHeader {
    static constexpr uint64_t kTime = 1000000000;  // 2001-09-09: no item of a test is that old

    std::string name;
    uint32_t mode = S_IFREG | 0644;
    uint64_t size = 0;
    std::optional<uint32_t> uid;  // by default the builder's owner
    std::optional<uint32_t> gid;
    uint64_t mtime = kTime;
    uint64_t ctime = kTime;
    uint32_t atime = kTime;
    uint32_t linkCount = 1;
    uint64_t inode = 0;                  // 0: one of the builder's own
    std::optional<uint32_t> nameLength;  // h_namelen; by default the name's length with its NUL
    uint32_t flags2 = 0;                 // h_flags2
    int32_t platform = 0;                // source platform; 0: this operating system's
    uint32_t attributes = 0;             // the source's attribute word (Windows items)

    static ItemHeader file(std::string name, uint64_t size, uint32_t permissions = 0644);
    static ItemHeader directory(std::string name, uint32_t permissions = 0755);
    static ItemHeader symlink(std::string name, uint64_t targetLength);
    ItemHeader& owner(uint32_t user, uint32_t group) {
        uid = user;
        gid = group;
        return *this;
    }
};

class ArchiveBuilder {
public:
    // Creates archive file `id` of `media` and its index.
    explicit ArchiveBuilder(std::string media, uint64_t id = 1);
    ~ArchiveBuilder();
    ArchiveBuilder(const ArchiveBuilder&) = delete;
    ArchiveBuilder& operator=(const ArchiveBuilder&) = delete;

    // The owner of items that name none (a restore that is not root can give an item no other owner); by default the
    // caller's.
    void setOwner(uint32_t uid, uint32_t gid);

    // ---- sound items: header, body, end of file and a line in the index; each answers the item's offset ----
    uint64_t directory(const std::string& name, uint32_t permissions = 0755);
    uint64_t file(const std::string& name, const std::string& content, uint32_t permissions = 0644);
    uint64_t symlink(const std::string& name, const std::string& target);
    // A hard-link group as the stream carries it: the first name with the content, the others after its end.
    uint64_t hardLinks(const std::vector<std::string>& names, const std::string& content);
    // A hard-link group as one item: a header with only a placeholder name, each name in a PL_FS_OPT_HDR2, then the
    // content and the end.
    uint64_t placeholderGroup(const std::vector<std::string>& names, const std::string& content);
    // An HSM stub with data that opens a stub group, then a pre-header for each copy of it.
    uint64_t stubGroup(const std::string& stub, const std::vector<std::string>& copies, const std::string& content);

    // ---- pieces, for items that lie ----
    // A file header and the item's line in the index (a kind from its mode); answers its offset.
    uint64_t header(const ItemHeader& header);
    // A file header without a line in the index.
    ArchiveBuilder& headerOnly(const ItemHeader& header);
    // Any pre-header: a hard-link or stub name, a stub without data, a Ruvo item ("GUID|path|tag" for a sync restore),
    // a reference-copy name, or only the next item's version.
    ArchiveBuilder& preHeader(uint32_t flags, const std::string& name, uint32_t version = 0);
    ArchiveBuilder& data(const std::string& bytes);
    ArchiveBuilder& hole(uint32_t length);
    ArchiveBuilder& end();
    // A sound buffer of any type.
    ArchiveBuilder& buffer(uint32_t type, const std::string& payload);
    // A buffer whose header gives `claimedLength` as the payload's length (and as the compressed one) while the file
    // holds `payload`: shorter, the rest follows unframed; longer, the buffer takes in what comes after it.
    ArchiveBuilder& lyingBuffer(uint32_t type, const std::string& payload, uint32_t claimedLength);
    // A sound buffer whose compressed length says `compressedLength`.
    ArchiveBuilder& compressedAs(uint32_t type, const std::string& payload, uint32_t compressedLength);
    // Bytes as they are, unframed.
    ArchiveBuilder& raw(const std::string& bytes);
    ArchiveBuilder& indexLine(uint64_t offset, const char* kind, const std::string& path);

    // Where the next buffer goes, and where each one written so far starts.
    uint64_t offset() const { return writer_.offset() - cut_; }
    const std::vector<uint64_t>& buffers() const { return starts_; }
    const std::string& path() const { return path_; }
    bool finished() const { return finished_; }

    // Writes out both files. The edits below act on the written archive file.
    void finish();
    // Cuts the archive file to `size` bytes.
    void truncateAt(uint64_t size);
    // XORs the byte at `at` with `mask`.
    void flip(uint64_t at, unsigned char mask = 0xff);

private:
    void write(uint32_t type, const std::string& payload, uint32_t length, uint32_t compressedLength);
    std::string fileHeaderPayload(const ItemHeader& header);

    fclarchive::ArchiveWriter writer_;
    std::string path_;
    std::vector<uint64_t> starts_;
    // Spans of padding the writer wrote to frame a buffer longer than its bytes; taken out at finish.
    std::vector<std::pair<uint64_t, uint64_t>> cuts_;
    uint64_t cut_ = 0;
    uint64_t nextInode_ = 1000;
    uint32_t uid_ = 0;
    uint32_t gid_ = 0;
    bool finished_ = false;
};

}  // namespace fcltest
