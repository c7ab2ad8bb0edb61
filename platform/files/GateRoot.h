#pragma once
// The destination root as the file calls see it. Internal to the file-call layer.
#include <memory>
#include <string>

#include "platform/files/UniqueFd.h"

namespace wzfiles {
namespace detail {

struct GateRoot {
    std::string given;     // as the host gave it, cleaned
    std::string resolved;  // the same place with its links resolved, "" when the text is the same
    UniqueFd fd;

    // The rest of the absolute path `abs` after the root, leading '/' skipped ("" for the root itself), or null when
    // `abs` does not lie at or under the root.
    const char* match(const char* abs) const;
    // True when `abs` does not start with the root but its ".." components, taken as text, lead into it.
    bool entersThroughDotDot(const char* abs) const;
};

// The root in force, null when none; holding it keeps its descriptor open for the call.
std::shared_ptr<const GateRoot> currentRoot();

// Repeated '/' and "." components dropped, no trailing '/'; ".." is kept as text.
std::string cleanPath(const std::string& path);

// The process's working directory into `out`: 0, or -1 with errno.
int workingDirectory(std::string& out);

}  // namespace detail
}  // namespace wzfiles
