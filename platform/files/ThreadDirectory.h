#pragma once
// The calling thread's current directory, set by WzLongPathHandler::chdir_long. Internal to the file-call layer.
#include <string>

#include "platform/files/UniqueFd.h"

namespace wzfiles {
namespace detail {

struct ThreadDirectory {
    UniqueFd fd;       // not valid when the thread has none: the process's working directory applies
    std::string path;  // absolute text, joined with relative paths for the destination gate
};

ThreadDirectory& threadDirectory();

}  // namespace detail
}  // namespace wzfiles
