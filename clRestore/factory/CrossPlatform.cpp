// Items backed up on other operating systems: which source platforms are Windows or Novell, the matching mode of
// source paths that follows them, and the job's source paths in Unix form.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/ClExceptError.h"
#include "platform/log/LogWriter.h"

namespace {

// Operating-system ids of source clients, as the backup side numbers them; both lists sorted.
const int kWindowsPlatforms[] = {2,  3,  21, 24, 27, 34,  35,  39,  46,  48,  62,  63, 64,
                                 65, 66, 67, 93, 94, 200, 208, 209, 210, 211, 212, 213};
const int kNovellPlatforms[] = {8, 9, 10, 11, 12, 13, 31, 32, 41, 99};

template <size_t N>
bool listed(const int (&ids)[N], int platform) {
    return std::binary_search(std::begin(ids), std::end(ids), platform);
}

}  // namespace

bool FsRestoreUnixObjectsFactory::isWindowsCrossRestore(int platform) {
    FclRestore* job = _fclRestore;
    if (!listed(kWindowsPlatforms, platform)) {
        _caseSensitivePaths = true;
        if (job != nullptr && !job->isCaseSensitive() && !job->IsAutoScaleIndexRestore()) {
            job->sortPathnames(getSrcPaths());
        }
        return false;
    }
    _caseSensitivePaths = false;
    if (job != nullptr && job->isCaseSensitive()) {
        job->sortPathnamesCase(getSrcPaths());
        // The restore objects ask this for every item and do not expect an exception; the paths stay as they were
        // and items of such a source match none of them.
        try {
            convertWindowsSourcePaths();
        } catch (const ClExceptError& error) {
            FCL_ERROR("The source paths stay as they were: one cannot be put in Unix form (error 0x%x)",
                      static_cast<unsigned int>(error.getErrCode()));
        }
    }
    return true;
}

bool FsRestoreUnixObjectsFactory::isNovellCrossRestore(int platform) {
    return listed(kNovellPlatforms, platform);
}

void FsRestoreUnixObjectsFactory::convertWindowsSourcePaths() {
    const size_t count = _srcPaths != nullptr && _numSrcPaths > 0 ? static_cast<size_t>(_numSrcPaths) : 0;
    // Converted all before any is written, so a path that fails leaves the job's paths as they were.
    std::vector<std::string> converted(count);
    for (size_t i = 0; i < count; ++i) {
        if (_srcPaths[i].path != nullptr) {
            convertWindowsPathToUnixPath(_srcPaths[i].path, converted[i]);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (_srcPaths[i].path != nullptr) {
            memcpy(_srcPaths[i].path, converted[i].c_str(), converted[i].size() + 1);
        }
    }
}
