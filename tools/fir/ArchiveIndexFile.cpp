#include "tools/fir/ArchiveIndexFile.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace fir {
namespace {

bool decimal(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    unsigned long long v = strtoull(text.c_str(), nullptr, 10);
    *value = v;
    return errno != ERANGE;
}

bool unescape(const std::string& text, std::string* path) {
    path->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *path += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case 't':
                *path += '\t';
                break;
            case 'n':
                *path += '\n';
                break;
            case '\\':
                *path += '\\';
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

std::string ArchiveIndex::itemAt(uint64_t offset) const {
    // Further names of a hard-link group repeat an earlier offset; the first name found there is the item.
    const IndexItem* best = nullptr;
    for (const IndexItem& item : items) {
        if (item.offset <= offset && (best == nullptr || item.offset > best->offset)) {
            best = &item;
        }
    }
    return best != nullptr ? best->path : std::string();
}

bool parseIndexLine(const std::string& line, IndexItem* item) {
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos || tab2 == tab1 + 1) {
        return false;
    }
    if (!decimal(line.substr(0, tab1), &item->offset) || !unescape(line.substr(tab2 + 1), &item->path) ||
        item->path.empty()) {
        return false;
    }
    item->kind = line.substr(tab1 + 1, tab2 - tab1 - 1);
    return true;
}

bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why) {
    const std::string path = mediaDir + "/" + std::to_string(archiveFileId) + ".index";
    std::ifstream in(path);
    if (!in) {
        *why = "cannot read the index " + path + ": " + strerror(errno);
        return false;
    }
    index->archiveFileId = archiveFileId;
    index->items.clear();
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        IndexItem item;
        if (!parseIndexLine(line, &item)) {
            *why = path + ":" + std::to_string(number) + ": not an index line";
            return false;
        }
        index->items.push_back(std::move(item));
    }
    return true;
}

bool listArchiveIds(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(mediaDir.c_str()), closedir);
    if (!dir) {
        *why = "cannot read the media directory " + mediaDir + ": " + strerror(errno);
        return false;
    }
    ids->clear();
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        const std::string suffix = ".afile";
        uint64_t id = 0;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            decimal(name.substr(0, name.size() - suffix.size()), &id)) {
            ids->push_back(id);
        }
    }
    std::sort(ids->begin(), ids->end());
    return true;
}

}  // namespace fir
