// Snap source paths: forwarded to the restore head like seeks, under the same open-archive and restart rules.
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/SeekSteps.h"
#include "platform/log/LogWriter.h"

bool FclRestore::OnMsgSnapSrc(FSRSnapSrcPath* rec) {
    const unsigned long appType = getAppType();
    if (appType == fclapps::kMySqlAppType) {
        if (fetchMySqlIndexMetadataOnce(true) != 0) {
            FCL_LOG(0, "FetchMySqlIndexMetadata failed.i Fatal error");
            terminateOnFatalError();
            return false;
        }
        if (m_ignoreMsgsForRevert) {
            return true;
        }
    } else if (appType == fclapps::kPostgresAppType && m_ignoreMsgsForRevert) {
        return true;
    }
    rec->reserved1 = 1;
    const fclseek::Admission admission =
        fclseek::admitPositions(*this, 1,
                                "OnMsgSnapSrc: Failing the restore as the option to Fail on Failure is selected and "
                                "archive file is not opened as expected.",
                                "Ignoring Snap source path message because no archive file is open");
    if (admission != fclseek::Admission::kForward) {
        return admission == fclseek::Admission::kNoArchive;
    }
    const char* path = rec->path;
    if (path == nullptr || path[0] != '\\') {
        fclseek::forwardToRestoreHead(*this, FSR_MSG_SNAP_SRC_PATH, rec, sizeof *rec);
        return true;
    }
    // A path given as "\\x" or "\x" goes as "x".
    FSRSnapSrcPath copy = *rec;
    std::string stripped(path + (path[1] == '\\' ? 2 : 1));
    copy.path = &stripped[0];
    fclseek::forwardToRestoreHead(*this, FSR_MSG_SNAP_SRC_PATH, &copy, sizeof copy);
    return true;
}

bool FclRestore::OnMsgSnapSrcArray(FSRSnapSrcPathArray* rec) {
    const fclseek::Admission admission = fclseek::admitPositions(
        *this, rec->count, fclseek::kNotOpenedFailLine, "Ignoring Snap Src messages because no archive file is open");
    if (admission != fclseek::Admission::kForward) {
        return admission == fclseek::Admission::kNoArchive;
    }
    fclseek::forwardToRestoreHead(*this, FSR_MSG_SNAP_SRC_PATH_ARRAY, rec, sizeof *rec);
    return true;
}
