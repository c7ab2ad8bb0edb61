// Whether the Lustre copy tool is enabled: the setting is read once per job.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/ServiceObjects.h"
#include "platform/settings/WZPlatformInfo.h"

namespace fclservices {

bool isLustreCopyToolEnabled(FclRestoreUNIX& unix) {
    if (unix._lustreCopyToolState == -1) {
        unsigned long value = 0;
        WZPlatformInfo().getNumber("FileSystemAgent", "bEnableLustreCopyTool", &value);
        unix._lustreCopyToolState = value == 1 ? 1 : 0;
    }
    return unix._lustreCopyToolState == 1;
}

}  // namespace fclservices

bool FclRestore::IsLustreCopyToolEnabled() {
    return _fclRestoreUnix != nullptr && fclservices::isLustreCopyToolEnabled(*_fclRestoreUnix);
}
