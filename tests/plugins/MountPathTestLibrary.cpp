// The mount-path library for the engine's tests, built as libWZMMclientAPI.so (and, without its lookup, as the copy
// in nofunction/ that lacks the call). Its answers come from the file named by FCL_TEST_MOUNT_PATHS, read at every
// call, one line per mount-path id: "<id> <answer>", where the answer is a mount path, or "!fail" (answers 1),
// "!null" (answers 0 without a path) or "!empty" (answers 0 with ""). An id without a line answers 1. Each call is
// appended to the file named by FCL_TEST_MOUNT_PATH_CALLS as "<id> <client id> <volume id> [<guid>]".
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#ifndef FCL_TEST_WITHOUT_LOOKUP

namespace {

// The paths handed out stay valid for the life of the process, as the engine may copy them at any later point.
const char* keep(const std::string& path) {
    static std::set<std::string> kept;
    return kept.insert(path).first->c_str();
}

void noteCall(uint64_t mountPathId, uint64_t clientId, uint64_t volumeId, const char* guid) {
    const char* calls = getenv("FCL_TEST_MOUNT_PATH_CALLS");
    if (calls != nullptr) {
        std::ofstream(calls, std::ios::app)
            << mountPathId << " " << clientId << " " << volumeId << " [" << guid << "]\n";
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int getMMClientApiMountPathInfo22(uint64_t mountPathId,
                                                                                    uint64_t clientId,
                                                                                    uint64_t volumeId, const char* guid,
                                                                                    char** mountPath) {
    noteCall(mountPathId, clientId, volumeId, guid);
    const char* answers = getenv("FCL_TEST_MOUNT_PATHS");
    std::ifstream file(answers != nullptr ? answers : "");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        uint64_t id = 0;
        std::string answer;
        if (!(fields >> id) || id != mountPathId) {
            continue;
        }
        std::getline(fields >> std::ws, answer);
        if (answer == "!fail") {
            return 1;
        }
        *mountPath = answer == "!null" ? nullptr : const_cast<char*>(keep(answer == "!empty" ? "" : answer));
        return 0;
    }
    return 1;
}

#else

// A library of the right name whose lookup is missing.
extern "C" __attribute__((visibility("default"))) int getMMClientApiVersion() {
    return 22;
}

#endif
