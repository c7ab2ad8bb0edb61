#pragma once
// Lexical operations on '/'-separated paths. Nothing here touches the file system; "." and ".." are
// ordinary names. Repeated and trailing separators never change what a path names.
#include <string>

#include "platform/support/CQiError.h"
#include "platform/support/FXString.h"

class FXPath {
public:
    // Removes every trailing "/", so "/" itself becomes "". Always succeeds.
    static CQiError RemoveTrailingDelimiter(std::string& path) {
        FXString::RemoveRight(path, "/");
        return CQiError::Success();
    }

    // Joins `part` to `path` with exactly one "/" between them; an empty path becomes `part`, an empty part
    // leaves the path as it is. A trailing "/" of `part` is kept. `flags`: no option is defined; pass 0.
    static CQiError Append(std::string& path, const std::string& part, unsigned int flags);
    // Splits into the parent and the last name: "/a/b/" gives "/a" and "b", "/a" gives "/" and "a", "a" gives
    // "" and "a". An empty path or the root has no name: an error, and both outputs are left alone.
    static CQiError SplitParentPath(const std::string& path, std::string& parent, std::string& name);
    // True when `ancestor` names a directory above `path`, component by component ("/a" is not above
    // "/ab"); with `orSelf` a path also counts as its own ancestor. Absolute and relative paths never
    // relate; an empty path relates to nothing.
    static bool IsAncestorOf(const std::string& ancestor, const std::string& path, bool orSelf);
    static bool IsSamePathAs(const std::string& a, const std::string& b);
};
