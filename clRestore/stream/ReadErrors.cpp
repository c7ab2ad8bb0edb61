// PL_FS_READ_ERR: the data mover could not read part of the backup. The FIR hears of it through an error report and
// answers with the item's name; until every report is answered (or the answers are overdue) the archive-close
// handshake waits.
#include "clRestore/stream/ReadErrors.h"

#include <arpa/inet.h>

#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"

namespace {

constexpr size_t kReportPayload = 80;

// A 32-bit value kept in the low half of an 8-byte big-endian slot.
uint64_t low32(const unsigned char* slot) {
    return static_cast<uint32_t>(wzbytes::loadBE64(slot));
}

// The record from its wire form; the name stays null and words 1 and 2 of the archive-file id stay 0.
void fillReport(FSRErrorReport& report, const unsigned char* payload) {
    report.nodeNumLow = low32(payload + 0);
    report.secondValue = low32(payload + 8);
    report.archFileId.word2 = low32(payload + 32);
    report.archFileId.word3 = low32(payload + 40);
    report.archFileId.archiveId = low32(payload + 48);
    report.offset = wzbytes::loadBE64(payload + 56);
    report.nodeNumHigh = low32(payload + 72);
}

}  // namespace

void fclstream::failItemOnReadError(FclRestore& job, const CXFileHeader& hdr) {
    if (job._ro == nullptr && !job.bDelayOpenObject) {
        return;
    }
    FCL_ERROR("A read error cut the data of [%s] short; it is recorded as failed", hdr.h_filename);
    if (job._itemDataError == 0) {
        job._itemDataError = fclitem::kReadError;
    }
    // A further name of a hard-link group gets no result at its own end: the FIR's answer records it.
    if (job.bDelayOpenObject || job._exchangeFlag) {
        return;
    }
    std::lock_guard<std::mutex> hold(job._readErrorItemsLock);
    job._readErrorItems.insert(std::string(hdr.h_filename, strnlen(hdr.h_filename, sizeof hdr.h_filename)));
}

bool fclstream::takeItemFailedByReadError(FclRestore& job, const char* name) {
    std::lock_guard<std::mutex> hold(job._readErrorItemsLock);
    return job._readErrorItems.erase(name) != 0;
}

void FclRestore::OnBufferPlFsReadErr(void* buf) {
    FSRErrorReport report;
    if (_failOnSeekFailure != 0) {
        FCL_ERROR("Failing the restore as the option to FailonSeekFailure is selected and a seek failure happened.");
        terminateOnFatalError();
    } else {
        FCL_LOG(0, "Continuing the restore as the option to Fail on Seek Failure is not selected.");
        const unsigned long long options = _setParams != nullptr ? _setParams->options : 0;
        if ((options & FSR_OPT_INDEX_RECONSTRUCTION) != 0) {
            sendMsgToFIR(FSR_MSG_FAILURE);
            return;
        }
    }
    // The payload's length comes from the stream: a short one is reported with what it holds, never read past.
    const auto* header = static_cast<const PipelineBufHeader_t*>(buf);
    unsigned char payload[kReportPayload] = {};
    const uint32_t length = ntohl(header->payloadLength);
    std::memcpy(payload, PipelineBufPayload(buf), length < kReportPayload ? length : kReportPayload);
    if (length < kReportPayload) {
        FCL_ERROR("A PL_FS_READ_ERR buffer holds %u of its %zu bytes; the missing ones are taken as 0", length,
                  kReportPayload);
    }
    fillReport(report, payload);
    wzsDatabuf data;
    data.buf = reinterpret_cast<char*>(&report);
    data.len = kReportPayload;
    sendMsgToFIR(FSR_MSG_ERROR_REPORT, &data);
    _pendingErrorReports++;
    _errorReportDeadline = _clock() + fclstream::kErrorReportAnswerSecs;
    FCL_LOG(0, "FSR_MSG_ERROR_REPORT nodeNumHigh:%ld nodeNumLow:%ld archiveId:%ld offset:%ld",
            static_cast<long>(report.nodeNumHigh), static_cast<long>(report.nodeNumLow),
            static_cast<long>(report.archFileId.archiveId), static_cast<long>(report.offset));
}

void FclRestore::convertErrReportByteOrder(FSRErrorReport* report) {
    unsigned char wire[kReportPayload];
    std::memcpy(wire, report, sizeof wire);
    char* name = report->name;
    fillReport(*report, wire);
    report->name = name;
}
