// The messages about the job as a whole that the engine notes or answers without restoring anything: the restart
// information, the destination path, the job's start and end, the metadata folder, the distributed task id and the
// virtual-server restore's information, end and replication start.
#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"

bool FclRestore::OnMsgRestartInfo() {
    return true;
}

bool FclRestore::OnMsgVSRestoreEnd(FSRVirtualServerRestoreEnd*) {
    return true;
}

bool FclRestore::OnMsgStartVMReplication() {
    return true;
}

bool FclRestore::OnMsgVSRestoreInfo(FSRVirtualServerRestoreInfo*) {
    sendMsgToFIR(FSR_MSG_SUCCESS);
    return true;
}

bool FclRestore::OnMsgDestPath(FSRDestPath*) {
    FCL_LOG(0, "Receiving FSR_MSG_DEST_PATH which is not processed.");
    return true;
}

bool FclRestore::OnMsgJobStart(wzsDatabuf_v2*) {
    if (getAppType() != fclapps::kMySqlAppType) {
        FCL_LOG(0, "nothing to be done here.");
    }
    return true;
}

bool FclRestore::OnMsgJobEnd(wzsDatabuf_v2*) {
    if (getAppType() != fclapps::kMySqlAppType) {
        FCL_LOG(0, "nothing to be done here.");
    }
    return true;
}

bool FclRestore::OnMsgGetMetaDataFolder(FSRMetaDataFolder* rec) {
    FSRMetaDataFolder answer;
    answer.requestWord0 = rec->requestWord0;
    answer.requestWord1 = rec->requestWord1;
    char empty[] = "";
    answer.folderPath = empty;
    wzsDatabuf payload;
    payload.len = sizeof answer;
    payload.buf = reinterpret_cast<char*>(&answer);
    return sendMsgToFIR(FSR_MSG_META_DATA_FOLDER, &payload) != 0;
}

bool FclRestore::OnMsgDistributedTaskId(int* taskId) {
    if (taskId == nullptr) {
        return false;
    }
    _fclRestoreUnix->SetMultiNodeTaskId(*taskId);
    return true;
}
