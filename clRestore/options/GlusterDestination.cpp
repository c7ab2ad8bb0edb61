// Whether the job's destination directory lies on a GlusterFS mount, decided from the host's mount table as it is
// when each set of job parameters arrives.
#include <list>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/support/FXPath.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FXFolder.h"

void FclRestoreUNIX::CheckIfDestinationIsGluster(const std::string& destPath) {
    std::list<WzMntTab::Entry> mounts;
    FXFolder::getLogicalVolumeList(mounts, nullptr);
    mounts.sort(SortMntListInDescending());
    for (const WzMntTab::Entry& mount : mounts) {
        if (mount.fsType == "fuse.glusterfs" && FXPath::IsAncestorOf(mount.mountDir, destPath, true)) {
            _destinationGluster = true;
            FCL_LOG(0, "Destination path [%s] is glusterfs", destPath.c_str());
            return;
        }
    }
}
