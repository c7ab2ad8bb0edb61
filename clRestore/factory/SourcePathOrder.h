#pragma once
// The order of a job's source paths, and the search of the source path an item lies under. Paths are compared name
// by name, so "/a/b" sorts before "/a-c" although '-' sorts before '/'; a path sorts before everything beneath it.
#include <memory>

#include "protocol/FsrJobRecords.h"

// A tokenizer over its own copy of a path: one leading '/' is skipped, each call gives the next name up to a '/', and
// a run of '/' after a name is passed over, so a trailing '/' gives no empty name (a second leading '/' does).
class PathSegment {
public:
    explicit PathSegment(const char* path);
    // The next name, NUL-terminated inside the copy; null at the end.
    char* getNextSegment();

private:
    std::unique_ptr<char[]> _copy;
    char* _cursor;
};

// The record among `paths` (sorted by FsRestoreUnixObjectsFactory::cmpFunc, or cmpFuncCase when `caseSensitive` is
// false) whose path is `key`'s path or one of its ancestors, found by binary search; null when the search meets none.
// A recorded path of 960 characters or more stands for its parent directory. Records without a text never match.
const FSRSrcPath* findSourcePath(const char* key, const FSRSrcPath* paths, int count, bool caseSensitive);
