// The message handlers that do little or nothing.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"

bool FclRestore::OnMsgArchiveId(FSRArchiveId*) {
    return true;
}

bool FclRestore::OnMsgNasSeekArchive(FSRNasSeekArchiveArray*) {
    return true;
}

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

bool FclRestore::OnMsgArchFilesEndingInChunk(FSRArchFileIdArray*) {
    FCL_LOG(0, "Error: We shouldn't be in this method");
    return false;
}

bool FclRestore::OnMsgJobStart(wzsDatabuf_v2*) {
    if (getAppType() != 0x68) {
        FCL_LOG(0, "nothing to be done here.");
    }
    return true;
}

bool FclRestore::OnMsgJobEnd(wzsDatabuf_v2*) {
    if (getAppType() != 0x68) {
        FCL_LOG(0, "nothing to be done here.");
    }
    return true;
}

bool FclRestore::OnMsgOpenChunk(FSROpenChunk* rec) {
    if (_archiveOpen == 0) {
        FCL_LOG(0, "recd the open chunk message and the arch file is not open yet.");
    }
    _currentChunkId = rec->chunkId;
    FCL_LOG(0, "FYI the current chunk being restored id %lld", static_cast<long long>(_currentChunkId));
    wzsDatabuf payload;
    payload.len = sizeof(FSROpenChunk) + rec->tailLength;
    payload.buf = reinterpret_cast<char*>(rec);
    sendMsgToRestoreHead(FSR_MSG_OPEN_CHUNK, &payload);
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
