#include "platform/mounts/FileShareAutoMountManager.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "platform/log/LogWriter.h"
#include "platform/settings/IniDocument.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "platform/support/FXErrorUtil.h"

namespace wzmounts {
namespace {

struct Table {
    std::mutex lock;
    std::map<std::string, ShareEntry> byShare;
    std::vector<std::string> calls;
};

Table& table() {
    static Table t;
    return t;
}

std::string scanForm(const std::string& path) {
    std::string scan = path;
    std::replace(scan.begin(), scan.end(), '\\', '/');
    return scan;
}

// `path` is `prefix` or lies beneath it; `rest` is what follows the prefix ("" or starting with '/').
bool under(const std::string& prefix, const std::string& path, std::string* rest) {
    std::string base = prefix;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (base.empty() || path.compare(0, base.size(), base) != 0) {
        return false;
    }
    if (path.size() != base.size() && path[base.size()] != '/' && base.back() != '/') {
        return false;
    }
    *rest = path.substr(base.size());
    return true;
}

bool readFlags(const std::string& text, ShareEntry& entry) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t plus = text.find('+', start);
        const std::string flag = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (flag == "mounted") {
            entry.mountedByHost = true;
        } else if (flag == "unreachable") {
            entry.unreachable = true;
        } else if (flag == "busy") {
            entry.busy = true;
        } else {
            return false;
        }
        start = plus == std::string::npos ? text.size() : plus + 1;
    }
    return true;
}

// One share line of the settings file: prefix, directory, flags.
bool readEntry(const std::string& line, ShareEntry& entry) {
    const size_t first = line.find(',');
    const size_t second = first == std::string::npos ? std::string::npos : line.find(',', first + 1);
    if (second == std::string::npos || line.find(',', second + 1) != std::string::npos) {
        return false;
    }
    entry.share = scanForm(line.substr(0, first));
    entry.location = line.substr(first + 1, second - first - 1);
    return !entry.share.empty() && !entry.location.empty() && readFlags(line.substr(second + 1), entry);
}

// Every share known now: those in memory, then those of the settings file not named in memory.
std::vector<ShareEntry> knownShares() {
    std::vector<ShareEntry> shares;
    {
        Table& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        for (const auto& kv : t.byShare) {
            shares.push_back(kv.second);
        }
    }
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("AutoMount", "share")) {
        ShareEntry entry;
        if (readEntry(line, entry) && std::none_of(shares.begin(), shares.end(), [&](const ShareEntry& known) {
                return known.share == entry.share;
            })) {
            shares.push_back(entry);
        }
    }
    return shares;
}

}  // namespace

void addShare(const ShareEntry& entry) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    ShareEntry stored = entry;
    stored.share = scanForm(entry.share);
    t.byShare[stored.share] = stored;
}

void clearShares() {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.byShare.clear();
    t.calls.clear();
}

std::vector<std::string> shareCalls() {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.calls;
}

namespace {

void record(const std::string& call) {
    {
        Table& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        t.calls.push_back(call);
    }
    FCL_LOG(1, "Share auto-mount: %s", call.c_str());
    const wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* file = settings.document->find("AutoMount", "record");
    if (file != nullptr && !file->empty()) {
        std::ofstream(*file, std::ios::app) << call << "\n";
    }
}

// The share `path` names (the longest prefix); false when none does.
bool shareOf(const std::string& path, ShareEntry* found, std::string* rest) {
    const std::string scan = scanForm(path);
    bool any = false;
    for (const ShareEntry& entry : knownShares()) {
        std::string tail;
        if (under(entry.share, scan, &tail) && (!any || entry.share.size() > found->share.size())) {
            *found = entry;
            *rest = tail;
            any = true;
        }
    }
    return any;
}

}  // namespace
}  // namespace wzmounts

std::string FileShareAutoMount::getMountFolder() {
    return wzplatform::resultsDirectory() + "/automount";
}

CQiError FileShareAutoMount::convertMountToScanFormat(const std::string& destination, std::string& scanFormat) {
    wzmounts::ShareEntry entry;
    std::string rest;
    if (!wzmounts::shareOf(destination, &entry, &rest)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOTSUP, "[%s] names no share that can be mounted here",
                                       destination.c_str());
    }
    scanFormat = wzmounts::scanForm(destination);
    return CQiError::Success();
}

FileShareAutoMountManager::FileShareAutoMountManager(unsigned long, unsigned long, long long, const std::string&,
                                                     const std::string& options)
    : mountOptions_(options) {}

void FileShareAutoMountManager::SetAutoMountOptions(const std::string& options) {
    std::lock_guard<std::mutex> guard(lock_);
    mountOptions_ = options;
}

std::string FileShareAutoMountManager::GetAutoMountOptions() const {
    std::lock_guard<std::mutex> guard(lock_);
    return mountOptions_;
}

bool FileShareAutoMountManager::mountedHere(const wzmounts::ShareEntry& entry) const {
    auto held = mountsHeld_.find(entry.share);
    return held != mountsHeld_.end() && held->second > 0;
}

CQiError FileShareAutoMountManager::mountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE, const std::string& path) {
    wzmounts::ShareEntry entry;
    std::string rest;
    if (!wzmounts::shareOf(path, &entry, &rest)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] names no known share", path.c_str());
    }
    if (entry.unreachable) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EHOSTUNREACH, "share [%s] cannot be reached", entry.share.c_str());
    }
    if (entry.mountedByHost) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EBUSY, "share [%s] is mounted already", entry.share.c_str());
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (mountsHeld_[entry.share]++ == 0) {
        wzmounts::record("mount " + entry.share);
    }
    return CQiError::Success();
}

CQiError FileShareAutoMountManager::unmountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE, const std::string& path) {
    wzmounts::ShareEntry entry;
    std::string rest;
    if (!wzmounts::shareOf(path, &entry, &rest)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] names no known share", path.c_str());
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!mountedHere(entry)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EPERM, "share [%s] was not mounted by this job; it is left alone",
                                       entry.share.c_str());
    }
    if (mountsHeld_[entry.share] == 1) {
        if (entry.busy) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, EBUSY, "share [%s] is busy", entry.share.c_str());
        }
        wzmounts::record("unmount " + entry.share);
        mountsHeld_.erase(entry.share);
    } else {
        --mountsHeld_[entry.share];
    }
    return CQiError::Success();
}

CQiError FileShareAutoMountManager::getMountedShareFromPath(std::string& share, std::string& location,
                                                            const std::string& path) {
    wzmounts::ShareEntry entry;
    std::string rest;
    if (!wzmounts::shareOf(path, &entry, &rest)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] names no known share", path.c_str());
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!entry.mountedByHost && !mountedHere(entry)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "share [%s] is not mounted", entry.share.c_str());
    }
    share = entry.share;
    location = entry.location;
    return CQiError::Success();
}

CQiError FileShareAutoMountManager::translatePath(std::string& out, const std::string& in) {
    std::string share;
    std::string location;
    CQiError error = getMountedShareFromPath(share, location, in);
    if (error.IsError()) {
        return error;
    }
    std::string rest;
    wzmounts::under(share, wzmounts::scanForm(in), &rest);
    out = location + rest;
    return CQiError::Success();
}

CQiError FileShareAutoMountManager::unTranslatePath(std::string& source, const std::string& mounted) {
    std::lock_guard<std::mutex> guard(lock_);
    const wzmounts::ShareEntry* best = nullptr;
    std::string bestRest;
    const std::vector<wzmounts::ShareEntry> shares = wzmounts::knownShares();
    for (const wzmounts::ShareEntry& entry : shares) {
        std::string rest;
        if ((entry.mountedByHost || mountedHere(entry)) && wzmounts::under(entry.location, mounted, &rest) &&
            (best == nullptr || entry.location.size() > best->location.size())) {
            best = &entry;
            bestRest = rest;
        }
    }
    if (best == nullptr) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] lies under no mounted share", mounted.c_str());
    }
    source = best->share + bestRest;
    return CQiError::Success();
}
