// The pipeline reader's dispatch of one buffer by its type: a route per type with its log line, the performance
// counters that time it, its handler and what follows it.
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/stream/BufferDispatch.h"
#include "clRestore/stream/ReadErrors.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/log/LogWriter.h"
#include "protocol/PipelineBuffer.h"

namespace fclstream {
namespace {

const char kLabel[] = "FclRestore::readPipeline";
constexpr unsigned long kLastType = PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR;
constexpr int kUntimed = -1;

using Handler = void (*)(FclRestore& job, ReaderRecords& records, void* buf, int len);
using After = void (*)(FclRestore& job, ReaderRecords& records);

struct Route {
    unsigned long type = 0;
    Handler handler = nullptr;  // null: the type is passed over
    int level = 0;
    const char* line = nullptr;   // logged before the call; none when null
    int counter = kUntimed;       // started before the call, stopped after it with no bytes
    int bytesCounter = kUntimed;  // timed over the same call as `counter`, stopped with the buffer's length
    After after = nullptr;        // run once the counters are stopped

    constexpr Route logged(int lineLevel, const char* text) const {
        Route r = *this;
        r.level = lineLevel;
        r.line = text;
        return r;
    }
    constexpr Route timed(int index, int bytesIndex = kUntimed) const {
        Route r = *this;
        r.counter = index;
        r.bytesCounter = bytesIndex;
        return r;
    }
    constexpr Route then(After step) const {
        Route r = *this;
        r.after = step;
        return r;
    }
};

constexpr Route on(unsigned long type, Handler handler) {
    Route r;
    r.type = type;
    r.handler = handler;
    return r;
}

template <void (FclRestore::*Method)(void*, int)>
void withLength(FclRestore& job, ReaderRecords&, void* buf, int len) {
    (job.*Method)(buf, len);
}

template <void (FclRestore::*Method)(void*)>
void withBuffer(FclRestore& job, ReaderRecords&, void* buf, int) {
    (job.*Method)(buf);
}

template <int (FclRestore::*Method)()>
void withNothing(FclRestore& job, ReaderRecords&, void*, int) {
    (job.*Method)();
}

// The item being restored loses what the error cut out of it; then the FIR is told.
void readError(FclRestore& job, ReaderRecords& records, void* buf, int) {
    records.headerLost = records.headerLost || !records.inItem;
    fclstream::failItemOnReadError(job, records.hdr);
    job.OnBufferPlFsReadErr(buf);
}

void fileHeader(FclRestore& job, ReaderRecords& records, void* buf, int) {
    records.inItem = true;
    records.headerLost = false;
    job.OnBufferPlFsHdr(buf, &records.hdr, &records.prehdr);
}

// An end whose item's header a read error took ends without a name: the last header read is another item's.
template <void (FclRestore::*Method)(void*, CXFileHeader*)>
void itemEnd(FclRestore& job, ReaderRecords& records, void* buf, int) {
    const bool headerLost = std::exchange(records.headerLost, false);
    records.inItem = false;
    (job.*Method)(buf, headerLost ? nullptr : &records.hdr);
}

void resetFileCounters(FclRestore& job, ReaderRecords& records) {
    const long iteration = records.iteration++;
    if (!job._perfCounter.isEnabled() || !job._perfCounter.isPerFile()) {
        return;
    }
    char text[64];
    snprintf(text, sizeof text, "ITERRATION %ld in finalize ", iteration);
    job._perfCounter.ResetPerfCounters(text, records.hdr.h_filename, static_cast<long long>(records.hdr.h_size));
}

// Each pre-header is read into a cleared record.
void preHeader(FclRestore& job, ReaderRecords& records, void* buf, int) {
    job.initializePreHdr(&records.prehdr);
    job.OnBufferPlFsPreHdr(buf, &records.prehdr);
}

void processPreHeader(FclRestore& job, ReaderRecords& records) {
    job.ProcessPlFsPreHdr(&records.prehdr, &records.hdr);
}

// An item's pre-header ends with it.
void clearPreHeader(FclRestore& job, ReaderRecords& records) {
    job.initializePreHdr(&records.prehdr);
}

void closeArchiveFile(FclRestore& job, ReaderRecords&, void*, int) {
    job.terminateReadPipelineThread();
}

void archiveFileOpened(FclRestore& job, ReaderRecords&, void* buf, int) {
    job.OnBufferAFileOpened(buf);
}

// The payload is meant as a NUL-terminated text; it is read no further than its length.
void restoreHeadName(FclRestore&, ReaderRecords&, void* buf, int len) {
    const char* name = reinterpret_cast<const char*>(PipelineBufPayload(buf));
    FCL_LOG(0, "Restore Head Name = %.*s", static_cast<int>(strnlen(name, static_cast<size_t>(len))), name);
}

constexpr Route kRoutes[] = {
    on(PL_DATA, withLength<&FclRestore::OnBufferPlData>)
        .logged(5, "Received PL_DATA buffer")
        .timed(kPerfRecvData, kPerfDiskWrite),
    on(PL_FS_HDR, fileHeader).logged(5, "Received PL_FS_HDR buffer").timed(kPerfOpenFile).then(resetFileCounters),
    on(PL_FS_OPT_HDR, withLength<&FclRestore::OnBufferPlFsOptHdr>)
        .logged(5, "Received PL_FS_OPT_HDR buffer")
        .timed(kPerfWriteOptHdr),
    on(PL_FS_EOF, itemEnd<&FclRestore::OnBufferPlFsEof>)
        .logged(5, "Received PL_FS_EOF buffer")
        .timed(kPerfRecvEOF)
        .then(clearPreHeader),
    on(PL_FS_CLOSE_AFILE, closeArchiveFile)
        .logged(2, "Received PL_FS_CLOSE_AFILE buffer. Exiting thread...")
        .timed(kPerfCloseAFile),
    on(PL_FS_BAD_FILE, itemEnd<&FclRestore::OnBufferPlFsBadEof>)
        .logged(5, "Received PL_FS_BAD_FILE buffer")
        .then(clearPreHeader),
    on(PL_FS_READ_ERR, readError).logged(0, "Received PL_FS_READ_ERR buffer"),
    on(PL_FS_PREHDR, preHeader).logged(5, "Received PL_FS_PREHDR buffer").then(processPreHeader),
    on(PL_DM_SI_LINK, withLength<&FclRestore::OnBufferPlDmSiLink>),
    on(PL_RESTORE_HEAD_NAME, restoreHeadName),
    on(PL_FS_HI_WATER_MARK, withNothing<&FclRestore::OnBufferPlFsHiWaterMark>)
        .logged(0, "Received PL_FS_HI_WATER_MARK buffer")
        .timed(kPerfHiWater),
    on(PL_FS_LO_WATER_MARK, withNothing<&FclRestore::OnBufferPlFsLoWaterMark>)
        .logged(0, "Received PL_FS_LO_WATER_MARK buffer")
        .timed(kPerfLoWater),
    on(PL_FS_EXTENTS, withLength<&FclRestore::OnBufferPlFsExtents>),
    on(PL_FS_OPT_HDR2, withLength<&FclRestore::OnBufferPlFsOptHdr2>).logged(5, "Received PL_FS_OPT_HDR2 buffer"),
    on(PL_FS_EXTENT_DATA, withLength<&FclRestore::OnBufferPlFsExtentData>),
    on(PL_SDM_PARAMERTERS, withLength<&FclRestore::OnBufferPlSdmParameters>),
    on(PL_SDM_PADDING, withLength<&FclRestore::OnBufferPlSdmPadding>),
    on(PL_FS_INDEX_HDR, withLength<&FclRestore::OnBufferPlFsIndexHdr>).logged(5, "Received PL_FS_INDEX_HDR buffer"),
    on(PL_VS_DISK_INFO, withLength<&FclRestore::OnBufferPlVSDiskInfo>).logged(5, "Received PL_VS_DISK_INFO buffer"),
    on(PL_VS_VOL_HEADER_INFO, withLength<&FclRestore::OnBufferPlVSVolHeaderInfo>)
        .logged(5, "Received PL_VS_VOL_HEADER_INFO buffer"),
    on(PL_VS_VOL_HEADER_METADATA, withLength<&FclRestore::OnBufferPlVSVolHeaderMetadata>)
        .logged(5, "Received PL_VS_VOL_HEADER_METADATA buffer"),
    on(PL_VS_VOL_HEADER_METADATA_EOF, withLength<&FclRestore::OnBufferPlVSVolHeaderMetadataEof>)
        .logged(5, "Received PL_VS_VOL_HEADER_METADATA_EOF buffer"),
    on(PL_AFILE_OPENED, archiveFileOpened),
    on(PL_FS_OPT_HDR3, withLength<&FclRestore::OnBufferPlFsOptHdr3>).logged(5, "Received PL_FS_OPT_HDR3 buffer"),
    on(PL_HOLE, withBuffer<&FclRestore::OnBufferPlHole>).logged(5, "Received PL_HOLE buffer"),
    on(PL_FS_OPT_HDR4, withLength<&FclRestore::OnBufferPlFsOptHdr4>).logged(5, "Received PL_FS_OPT_HDR4 buffer"),
    on(PL_FS_CLDEDUP, withLength<&FclRestore::OnBufferPlFsCldedup>),
    on(PL_FS_PROBE_REPLY, withLength<&FclRestore::OnBufferPlFSProbeReply>),
    on(PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR, withLength<&FclRestore::OnBufferPlFSSystemStateItemMetadataHdr>),
};

// One place per type up to the last routed one, filled at compile time; a place without a handler passes its type
// over.
constexpr std::array<Route, kLastType + 1> placed() {
    std::array<Route, kLastType + 1> places{};
    for (const Route& r : kRoutes) {
        places[r.type] = r;
    }
    return places;
}

constexpr bool eachTypeRoutedOnce() {
    for (const Route& a : kRoutes) {
        int seen = 0;
        for (const Route& b : kRoutes) {
            seen += a.type == b.type ? 1 : 0;
        }
        if (seen != 1 || a.type > kLastType) {
            return false;
        }
    }
    return true;
}
static_assert(eachTypeRoutedOnce(), "each buffer type has one route, within the table");

constexpr std::array<Route, kLastType + 1> kByType = placed();

}  // namespace

void dispatchBuffer(FclRestore& job, ReaderRecords& records, void* buf, int len, unsigned long type) {
    if (type > kLastType) {
        return;
    }
    const Route& r = kByType[type];
    if (r.handler == nullptr) {
        return;
    }
    if (r.line != nullptr) {
        FCL_LOG(r.level, "%s", r.line);
    }
    // A route's byte counter is timed over the same call as its counter.
    if (r.counter != kUntimed && r.bytesCounter != kUntimed) {
        job._perfCounter.StartPerfCounterPair(kLabel, r.counter, r.bytesCounter);
    } else if (r.counter != kUntimed) {
        job._perfCounter.StartPerfCounter(kLabel, r.counter);
    }
    r.handler(job, records, buf, len);
    if (r.counter != kUntimed && r.bytesCounter != kUntimed) {
        job._perfCounter.StopPerfCounterPair(kLabel, r.counter, 0, r.bytesCounter,
                                             static_cast<unsigned long long>(len));
    } else if (r.counter != kUntimed) {
        job._perfCounter.StopPerfCounter(kLabel, r.counter, 0);
    }
    if (r.after != nullptr) {
        r.after(job, records);
    }
}

}  // namespace fclstream
