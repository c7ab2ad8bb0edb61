#include "clRestore/factory/SourcePathOrder.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "platform/support/FXPath.h"

namespace {

// A recorded source path this long is compared as its parent directory.
const size_t kLongSourcePath = 960;

// The tokenizer's rules over a text without copying it: the next name from `cursor` on, and the cursor past it and
// past the run of '/' that follows. False at the end.
bool nextName(const char*& cursor, const char*& name, size_t& size) {
    if (*cursor == '\0') {
        return false;
    }
    name = cursor;
    while (*cursor != '\0' && *cursor != '/') {
        ++cursor;
    }
    size = static_cast<size_t>(cursor - name);
    while (*cursor == '/') {
        ++cursor;
    }
    return true;
}

int compareNames(const char* a, size_t aSize, const char* b, size_t bSize, bool caseSensitive) {
    const size_t common = aSize < bSize ? aSize : bSize;
    for (size_t i = 0; i < common; ++i) {
        int left = static_cast<unsigned char>(a[i]);
        int right = static_cast<unsigned char>(b[i]);
        if (!caseSensitive) {
            left = tolower(left);
            right = tolower(right);
        }
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    // As between NUL-terminated names: the shorter one first.
    return aSize == bSize ? 0 : (aSize < bSize ? -1 : 1);
}

// The sign of `a` against `b`, name by name. When `b`'s names run out first, `b` is an ancestor of `a`: that is a
// match for a search (0) and "after" for a sort (1), which keeps the sort a strict order.
int comparePaths(const char* a, const char* b, bool caseSensitive, bool ancestorMatches) {
    const char* left = a + (*a == '/' ? 1 : 0);
    const char* right = b + (*b == '/' ? 1 : 0);
    for (;;) {
        const char* leftName = nullptr;
        const char* rightName = nullptr;
        size_t leftSize = 0;
        size_t rightSize = 0;
        const bool moreLeft = nextName(left, leftName, leftSize);
        const bool moreRight = nextName(right, rightName, rightSize);
        if (!moreLeft || !moreRight) {
            if (moreLeft) {
                return ancestorMatches ? 0 : 1;
            }
            return moreRight ? -1 : 0;
        }
        const int order = compareNames(leftName, leftSize, rightName, rightSize, caseSensitive);
        if (order != 0) {
            return order;
        }
    }
}

// The text a record is ordered and matched by: its path, or the parent of a long one (kept in `parent`).
const char* orderedText(const char* path, std::string& parent) {
    if (strlen(path) < kLongSourcePath) {
        return path;
    }
    std::string name;
    if (FXPath::SplitParentPath(path, parent, name).IsError()) {
        return path;
    }
    return parent.c_str();
}

// Records without a text sort first.
int compareRecords(const void* a, const void* b, bool caseSensitive) {
    const char* left = static_cast<const FSRSrcPath*>(a)->path;
    const char* right = static_cast<const FSRSrcPath*>(b)->path;
    if (left == nullptr || right == nullptr) {
        return (left != nullptr) - (right != nullptr);
    }
    std::string leftParent;
    std::string rightParent;
    return comparePaths(orderedText(left, leftParent), orderedText(right, rightParent), caseSensitive, false);
}

int matchRecord(const void* key, const void* element, bool caseSensitive) {
    const char* wanted = static_cast<const FSRSrcPath*>(key)->path;
    const char* recorded = static_cast<const FSRSrcPath*>(element)->path;
    if (wanted == nullptr) {
        return -1;
    }
    if (recorded == nullptr) {
        return 1;
    }
    std::string parent;
    return comparePaths(wanted, orderedText(recorded, parent), caseSensitive, true);
}

int matchCaseSensitive(const void* key, const void* element) {
    return matchRecord(key, element, true);
}

int matchIgnoringCase(const void* key, const void* element) {
    return matchRecord(key, element, false);
}

}  // namespace

PathSegment::PathSegment(const char* path) : _cursor(nullptr) {
    const char* from = path != nullptr ? path : "";
    if (*from == '/') {
        ++from;
    }
    const size_t size = strlen(from);
    _copy.reset(new char[size + 1]);
    memcpy(_copy.get(), from, size + 1);
    _cursor = _copy.get();
}

char* PathSegment::getNextSegment() {
    const char* cursor = _cursor;
    const char* name = nullptr;
    size_t size = 0;
    if (!nextName(cursor, name, size)) {
        return nullptr;
    }
    char* segment = _copy.get() + (name - _copy.get());
    segment[size] = '\0';
    _cursor = _copy.get() + (cursor - _copy.get());
    return segment;
}

int FsRestoreUnixObjectsFactory::cmpFunc(const void* a, const void* b) {
    return compareRecords(a, b, true);
}

int FsRestoreUnixObjectsFactory::cmpFuncCase(const void* a, const void* b) {
    return compareRecords(a, b, false);
}

std::string FsRestoreUnixObjectsFactory::getBasename(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

const FSRSrcPath* findSourcePath(const char* key, const FSRSrcPath* paths, int count, bool caseSensitive) {
    if (key == nullptr || paths == nullptr || count <= 0) {
        return nullptr;
    }
    FSRSrcPath wanted;
    wanted.path = const_cast<char*>(key);
    return static_cast<const FSRSrcPath*>(bsearch(&wanted, paths, static_cast<size_t>(count), sizeof(FSRSrcPath),
                                                  caseSensitive ? matchCaseSensitive : matchIgnoringCase));
}
