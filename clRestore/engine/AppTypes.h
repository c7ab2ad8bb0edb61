#pragma once
// Sets of application types that the job's life treats alike. The Unix file-system set is the platform's
// isUnixFileSystemAppType; single types are named in protocol/ApplicationTypes.h.
#include "platform/apps/ApplicationTypes.h"
#include "protocol/ApplicationTypes.h"

namespace fclapps {

// The database types of the results, the restore end and finalize.
inline bool isDatabaseAppType(unsigned long appType) {
    switch (appType) {
        case 5:
        case 0x16:
        case 0x25:
        case 0x3d:
        case 0x3e:
        case 0x50:
        case 0x67:
        case 0x87:
            return true;
        default:
            return false;
    }
}

// The database types of start-up: the set above, MySQL, and Greenplum jobs of the shared type.
inline bool isStartUpDatabaseAppType(unsigned long appType, int greenplumMode) {
    return isDatabaseAppType(appType) || appType == kMySqlAppType || (appType == 0x40 && greenplumMode != 0);
}

}  // namespace fclapps
