#include "platform/sync/SyncRestoreSetup.h"

#include <memory>
#include <mutex>

#include "platform/settings/WZPlatformInfo.h"

namespace wzsync {

namespace {

const char kSection[] = "SyncRestore";
const char kPairSeparator[] = "=>";

std::mutex& setupMutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<SyncRestoreSetup>& testSetup() {
    static std::unique_ptr<SyncRestoreSetup> setup;
    return setup;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

SyncRestoreSetup fromSettings() {
    SyncRestoreSetup setup;
    WZPlatformInfo info;
    bool on = false;
    if (info.getBoolean(kSection, "bInitFails", &on) && on) {
        setup.initResult = -1;
        return setup;
    }
    on = false;
    setup.initResult = info.getBoolean(kSection, "bSyncRestore", &on) && on ? 0 : 1;
    on = false;
    setup.preserveModifiedFiles = info.getBoolean(kSection, "bPreserveModifiedFiles", &on) && on;
    unsigned long seconds = 0;
    if (info.getNumber(kSection, "nLastSyncBackupTime", &seconds)) {
        setup.lastSyncBackupTime = static_cast<long long>(seconds);
    }
    std::string pairs;
    // Repeated keys: the settings reader keeps the last one only, so the pairs are read line by line here.
    for (int i = 0;; ++i) {
        const std::string key = i == 0 ? std::string("sMappedPair") : "sMappedPair" + std::to_string(i);
        std::string text;
        if (!info.getString(kSection, key.c_str(), &text)) {
            break;
        }
        const size_t at = text.find(kPairSeparator);
        if (at != std::string::npos) {
            setup.mappedPairs.push_back(
                SrcDestMap{trimmed(text.substr(0, at)), trimmed(text.substr(at + sizeof kPairSeparator - 1))});
        }
    }
    return setup;
}

}  // namespace

void setSyncRestoreSetup(const SyncRestoreSetup& setup) {
    std::lock_guard<std::mutex> hold(setupMutex());
    testSetup().reset(new SyncRestoreSetup(setup));
}

void clearSyncRestoreSetup() {
    std::lock_guard<std::mutex> hold(setupMutex());
    testSetup().reset();
}

SyncRestoreSetup currentSyncRestoreSetup() {
    {
        std::lock_guard<std::mutex> hold(setupMutex());
        if (testSetup()) {
            return *testSetup();
        }
    }
    return fromSettings();
}

}  // namespace wzsync

std::string SXSyncMisc::syncSubClientMutexName(int index) {
    return "SyncScanSubClient_" + std::to_string(index);
}

int CSyncRestorePathMapper::InitSyncRestore() {
    const wzsync::SyncRestoreSetup setup = wzsync::currentSyncRestoreSetup();
    if (setup.initResult != 0) {
        return setup.initResult;
    }
    m_preserveModifiedFiles = setup.preserveModifiedFiles;
    m_lastSyncBackupTime = setup.lastSyncBackupTime;
    m_mappedPaths = setup.mappedPairs;
    return 0;
}
