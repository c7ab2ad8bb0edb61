// Dispatch of the queued messages by code, with the error-report accounting and the archive-close handshake.
#include <array>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/stream/ReadErrors.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"

namespace {

constexpr unsigned long kFirstCode = FSR_MSG_OPEN_ARCHIVE;
constexpr unsigned long kLastCode = FSR_MSG_SEEK_TO_OFFSET_10_V2;
constexpr size_t kPlaces = kLastCode - kFirstCode + 1;

using Handler = bool (*)(FclRestore& job, wzsDatabuf_v2* data);

struct Route {
    unsigned long code = 0;
    int level = 0;
    const char* line = nullptr;  // logged before the call; none when null
    bool needsRecord = false;
    Handler handler = nullptr;  // null: the code is known and nothing is done
};

template <typename Record>
Record* record(wzsDatabuf_v2* data) {
    return reinterpret_cast<Record*>(data->getDataBuffer());
}

template <typename Record, bool (FclRestore::*Method)(Record*)>
bool withRecord(FclRestore& job, wzsDatabuf_v2* data) {
    return (job.*Method)(record<Record>(data));
}

template <bool (FclRestore::*Method)()>
bool withoutRecord(FclRestore& job, wzsDatabuf_v2*) {
    return (job.*Method)();
}

bool restoreEnd(FclRestore& job, wzsDatabuf_v2*) {
    if (job._archive != nullptr) {
        job._archive->SendRestorePerfCounters(true);
    }
    return job.OnMsgRestoreEnd();
}

bool readAll(FclRestore& job, wzsDatabuf_v2*) {
    return job.sendMsgToRestoreHead(FSR_MSG_READ_ALL) != 0;
}

bool imageRestoreEnd(FclRestore& job, wzsDatabuf_v2*) {
    job.OnMsgImgRestoreEnd();
    return job.sendMsgToFIR(FSR_MSG_IMG_RESTORE_END) != 0;
}

bool openChunk(FclRestore& job, wzsDatabuf_v2* data) {
    FSROpenChunk* chunk = record<FSROpenChunk>(data);
    // The tail is forwarded as it stands: its length must lie within what arrived.
    if (data->getValidLen() < sizeof(FSROpenChunk) || chunk->tailLength > data->getValidLen() - sizeof(FSROpenChunk)) {
        FCL_ERROR("FSR_MSG_OPEN_CHUNK refused: a tail of %u bytes in a record of %lu bytes", chunk->tailLength,
                  data->getValidLen());
        return false;
    }
    return job.OnMsgOpenChunk(chunk);
}

bool jobStart(FclRestore& job, wzsDatabuf_v2* data) {
    return job.OnMsgJobStart(data);
}

bool jobEnd(FclRestore& job, wzsDatabuf_v2* data) {
    return job.OnMsgJobEnd(data);
}

bool seekToOffset10V2(FclRestore& job, wzsDatabuf_v2* data) {
    FSRSeekArchiveArray_10_V2* seeks = record<FSRSeekArchiveArray_10_V2>(data);
    FCL_LOG(5, "Processing new seek buffer with [%d] elements", static_cast<int>(seeks->count));
    return job.OnMsgSeekToOffset10V2(seeks);
}

constexpr Route route(unsigned long code, int level, const char* line, bool needsRecord, Handler handler) {
    return Route{code, level, line, needsRecord, handler};
}

const Route kRoutes[] = {
    route(FSR_MSG_OPEN_ARCHIVE, 2, "Processing FSR_MSG_OPEN_ARCHIVE", true,
          withRecord<FSROpenArchive, &FclRestore::OnMsgOpenArchive>),
    route(FSR_MSG_CLOSE_ARCHIVE, 2, "Processing FSR_MSG_CLOSE_ARCHIVE", false,
          withoutRecord<&FclRestore::OnMsgCloseArchive>),
    route(FSR_MSG_RESTORE_END, 2, "Processing FSR_MSG_RESTORE_END", false, restoreEnd),
    route(FSR_MSG_RESTART_INFO, 2, "Processing FSR_MSG_RESTART_INFO", false,
          withoutRecord<&FclRestore::OnMsgRestartInfo>),
    route(FSR_MSG_READ_ALL, 2, "Processing FSR_MSG_READ_ALL", false, readAll),
    route(FSR_MSG_SRC_PATH, 2, "Processing FSR_MSG_SRC_PATH", true, withRecord<FSRSrcPath, &FclRestore::OnMsgSrcPath>),
    route(FSR_MSG_SET_PARAMS, 2, "Processing FSR_MSG_SET_PARAMS", true,
          withRecord<FSRSetParams, &FclRestore::OnMsgSetParams>),
    route(FSR_MSG_STOP, 0, nullptr, false, nullptr),
    route(FSR_MSG_DEST_PATH, 2, "Processing FSR_MSG_DEST_PATH", true,
          withRecord<FSRDestPath, &FclRestore::OnMsgDestPath>),
    route(FSR_MSG_ARCHIVE_ID, 0, nullptr, true, withRecord<FSRArchiveId, &FclRestore::OnMsgArchiveId>),
    route(FSR_MSG_IMG_WIN_STREAMS_ARRAY, 0, "Processing message FSR_MSG_IMG_WIN_STREAMS_ARRAY", true,
          withRecord<FSRImgWinStreamsArray, &FclRestore::OnMsgImgWinStreamsArray>),
    route(FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY, 0, "Processing message FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY",
          false, withoutRecord<&FclRestore::OnMsgProcessImgAfileOffsetsArray>),
    route(FSR_MSG_END_IMG_AFILE_OFFSETS_ARRAY, 0, "Processing message FSR_MSG_END_IMG_AFILE_OFFSETS_ARRAY", false,
          withoutRecord<&FclRestore::OnMsgEndImgAfileOffsetsArray>),
    route(FSR_MSG_IMG_TIMES_ARRAY, 0, "Processing message FSR_MSG_IMG_TIMES_ARRAY", true,
          withRecord<FSRImgTimesArray, &FclRestore::OnMsgImgTimesArray>),
    route(FSR_MSG_IMG_INIT_INFO, 0, "Processing message FSR_MSG_IMG_INIT_INFO", true,
          withRecord<FSRImgInit, &FclRestore::OnMsgImgInit>),
    route(FSR_MSG_IMG_RESTORE_END, 0, "Processing message FSR_MSG_IMG_RESTORE_END", false, imageRestoreEnd),
    route(FSR_MSG_OPEN_CHUNK, 2, "Processing FSR_MSG_OPEN_CHUNK", true, openChunk),
    route(FSR_MSG_ARCHFILES_ENDING_IN_CHUNK, 2, "Processing FSR_MSG_ARCHFILES_ENDING_IN_CHUNK", true,
          withRecord<FSRArchFileIdArray, &FclRestore::OnMsgArchFilesEndingInChunk>),
    route(FSR_GET_META_DATA_FOLDER, 2, "Processing FSR_GET_META_DATA_FOLDER", true,
          withRecord<FSRMetaDataFolder, &FclRestore::OnMsgGetMetaDataFolder>),
    route(FSR_JOB_START, 2, "Processing FSR_JOB_START", false, jobStart),
    route(FSR_JOB_END, 2, "Processing FSR_JOB_END", false, jobEnd),
    route(FSR_MSG_PRE_OPEN_ARCHIVE, 0, nullptr, true, withRecord<FSRPreOpenArchive, &FclRestore::OnMsgPreOpenArchive>),
    route(FSR_MSG_SNAP_SRC_PATH, 0, nullptr, true, withRecord<FSRSnapSrcPath, &FclRestore::OnMsgSnapSrc>),
    route(FSR_MSG_SNAP_SRC_PATH_ARRAY, 0, nullptr, true,
          withRecord<FSRSnapSrcPathArray, &FclRestore::OnMsgSnapSrcArray>),
    route(FSR_MSG_RESTORE_VSRESTORE_END, 2, "Processing FSR_MSG_RESTORE_VSRESTORE_END", true,
          withRecord<FSRVirtualServerRestoreEnd, &FclRestore::OnMsgVSRestoreEnd>),
    route(FSR_MSG_RESTORE_VSRESTOREINFO2, 2, "Processing FSR_MSG_RESTORE_VSRESTOREINFO2", true,
          withRecord<FSRVirtualServerRestoreInfo, &FclRestore::OnMsgVSRestoreInfo>),
    route(FSR_MSG_IMG_AFILE_OFFSETS_ARRAY, 0, "Processing message FSR_MSG_IMG_AFILE_OFFSETS_ARRAY", true,
          withRecord<FSRImgAfileOffsetsArray, &FclRestore::OnMsgImgAfileOffsetsArray>),
    route(FSR_MSG_NAS_SEEK_ARCHIVE, 0, nullptr, true,
          withRecord<FSRNasSeekArchiveArray, &FclRestore::OnMsgNasSeekArchive>),
    route(FSR_MSG_SEEK_TO_OFFSET, 0, nullptr, true, withRecord<FSRSeekArchiveArray, &FclRestore::OnMsgSeekToOffset>),
    route(FSR_MSG_INIT_DATA_VER2, 2, "Processing FSR_MSG_INIT_DATA_VER2", true,
          withRecord<FSRInitDataVer2, &FclRestore::OnMsgInitDataVer2>),
    route(FSR_MSG_SEEK_TO_OFFSET_10, 0, nullptr, true,
          withRecord<FSRSeekArchiveArray_10, &FclRestore::OnMsgSeekToOffset10>),
    route(FSR_MSG_START_VM_REPLICATION, 2, "Processing FSR_MSG_START_VM_REPLICATION", false,
          withoutRecord<&FclRestore::OnMsgStartVMReplication>),
    route(FSR_MSG_DISTRIBUTED_TASKID, 2, "Processing FSR_MSG_DISTRIBUTED_TASKID", true,
          withRecord<int, &FclRestore::OnMsgDistributedTaskId>),
    route(FSR_MSG_SEEK_TO_OFFSET_10_V2, 0, nullptr, true, seekToOffset10V2),
};

// One place per code from the first dispatched code to the last; a place without a code is unrecognised.
const std::array<Route, kPlaces>& routes() {
    static const std::array<Route, kPlaces> table = [] {
        std::array<Route, kPlaces> places{};
        for (const Route& r : kRoutes) {
            places[r.code - kFirstCode] = r;
        }
        return places;
    }();
    return table;
}

void answerErrorReport(FclRestore& job, FclRestoreMsg* msg) {
    FCL_LOG(0, "Processing FSR_MSG_ERROR_REPORT_7_0");
    const FSRErrorReport* report =
        msg->payload != nullptr ? reinterpret_cast<const FSRErrorReport*>(msg->payload->getDataBuffer()) : nullptr;
    // The name comes from the wire; an answer without one still counts off its report. An item whose own end
    // already recorded the read error is not recorded a second time.
    const char* name = report != nullptr && report->name != nullptr ? report->name : "";
    if (fclstream::takeItemFailedByReadError(job, name)) {
        FCL_LOG(0, "[%s] was recorded as failed by the read error already", name);
    } else {
        job.HandleRestoreFileUpdate(name, static_cast<int>(fclitem::kReadError), nullptr, "");
    }
    job._pendingErrorReports--;
    job._errorReportDeadline = job._clock() + fclstream::kErrorReportAnswerSecs;
    const int outstanding = job._pendingErrorReports;
    FCL_LOG(0, "Will wait all (%d) reply for FSR_MSG_ERROR_REPORT_7_0.", outstanding);
    if (outstanding == 0 && job._waitArchiveClosedPending != 0) {
        job.sendMsgToFIR(FSR_MSG_WAIT_ARCHIVE_CLOSED);
        job._waitArchiveClosedPending = 0;
    }
}

void waitArchiveClosed(FclRestore& job) {
    FCL_LOG(0, "Processing FSR_MSG_WAIT_ARCHIVE_CLOSED");
    const int outstanding = job._pendingErrorReports;
    if (outstanding <= 0) {
        job.sendMsgToFIR(FSR_MSG_WAIT_ARCHIVE_CLOSED);
        job._waitArchiveClosedPending = 0;
        return;
    }
    FCL_LOG(0, "Will wait all (%d) reply for FSR_MSG_ERROR_REPORT_7_0.", outstanding);
    job._waitArchiveClosedPending = 1;
}

}  // namespace

void FclRestore::dispatchMessage(FclRestoreMsg* msg, bool handled) {
    switch (msg->code) {
        case FSR_MSG_OPEN_ARCHIVE:
        case FSR_MSG_PRE_OPEN_ARCHIVE:
            if (handled) {
                sendMsgToFIR(FSR_MSG_SUCCESS);
            }
            break;
        case FSR_MSG_ERROR_REPORT_7_0:
            answerErrorReport(*this, msg);
            handled = true;
            break;
        case FSR_MSG_WAIT_ARCHIVE_CLOSED:
            waitArchiveClosed(*this);
            handled = true;
            break;
        default:
            break;
    }
    if (handled) {
        return;
    }
    const Route* r = msg->code >= kFirstCode && msg->code <= kLastCode ? &routes()[msg->code - kFirstCode] : nullptr;
    if (r == nullptr || r->code == 0) {
        *_event << msg->code;
        _event->MajorEvent(0x1700000e, 0, 0);
        FCL_LOG(2, "Unrecognized message [%lx][%s] from WZRestoreFiles object", msg->code, WZS_PRIM_STRING(msg->code));
        return;
    }
    if (r->line != nullptr) {
        FCL_LOG(r->level, "%s", r->line);
    }
    if (r->handler == nullptr) {
        return;
    }
    if (r->needsRecord && (msg->payload == nullptr || msg->payload->getDataBuffer() == nullptr)) {
        FCL_ERROR("%s arrived without its record: not handled", WZS_PRIM_STRING(msg->code));
        return;
    }
    r->handler(*this, msg->payload);
}
