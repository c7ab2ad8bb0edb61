#pragma once
// The owner and group of a mapped path, as the synchronised-restore path mapper gives them.
#include <cstdint>

struct UserGroupID {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;

    std::uint32_t getUID() const { return uid; }
    std::uint32_t getGID() const { return gid; }
};
