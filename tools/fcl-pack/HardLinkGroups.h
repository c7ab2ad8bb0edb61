#pragma once
// The names of multiply-linked items met during the walk. A group is held until every link of the item has
// been seen (or the walk ends), because the stream carries a group as one item: every name, then the data.
#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

struct HardLinkGroup {
    std::vector<std::string> names;  // in the order met
    nlink_t links = 0;
};

class HardLinkGroups {
public:
    // Records one name; true, with the group moved to `complete`, once every link has been seen.
    bool add(dev_t device, ino_t inode, nlink_t links, const std::string& path, HardLinkGroup& complete);
    // Takes one group still open at the end of the walk; false when none is left.
    bool takeRemaining(HardLinkGroup& group);

private:
    std::map<std::pair<dev_t, ino_t>, HardLinkGroup> open_;
};
