#include "tools/fcl-pack/TreePacker.h"

#include <dirent.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/StreamRecords.h"
#include "protocol/PipelineBuffer.h"

namespace {

int byName(const FTSENT** a, const FTSENT** b) {
    return std::strcmp((*a)->fts_name, (*b)->fts_name);
}

// fts takes the root list as non-const strings.
struct Walk {
    explicit Walk(const std::string& root) : path(root) {
        char* roots[] = {path.data(), nullptr};
        tree = fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, byName);
    }
    ~Walk() {
        if (tree != nullptr) {
            fts_close(tree);
        }
    }
    std::string path;
    FTS* tree = nullptr;
};

bool holdsArchives(const std::string& directory) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        for (const char* suffix : {".afile", ".index"}) {
            size_t length = std::strlen(suffix);
            if (name.size() > length && name.compare(name.size() - length, length, suffix) == 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

TreePacker::TreePacker(PackOptions options) : options_(std::move(options)), body_(options_.bufferBytes) {}

void TreePacker::warn(const std::string& text) {
    ++warnings_;
    fprintf(stderr, "fcl-pack: warning: %s\n", text.c_str());
}

bool TreePacker::fatal(const std::string& text) {
    fprintf(stderr, "fcl-pack: %s\n", text.c_str());
    return false;
}

int TreePacker::run() {
    char resolved[PATH_MAX];
    if (realpath(options_.source.c_str(), resolved) == nullptr) {
        fatal("cannot find " + options_.source + ": " + strerror(errno));
        return 2;
    }
    options_.source = resolved;
    if (!prepareMedia()) {
        return 2;
    }
    if (options_.archives > 1) {
        dataPerArchive_ = measureSource() / options_.archives;
    }
    if (!openArchive(1) || !walk() || !closeArchive()) {
        return 2;
    }
    // Archives left empty by a small tree are still written, so there are as many as asked for.
    while (archiveId_ < options_.archives) {
        if (!openArchive(archiveId_ + 1) || !closeArchive()) {
            return 2;
        }
    }
    printf("fcl-pack: %llu items, %llu bytes of data, %llu archive file(s) in %s\n",
           static_cast<unsigned long long>(items_), static_cast<unsigned long long>(dataBytes_),
           static_cast<unsigned long long>(archiveId_), options_.media.c_str());
    return warnings_ != 0 ? 1 : 0;
}

bool TreePacker::prepareMedia() {
    std::error_code error;
    std::filesystem::create_directories(options_.media, error);
    struct stat info;
    if (stat(options_.media.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return fatal("cannot use media directory " + options_.media +
                     (error ? ": " + error.message() : std::string(": not a directory")));
    }
    if (holdsArchives(options_.media)) {
        return fatal("media directory " + options_.media + " already holds archive files");
    }
    mediaDevice_ = info.st_dev;
    mediaInode_ = info.st_ino;
    return true;
}

uint64_t TreePacker::measureSource() {
    Walk walk(options_.source);
    uint64_t total = 0;
    while (FTSENT* entry = walk.tree != nullptr ? fts_read(walk.tree) : nullptr) {
        if (entry->fts_info == FTS_D && entry->fts_statp->st_dev == mediaDevice_ &&
            entry->fts_statp->st_ino == mediaInode_) {
            fts_set(walk.tree, entry, FTS_SKIP);
        } else if (entry->fts_info == FTS_F) {
            // Allocated bytes, so a sparse file weighs what its data weighs.
            total += std::min<uint64_t>(static_cast<uint64_t>(entry->fts_statp->st_size),
                                        static_cast<uint64_t>(entry->fts_statp->st_blocks) * 512);
        }
    }
    return total;
}

bool TreePacker::walk() {
    Walk walk(options_.source);
    if (walk.tree == nullptr) {
        return fatal("cannot walk " + options_.source + ": " + strerror(errno));
    }
    errno = 0;
    while (FTSENT* entry = fts_read(walk.tree)) {
        if (!visit(walk.tree, entry)) {
            return false;
        }
        errno = 0;
    }
    if (errno != 0) {
        return fatal("walk of " + options_.source + " stopped: " + strerror(errno));
    }
    HardLinkGroup group;
    while (groups_.takeRemaining(group)) {
        if (!packGroup(group)) {
            return false;
        }
    }
    return true;
}

bool TreePacker::visit(FTS* tree, FTSENT* entry) {
    const struct stat* seen = entry->fts_statp;
    std::string path = entry->fts_path;
    switch (entry->fts_info) {
        case FTS_D:
            if (seen->st_dev == mediaDevice_ && seen->st_ino == mediaInode_) {
                fts_set(tree, entry, FTS_SKIP);
                return true;
            }
            if (path.size() >= PATH_MAX) {
                // Everything beneath is longer still.
                fts_set(tree, entry, FTS_SKIP);
            }
            return packItem(path, *seen);
        case FTS_DP:
            return true;
        case FTS_DNR:
            warn("cannot read directory " + path + ": " + strerror(entry->fts_errno) + ", its contents not packed");
            return true;
        case FTS_DC:
            warn("directory cycle at " + path + ", not descended");
            return true;
        case FTS_NS:
        case FTS_ERR:
            warn("cannot read " + path + ": " + strerror(entry->fts_errno) + ", not packed");
            return true;
        default:
            break;
    }
    if (seen->st_nlink > 1) {
        HardLinkGroup group;
        if (groups_.add(seen->st_dev, seen->st_ino, seen->st_nlink, path, group)) {
            return packGroup(group);
        }
        return true;
    }
    return packItem(path, *seen);
}

bool TreePacker::finishItem(ItemBody::Result result) {
    for (const std::string& text : body_.takeWarnings()) {
        warn(text);
    }
    if (result == ItemBody::Result::kFailed) {
        return fatal(body_.failure());
    }
    if (result == ItemBody::Result::kWritten) {
        ++items_;
        dataBytes_ += body_.dataBytes();
        dataInArchive_ += body_.dataBytes();
    }
    return true;
}

bool TreePacker::packItem(const std::string& path, const struct stat& seen) {
    if (!nextArchiveIfDue()) {
        return false;
    }
    ItemBody::Result result = body_.prepare(path, seen);
    if (result == ItemBody::Result::kWritten) {
        CQiError error = writer_->addIndexEntry(writer_->offset(), body_.indexKind(), path);
        if (error.IsError()) {
            return fatal(error.AsString());
        }
        result = body_.write(*writer_);
    }
    return finishItem(result);
}

bool TreePacker::packGroup(HardLinkGroup& group) {
    if (!nextArchiveIfDue()) {
        return false;
    }
    // Each name travels in a buffer of its own, whatever its length; one no item may have stays out, as such an item
    // does.
    std::vector<std::string> names;
    for (std::string& name : group.names) {
        if (name.size() >= PATH_MAX) {
            warn("path longer than PATH_MAX, not packed: " + name);
        } else {
            names.push_back(std::move(name));
        }
    }
    // The first name that can be read carries the data; a name that vanished meanwhile is dropped.
    size_t primary = 0;
    ItemBody::Result result = ItemBody::Result::kSkipped;
    for (; primary < names.size(); ++primary) {
        struct stat seen;
        if (lstat(names[primary].c_str(), &seen) != 0) {
            warn("cannot read " + names[primary] + ": " + strerror(errno) + ", not packed");
            continue;
        }
        result = body_.prepare(names[primary], seen);
        if (result == ItemBody::Result::kWritten) {
            break;
        }
        for (const std::string& text : body_.takeWarnings()) {
            warn(text);
        }
    }
    if (result != ItemBody::Result::kWritten) {
        return true;
    }
    if (names.size() - primary == 1) {
        CQiError error = writer_->addIndexEntry(writer_->offset(), body_.indexKind(), names[primary]);
        return error.IsError() ? fatal(error.AsString()) : finishItem(body_.write(*writer_));
    }

    // The whole group is one item: whichever of its names a restore selects, the data comes with it.
    const uint64_t start = writer_->offset();
    CQiError error = writer_->addIndexEntry(start, body_.indexKind(), names[primary]);
    for (size_t i = primary + 1; i < names.size() && !error.IsError(); ++i) {
        error = writer_->addIndexEntry(start, fclarchive::kKindHardLink, names[i]);
    }
    if (error.IsError()) {
        return fatal(error.AsString());
    }
    body_.writeAsGroup(std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(primary), names.end()));
    if (!finishItem(body_.write(*writer_))) {
        return false;
    }
    items_ += names.size() - primary - 1;
    return true;
}

bool TreePacker::nextArchiveIfDue() {
    if (archiveId_ >= options_.archives || dataInArchive_ < dataPerArchive_ || dataPerArchive_ == 0) {
        return true;
    }
    return closeArchive() && openArchive(archiveId_ + 1);
}

bool TreePacker::openArchive(uint64_t id) {
    writer_.reset(new fclarchive::ArchiveWriter);
    CQiError error = writer_->create(options_.media, id);
    if (error.IsError()) {
        return fatal(error.AsString());
    }
    archiveId_ = id;
    dataInArchive_ = 0;
    return true;
}

bool TreePacker::closeArchive() {
    CQiError error = writer_->finish();
    return error.IsError() ? fatal(error.AsString()) : true;
}
