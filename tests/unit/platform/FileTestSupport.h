#pragma once
// Helpers for the file-call layer's tests.
#include <string>

namespace filetest {

// One line per entry under `dir` (itself included, links not followed, sorted by name): type, mode, owner, link
// count, size, modification and change times, and the content of a file or the target of a link. Any change to
// the tree, an inode's metadata included, changes the text.
std::string snapshot(const std::string& dir);

// `base` followed by components of `width` characters ('a' + level) until the text is at least `length` long.
std::string deepPath(const std::string& base, size_t length, size_t width = 100);

// Everything left to read from `fd`, which is then closed; "" for a negative descriptor.
std::string readAll(int fd);

// How many descriptors the process holds.
int openDescriptorCount();

// The process's working directory, "" when it cannot be read.
std::string workingDirectory();

}  // namespace filetest
