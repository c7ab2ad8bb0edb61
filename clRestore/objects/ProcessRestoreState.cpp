#include "clRestore/objects/ProcessRestoreState.h"

#include <mutex>
#include <string>
#include <unordered_set>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/AccessLists.h"
#include "clRestore/objects/FsRestoreUnixObject.h"

void resetProcessRestoreState() {
    FsRestoreUnixObject::_minHoleSize = FsRestoreUnixObject::kDefaultMinHoleSize;
    FsRestoreUnixObject::_createHoles = 0;
    // The next object reads the sticky-bit setting again: it may have changed between jobs.
    FsRestoreUnixObject::_preventStickyBeforeWrite = false;
    FsRestoreUnixObject::_firstTime = 1;
    giBlockSize = kDefaultBlockSize;
    g_holeSettingsRead = false;
    lastOffset = 0;

    fileRange = fileRange_t();
    fileRangeMap.clear();
    g_dirMap.clear();
    g_preserveOwnership = false;
    g_setACL = false;
    MinSrcPathSize = 0;

    clearHardLinkInodeTable();
    resetPostOpenSettings();
    fclobjects::forgetRestoredLinks();
    fclobjects::resetAclOnceFlags();
}

namespace fclobjects {
namespace {

std::mutex g_linksLock;
std::unordered_set<std::string> g_restoredLinks;

// The path with repeated and trailing slashes dropped, so that one place has one spelling.
std::string canonical(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c != '/' || out.empty() || out.back() != '/') {
            out += c;
        }
    }
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

}  // namespace

void forgetRestoredLinks() {
    std::lock_guard<std::mutex> lock(g_linksLock);
    g_restoredLinks.clear();
}

void noteRestoredLink(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_linksLock);
    g_restoredLinks.insert(canonical(path));
}

bool beneathRestoredLink(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_linksLock);
    if (g_restoredLinks.empty()) {
        return false;
    }
    const std::string name = canonical(path);
    for (size_t slash = name.find('/', 1); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        if (g_restoredLinks.count(name.substr(0, slash)) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace fclobjects
