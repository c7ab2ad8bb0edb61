// The pipeline reader's dispatch of one buffer by its type.
#include <cstdio>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/ReaderSteps.h"
#include "clRestore/support/PerfCounterTable.h"
#include "protocol/PipelineBuffer.h"
#include "platform/log/LogWriter.h"

namespace fclreader {
namespace {

const char kLabel[] = "FclRestore::readPipeline";

// Runs `call` inside the counter `counter`, which is stopped with no bytes.
template <typename Call>
void timed(FclRestore& job, int counter, Call&& call) {
    job._perfCounter.StartPerfCounter(kLabel, counter);
    call();
    job._perfCounter.StopPerfCounter(kLabel, counter, 0);
}

void fileHeader(FclRestore& job, ReaderRecords& records, void* buf) {
    FCL_LOG(5, "Received PL_FS_HDR buffer");
    timed(job, kPerfOpenFile, [&] { job.OnBufferPlFsHdr(buf, &records.hdr, &records.prehdr); });
    char text[1025];
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "ITERRATION %ld in finalize ", records.iteration++);
    job._perfCounter.ResetPerfCounters(text, records.hdr.h_filename, static_cast<long long>(records.hdr.h_size));
}

void data(FclRestore& job, void* buf, int len) {
    FCL_LOG(5, "Received PL_DATA buffer");
    job._perfCounter.StartPerfCounter(kLabel, kPerfRecvData);
    job._perfCounter.StartPerfCounter(kLabel, kPerfDiskWrite);
    job.OnBufferPlData(buf, len);
    job._perfCounter.StopPerfCounter(kLabel, kPerfRecvData, 0);
    job._perfCounter.StopPerfCounter(kLabel, kPerfDiskWrite, static_cast<unsigned long long>(len));
}

// The payload is meant as a NUL-terminated text; it is read no further than its length.
void restoreHeadName(void* buf, int len) {
    const char* name = reinterpret_cast<const char*>(PipelineBufPayload(buf));
    FCL_LOG(0, "Restore Head Name = %.*s", static_cast<int>(strnlen(name, static_cast<size_t>(len))), name);
}

}  // namespace

void dispatchBuffer(FclRestore& job, ReaderRecords& records, void* buf, int len, unsigned long type) {
    if (type == PL_DATA) {
        data(job, buf, len);
        return;
    }
    switch (type) {
        case PL_FS_HDR:
            fileHeader(job, records, buf);
            break;
        case PL_FS_OPT_HDR:
            FCL_LOG(5, "Received PL_FS_OPT_HDR buffer");
            timed(job, kPerfWriteOptHdr, [&] { job.OnBufferPlFsOptHdr(buf, len); });
            break;
        case PL_FS_EOF:
            FCL_LOG(5, "Received PL_FS_EOF buffer");
            timed(job, kPerfRecvEOF, [&] { job.OnBufferPlFsEof(buf, &records.hdr); });
            job.initializePreHdr(&records.prehdr);
            break;
        case PL_FS_CLOSE_AFILE:
            FCL_LOG(2, "Received PL_FS_CLOSE_AFILE buffer. Exiting thread...");
            timed(job, kPerfCloseAFile, [&] { job.terminateReadPipelineThread(); });
            break;
        case PL_FS_BAD_FILE:
            FCL_LOG(5, "Received PL_FS_BAD_FILE buffer");
            job.OnBufferPlFsBadEof(buf, &records.hdr);
            job.initializePreHdr(&records.prehdr);
            break;
        case PL_FS_READ_ERR:
            FCL_LOG(0, "Received PL_FS_READ_ERR buffer");
            job.OnBufferPlFsReadErr(buf);
            break;
        case PL_FS_PREHDR:
            FCL_LOG(5, "Received PL_FS_PREHDR buffer");
            job.initializePreHdr(&records.prehdr);
            job.OnBufferPlFsPreHdr(buf, &records.prehdr);
            job.ProcessPlFsPreHdr(&records.prehdr, &records.hdr);
            break;
        case PL_DM_SI_LINK:
            job.OnBufferPlDmSiLink(buf, len);
            break;
        case PL_RESTORE_HEAD_NAME:
            restoreHeadName(buf, len);
            break;
        case PL_FS_HI_WATER_MARK:
            FCL_LOG(0, "Received PL_FS_HI_WATER_MARK buffer");
            timed(job, kPerfHiWater, [&] { job.OnBufferPlFsHiWaterMark(); });
            break;
        case PL_FS_LO_WATER_MARK:
            FCL_LOG(0, "Received PL_FS_LO_WATER_MARK buffer");
            timed(job, kPerfLoWater, [&] { job.OnBufferPlFsLoWaterMark(); });
            break;
        case PL_FS_EXTENTS:
            job.OnBufferPlFsExtents(buf, len);
            break;
        case PL_FS_OPT_HDR2:
            FCL_LOG(5, "Received PL_FS_OPT_HDR2 buffer");
            job.OnBufferPlFsOptHdr2(buf, len);
            break;
        case PL_FS_EXTENT_DATA:
            job.OnBufferPlFsExtentData(buf, len);
            break;
        case PL_SDM_PARAMERTERS:
            job.OnBufferPlSdmParameters(buf, len);
            break;
        case PL_SDM_PADDING:
            job.OnBufferPlSdmPadding(buf, len);
            break;
        case PL_FS_INDEX_HDR:
            FCL_LOG(5, "Received PL_FS_INDEX_HDR buffer");
            job.OnBufferPlFsIndexHdr(buf, len);
            break;
        case PL_VS_DISK_INFO:
            FCL_LOG(5, "Received PL_VS_DISK_INFO buffer");
            job.OnBufferPlVSDiskInfo(buf, len);
            break;
        case PL_VS_VOL_HEADER_INFO:
            FCL_LOG(5, "Received PL_VS_VOL_HEADER_INFO buffer");
            job.OnBufferPlVSVolHeaderInfo(buf, len);
            break;
        case PL_VS_VOL_HEADER_METADATA:
            FCL_LOG(5, "Received PL_VS_VOL_HEADER_METADATA buffer");
            job.OnBufferPlVSVolHeaderMetadata(buf, len);
            break;
        case PL_VS_VOL_HEADER_METADATA_EOF:
            FCL_LOG(5, "Received PL_VS_VOL_HEADER_METADATA_EOF buffer");
            job.OnBufferPlVSVolHeaderMetadataEof(buf, len);
            break;
        case PL_AFILE_OPENED:
            job.OnBufferAFileOpened(buf);
            break;
        case PL_FS_OPT_HDR3:
            FCL_LOG(5, "Received PL_FS_OPT_HDR3 buffer");
            job.OnBufferPlFsOptHdr3(buf, len);
            break;
        case PL_HOLE:
            FCL_LOG(5, "Received PL_HOLE buffer");
            job.OnBufferPlHole(buf);
            break;
        case PL_FS_OPT_HDR4:
            FCL_LOG(5, "Received PL_FS_OPT_HDR4 buffer");
            job.OnBufferPlFsOptHdr4(buf, len);
            break;
        case PL_FS_CLDEDUP:
            job.OnBufferPlFsCldedup(buf, len);
            break;
        case PL_FS_PROBE_REPLY:
            job.OnBufferPlFSProbeReply(buf, len);
            break;
        case PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR:
            job.OnBufferPlFSSystemStateItemMetadataHdr(buf, len);
            break;
        default:
            break;
    }
}

}  // namespace fclreader
