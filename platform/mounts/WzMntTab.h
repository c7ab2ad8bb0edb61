#pragma once
// Entries of the host's mount table and the order the engine sorts them in.
#include <cstring>
#include <string>

class WzMntTab {
public:
    struct Entry {
        std::string device;
        std::string mountDir;
        bool flag = false;
        std::string extra;
        std::string fsType;
    };
};

// Descending byte order of mount directories: a deeper mount sorts before the mount that holds it.
struct SortMntListInDescending {
    bool operator()(const WzMntTab::Entry& a, const WzMntTab::Entry& b) const {
        return strcmp(a.mountDir.c_str(), b.mountDir.c_str()) > 0;
    }
};
