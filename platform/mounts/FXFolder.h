#pragma once
// The host's mounts as the engine lists them. The table is /proc/self/mounts unless a test names another file in
// the same form (one mount per line: device, directory, type, options, and two numbers; blanks inside a field
// written as octal escapes such as \040).
#include <list>
#include <string>

#include "platform/mounts/WzMntTab.h"
#include "platform/support/CQiError.h"

class FXFolder {
public:
    // Replaces `list` with one entry per mount, in the table's order: device, mount directory, the options in
    // `extra`, the file-system type; `flag` false. `unused` is not read. A table that cannot be read leaves the list
    // empty and answers an error with its errno; a malformed line is skipped.
    static CQiError getLogicalVolumeList(std::list<WzMntTab::Entry>& list, const char* unused);
};

namespace wzmounts {

// Test hook: the file read as the mount table; "" restores /proc/self/mounts.
void setMountTablePath(const std::string& path);
std::string mountTablePath();

}  // namespace wzmounts
