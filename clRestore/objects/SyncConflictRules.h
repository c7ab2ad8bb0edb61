#pragma once
// Conflict names of synchronised restores: a destination item that the user changed since the last sync backup, or
// that another process holds locked, is kept, and the item from the backup goes beside it under a name that carries
// the source machine and the tag "wzconflict".
#include <string>

namespace fclsync {

constexpr char kConflictTag[] = "wzconflict";
// Paths this long or longer never get a conflict name.
constexpr size_t kLongestConflictSource = 200;

bool hasConflictTag(const std::string& path);

// `name` with everything but letters, digits, '-', '_' and single dots made '_', and at most 64 characters: it
// becomes part of a file name, so neither "/" nor ".." may pass, and it may not make that name too long.
std::string safeMachineName(const char* name);

// The conflict name of `path` for `machine` (already safe): ".[machine].wzconflict" goes before the last "." of the
// last component, or at the end when that component has none. False, with `out` untouched, when `path` is too long.
bool conflictName(const std::string& path, const std::string& machine, std::string* out);

}  // namespace fclsync
