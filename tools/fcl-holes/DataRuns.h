#pragma once
// Where a file holds data and where it holds holes, as the file system says through SEEK_DATA and SEEK_HOLE.
#include <cstdint>
#include <string>
#include <vector>

namespace fclholes {

struct DataRun {
    uint64_t offset;
    uint64_t length;
    bool operator==(const DataRun& other) const { return offset == other.offset && length == other.length; }
};

// The data runs of the regular file `path`, in order; false with a reason when it cannot be read.
bool dataRuns(const std::string& path, std::vector<DataRun>* runs, std::string* why);
// "[ 0+4096 8192+100 ]"
std::string describeRuns(const std::vector<DataRun>& runs);

}  // namespace fclholes
