#pragma once
// The oracles of the end-to-end tests: rsync for everything a tree holds, and a walk of the regular files for their
// bytes and their holes.
#include <string>
#include <vector>

#include "tests/e2e/TreeLayout.h"

namespace e2e {

// The data runs of a file, as SEEK_DATA and SEEK_HOLE report them; empty when it cannot be read.
std::vector<Range> dataRuns(const std::string& path);
// The data runs an item of the plan has when its file system keeps its holes.
std::vector<Range> expectedRuns(const Item& item);

enum class DirLinks {
    Compared,  // a link in the copy where the source has a directory differs
    // A link to a directory in the copy stands for that directory. This rsync's receiver refuses to look through such
    // links (--keep-dirlinks fails with ELOOP), so the copy is sent instead, with --copy-dirlinks, to the source.
    Followed,
};

// The lines of `rsync -n -a -c -H -A -X --numeric-ids --itemize-changes --delete SOURCE/ COPY/`: contents (holes
// aside), modes, owners, times, links, hard links, ACLs and extended attributes, and items only the copy has (a left
// temporary file, a conflict name); "" when the trees are equal.
std::string rsyncDifferences(const std::string& source, const std::string& copy,
                             DirLinks dirLinks = DirLinks::Compared);

enum class Holes {
    Kept,     // each copy has the data runs of its source
    Written,  // each copy is data from start to end, its holes written as zeros
};

// Every regular file under `source` against its copy under `copy`: the bytes, then the data runs. One line per
// difference; "" when there is none.
std::string contentDifferences(const std::string& source, const std::string& copy, Holes holes);

}  // namespace e2e
