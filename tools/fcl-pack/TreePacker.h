#pragma once
// Walks a source tree and packs it into the archive files of a media directory: the root first, each
// directory before what it holds, items in name order, hard-link groups in the stream's own form. Memory
// stays constant whatever the tree's size, apart from the names of hard links not yet complete.
#include <fts.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/archive/ArchiveWriter.h"
#include "tools/fcl-pack/HardLinkGroups.h"
#include "tools/fcl-pack/ItemBody.h"

struct PackOptions {
    std::string source;
    std::string media;
    size_t bufferBytes = 256 << 10;
    unsigned archives = 1;
};

class TreePacker {
public:
    explicit TreePacker(PackOptions options);
    // 0: all packed; 1: packed with warnings (items left out or changed); 2: failed.
    int run();

private:
    bool prepareMedia();
    uint64_t measureSource();
    bool walk();
    bool visit(FTS* tree, FTSENT* entry);
    bool packItem(const std::string& path, const struct stat& seen);
    bool packGroup(HardLinkGroup& group);
    bool finishItem(ItemBody::Result result);
    bool nextArchiveIfDue();
    bool openArchive(uint64_t id);
    bool closeArchive();
    void warn(const std::string& text);
    bool fatal(const std::string& text);

    PackOptions options_;
    ItemBody body_;
    HardLinkGroups groups_;
    std::unique_ptr<fclarchive::ArchiveWriter> writer_;
    uint64_t archiveId_ = 0;
    uint64_t dataPerArchive_ = 0;
    uint64_t dataInArchive_ = 0;
    dev_t mediaDevice_ = 0;
    ino_t mediaInode_ = 0;
    uint64_t items_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t warnings_ = 0;
};
