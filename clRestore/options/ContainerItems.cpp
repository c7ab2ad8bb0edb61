// The companion's way into the container-file table: the host fills it, the extent-based result hook asks it.
// The table locks for itself; these wrappers take no further lock and turn its errors into log lines and answers.
#include <cerrno>
#include <cstring>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/CXFileHeader.h"

CQiError FclRestoreUNIX::AddContainerItem(CXFileHeader* header, const std::string& mapped) {
    // The header comes from the caller: its name is read no further than its field.
    const std::string name(header->h_filename, strnlen(header->h_filename, sizeof header->h_filename));
    CContainerConfig record(name, mapped, static_cast<unsigned int>(header->h_ctime),
                            static_cast<unsigned int>(header->h_atime), static_cast<unsigned int>(header->h_mtime), 0,
                            0, static_cast<unsigned long long>(header->h_size));
    return _containerTable.Insert(record);
}

CQiError FclRestoreUNIX::AddContainerItem(const CContainerConfig& record) {
    return _containerTable.Insert(record);
}

CQiError FclRestoreUNIX::UpdateContainerItemWithIdxMeta(const std::string& path, unsigned long long totalExtents,
                                                        unsigned long long extentSize) {
    FCL_LOG(2, "Updating IdxMeta Extent#=%llu ExtentSize=%llu for item=%s", totalExtents, extentSize, path.c_str());
    CQiError error = _containerTable.UpdateContainerItemWithIdxMeta(path, totalExtents, extentSize);
    if (error.IsError()) {
        error.Push(FX_HERE);
    }
    return error;
}

bool FclRestoreUNIX::ShouldRestoreCurrFileExtent(const std::string& path) {
    bool restore = false;
    CQiError error = _containerTable.ShouldRestoreCurrFileExtent(path, restore);
    if (error.IsError()) {
        FCL_ERROR("Error=%s checking if extent=%s to be restored", error.AsString().c_str(), path.c_str());
        return false;
    }
    return restore;
}

bool FclRestoreUNIX::GetMappedPathForHdrPath(const std::string& path, std::string& out) {
    CQiError error = _containerTable.GetMappedPathForHdrPath(path, out);
    if (error.IsError() || out.empty()) {
        FCL_ERROR("Error=%s fetching mapped path for file=%s", error.AsString().c_str(), path.c_str());
        return false;
    }
    return true;
}

bool FclRestoreUNIX::AreAllExtentsRestoredForContainerFile(const std::string& path) {
    bool result = false;
    CQiError error = _containerTable.AreAllExtentsRestoredForContainerFile(path, result);
    if (error.IsError()) {
        FCL_ERROR("Error=%s validating extents for file=%s", error.AsString().c_str(), path.c_str());
        return false;
    }
    return result;
}

bool FclRestoreUNIX::HandleRestoreExtentUpdate(const std::string& path, int rc) {
    CQiError error = _containerTable.HandleRestoreExtentUpdate(path, rc);
    if (error.IsError()) {
        FCL_ERROR("Error=%s handling extent=%s restore update", error.AsString().c_str(), path.c_str());
        return false;
    }
    return true;
}

bool FclRestoreUNIX::HandleRestoreContainerUpdate(const std::string& path, int rc) {
    CQiError error = _containerTable.HandleRestoreContainerUpdate(path, rc);
    if (error.IsError() && FXErrorUtil::GetCode(error) != ENOENT) {
        FCL_ERROR("Error=%s handling container=%s restore update", error.AsString().c_str(), path.c_str());
        return false;
    }
    return true;
}

bool FclRestoreUNIX::GetContainerFileSizeForExtentPath(const std::string& path, unsigned long long& size) {
    CQiError error = _containerTable.GetContainerFileSizeForExtentPath(path, size);
    if (error.IsError()) {
        FCL_ERROR("Error=%s handling container=%s restore update", error.AsString().c_str(), path.c_str());
        return false;
    }
    return true;
}

bool FclRestoreUNIX::GetProcessedExtentsForExtentPath(const std::string& path, unsigned long long& processed,
                                                      bool& anyFailed) {
    CQiError error = _containerTable.GetProcessedExtentsForExtentPath(path, processed, anyFailed);
    if (error.IsError()) {
        FCL_ERROR("Error=%s handling container=%s restore update", error.AsString().c_str(), path.c_str());
        return false;
    }
    return true;
}

CQiError FclRestoreUNIX::RemoveContainerFileEntry(const std::string& path) {
    CQiError error = _containerTable.Delete(path);
    if (error.IsError()) {
        error.Push(FX_HERE);
    }
    return error;
}
