#include "platform/archive/ArchiveIndex.h"

#include "platform/archive/ArchiveFormat.h"

namespace fclarchive {

std::string escapeIndexPath(const std::string& path) {
    std::string text;
    text.reserve(path.size());
    for (char c : path) {
        switch (c) {
            case '\t':
                text += "\\t";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\\':
                text += "\\\\";
                break;
            default:
                text += c;
        }
    }
    return text;
}

bool unescapeIndexPath(const std::string& text, std::string& path) {
    path.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            path += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case 't':
                path += '\t';
                break;
            case 'n':
                path += '\n';
                break;
            case '\\':
                path += '\\';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::string formatIndexLine(uint64_t offset, const char* kind, const std::string& path) {
    return std::to_string(offset) + '\t' + kind + '\t' + escapeIndexPath(path) + '\n';
}

bool parseIndexLine(const std::string& line, IndexEntry& entry) {
    size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos || tab1 == 0) {
        return false;
    }
    size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos || tab2 == tab1 + 1 || tab2 + 1 == line.size()) {
        return false;
    }
    if (!parseDecimal(line.substr(0, tab1), entry.offset)) {
        return false;
    }
    entry.kind = line.substr(tab1 + 1, tab2 - tab1 - 1);
    return unescapeIndexPath(line.substr(tab2 + 1), entry.path);
}

bool IndexReader::open(const std::string& path) {
    file_.reset(fopen(path.c_str(), "re"));
    malformed_ = false;
    lineNumber_ = 0;
    return file_ != nullptr;
}

bool IndexReader::next(IndexEntry& entry) {
    if (!file_) {
        return false;
    }
    line_.clear();
    int c;
    while ((c = getc_unlocked(file_.get())) != EOF && c != '\n') {
        line_ += static_cast<char>(c);
    }
    if (c == EOF && ferror(file_.get())) {
        // A read that fails part-way must not pass for the end of a shorter index.
        malformed_ = true;
        return false;
    }
    if (c == EOF && line_.empty()) {
        return false;
    }
    ++lineNumber_;
    if (!parseIndexLine(line_, entry)) {
        malformed_ = true;
        return false;
    }
    return true;
}

}  // namespace fclarchive
