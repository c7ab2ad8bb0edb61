// Photo-library restores. The images of a photo library arrive under a virtual smart-content folder; the pre-header
// gives each image its link name, and the image is restored under the destination by that name, numbered
// ("IMG (1).JPG") when the name is taken. A further name of the same image is a copy of it under the next free name.
//
// The link name comes from the stream: it is joined under the destination only when it holds no ".." component, and
// every name built from it must lie beneath the destination. Without a destination directory nothing is joined, so
// an image never lands at an absolute path of its own.
#include <cerrno>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/PathSafety.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

namespace {

const int kErrorNotSet = 1627;
const char kSmartContentPrefix[] = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent";
const char kPhotoPart[] = "%Photo%";
// The part of a smart-content path that marks a photo item, counted from 1 among its non-empty parts.
const size_t kPhotoPartNumber = 2;
// A photo item with at least this many non-empty parts (the photo part included) lies deep in the smart content.
const size_t kSmartContentDepth = 5;

bool exists(const std::string& path) {
    return access_utf(path.c_str(), F_OK) == 0;
}

std::string joined(const std::string& dir, const std::string& part) {
    std::string path = dir;
    FXPath::Append(path, part, 0);
    return path;
}

}  // namespace

CQiError FclRestore::TranslateIphotoPath(std::string& out, const std::string& fromPath, const std::string& destDir) {
    if (_fclRestoreUnix == nullptr) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorNotSet, "m_internal not set");
    }
    const std::string& linkName = _fclRestoreUnix->IphotoCurrentLinkName;
    FCL_LOG(7, "%s", linkName.c_str());
    if (linkName.empty()) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorNotSet, "IphotoCurrentLinkName not set");
    }
    std::string relative = linkName;
    if (!normaliseItemPath(relative)) {
        FCL_ERROR("Photo-library name [%s] climbs with \"..\"; the image is not restored", linkName.c_str());
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "photo-library name [%s] climbs with \"..\"", linkName.c_str());
    }
    std::string root = destDir;
    normaliseItemPath(root);
    if (root.empty()) {
        FCL_ERROR("No destination directory to put photo-library image [%s] under", linkName.c_str());
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "no destination directory for photo-library name [%s]",
                                       linkName.c_str());
    }

    std::string candidate = joined(root, relative);
    std::string parent;
    std::string name;
    CQiError error = FXPath::SplitParentPath(relative, parent, name);
    if (error.IsError()) {
        return error.Push(FX_HERE);
    }
    std::string extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        extension = name.substr(dot);
        name.erase(dot);
    }
    FCL_LOG(7, " strFromPath %s, strParentOfSrc %s, strNameOfSrc %s, Ext %s", fromPath.c_str(), parent.c_str(),
            name.c_str(), extension.c_str());
    const std::string numberedDir = joined(root, parent);
    for (int n = 1; exists(candidate); ++n) {
        std::string numbered;
        FXString::Format(numbered, "%s (%d)%s", name.c_str(), n, extension.c_str());
        candidate = joined(numberedDir, numbered);
    }
    // The name alone can no longer climb; this also holds a destination that is the root itself.
    if (!FXPath::IsAncestorOf(root, candidate, false)) {
        FCL_ERROR("Photo-library image [%s] would land at [%s], outside [%s]; it is not restored", linkName.c_str(),
                  candidate.c_str(), root.c_str());
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "photo-library name [%s] leaves the destination",
                                       linkName.c_str());
    }
    FCL_LOG(7, "File doesnot exist on Disk %s", candidate.c_str());
    out = candidate;
    return CQiError::Success();
}

bool FclRestoreUNIX::IsIphotoSmartContent(const std::string& path, std::string& out, bool& smartContent) {
    const size_t prefixLength = sizeof kSmartContentPrefix - 1;
    if (path.empty() || path.compare(0, prefixLength, kSmartContentPrefix) != 0) {
        return false;
    }
    smartContent = false;
    std::vector<std::string> parts;
    FXString::Split(path.substr(prefixLength), "/", parts, 0);
    bool photo = false;
    std::string result;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 == kPhotoPartNumber && parts[i] == kPhotoPart) {
            photo = true;
            continue;
        }
        result += "/" + parts[i];
    }
    if (photo) {
        out = result;
        smartContent = parts.size() >= kSmartContentDepth;
    }
    return photo;
}
