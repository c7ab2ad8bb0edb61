#pragma once
// The optional header of one item: its access and default ACLs (when they say more than the mode) and its
// extended attributes, in the optional-header format.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/archive/StreamRecords.h"

class ItemMetadata {
public:
    // Fills `builder` afresh for the item at `path` (never followed when it is a link). Problems reading
    // them are added to `warnings`; what could be read is kept.
    void collect(const std::string& path, const struct stat& info, fclarchive::OptHeaderBuilder& builder,
                 std::vector<std::string>& warnings);

private:
    void addAcl(const std::string& path, int type, uint32_t tag, fclarchive::OptHeaderBuilder& builder,
                std::vector<std::string>& warnings);
    void addXattrs(const std::string& path, fclarchive::OptHeaderBuilder& builder, std::vector<std::string>& warnings);

    std::vector<char> names_;
    std::vector<char> value_;
};
