#include "platform/snapshots/VolumeSnaps.h"

#include <mutex>
#include <string>

#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingsFile.h"

namespace wzsnaps {
namespace {

struct Record {
    std::mutex lock;
    std::vector<SMVolSnapInfo> reverts;
};

Record& record() {
    static Record r;
    return r;
}

// One snapshot line: four decimal ints that the client's fields can hold.
bool readSnap(const std::string& line, long long (&fields)[4]) {
    size_t at = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t end = i == 3 ? line.size() : line.find(',', at);
        if (end == std::string::npos || end == at || end - at > 10 || line.find_first_not_of("0123456789", at) < end) {
            return false;
        }
        fields[i] = std::stoll(line.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

}  // namespace

std::vector<SMVolSnapInfo> reverts() {
    std::lock_guard<std::mutex> guard(record().lock);
    return record().reverts;
}

void clearReverts() {
    std::lock_guard<std::mutex> guard(record().lock);
    record().reverts.clear();
}

wzfault::FaultCounter& revertFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

}  // namespace wzsnaps

bool WZSnapClientAPI::getVolumeSnaps(SMVolSnapInfo& info) {
    const wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("VolumeSnaps", "snap")) {
        long long f[4] = {};
        if (wzsnaps::readSnap(line, f) && f[0] == info.jobId() && f[1] == info.archFileId() &&
            f[2] == info.zendrelId() && f[3] == info.copy()) {
            info.setFound(true);
            return true;
        }
    }
    info.setFound(false);
    return false;
}

int WZSnapClientAPI::revertVolumeSnaps(SMVolSnapInfo& info) {
    if (!info.found() || wzsnaps::revertFaults().take()) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(wzsnaps::record().lock);
    wzsnaps::record().reverts.push_back(info);
    return 1;
}
