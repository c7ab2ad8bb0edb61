#include "tools/fcl-pack/HardLinkGroups.h"

bool HardLinkGroups::add(dev_t device, ino_t inode, nlink_t links, const std::string& path, HardLinkGroup& complete) {
    auto key = std::make_pair(device, inode);
    HardLinkGroup& group = open_[key];
    group.names.push_back(path);
    group.links = links;
    if (group.names.size() < links) {
        return false;
    }
    complete = std::move(group);
    open_.erase(key);
    return true;
}

bool HardLinkGroups::takeRemaining(HardLinkGroup& group) {
    if (open_.empty()) {
        return false;
    }
    auto first = open_.begin();
    group = std::move(first->second);
    open_.erase(first);
    return true;
}
