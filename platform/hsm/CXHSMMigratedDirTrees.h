#pragma once
// The directory trees whose files storage management migrated, recorded per client. Nothing is ever migrated on this
// machine: no directory lies in a recorded tree, and recording keeps nothing.
#include <string>

class CXHSMMigratedDirTrees {
public:
    CXHSMMigratedDirTrees(bool /*load*/, const std::string& /*clientName*/) {}

    // True when `directory` lies in a recorded tree, with the tree's top in `top`.
    bool wasDirMigrated(const std::string& /*directory*/, std::string* /*top*/) const { return false; }
    void addTree(const std::string& /*top*/) {}
};
