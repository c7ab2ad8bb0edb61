// The read-error buffer turned into the FIR's error report, by the job's options: the report's fields from the
// wire, the count of open reports and their deadline, the fatal stop and the index-reconstruction refusal.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {
namespace {

long long g_now = 1000000;
long long fixedClock() {
    return g_now;
}

// A PL_FS_READ_ERR buffer whose header claims `length` payload bytes and that holds exactly those.
std::vector<unsigned char> readErrorBuffer(uint32_t length) {
    unsigned char payload[80] = {};
    const unsigned char slots[][8] = {
        {0, 0, 0, 1, 0, 0, 0, 5},              // node number, low part: only the low half counts
        {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 6},  // second value
    };
    std::memcpy(payload + 0, slots[0], 8);
    std::memcpy(payload + 8, slots[1], 8);
    payload[16 + 7] = 0x77;  // not read
    payload[32 + 7] = 3;     // archive-file id word 3
    payload[40 + 7] = 4;     // word 4
    payload[48 + 6] = 1;     // the archive id, 0x100 + 9
    payload[48 + 7] = 9;
    payload[56 + 0] = 0x01;  // the offset: all 64 bits
    payload[56 + 7] = 0x20;
    payload[72 + 7] = 8;  // node number, high part
    std::vector<unsigned char> buffer(96 + length);
    const uint32_t wire = htonl(length);
    std::memcpy(buffer.data() + 0x24, &wire, 4);
    std::memcpy(buffer.data() + 96, payload, length < 80 ? length : 80);
    return buffer;
}

struct ReportCase {
    const char* name;
    int failOnSeekFailure;
    unsigned long long options;
    uint32_t payload;
    bool reported;  // FSR_MSG_ERROR_REPORT sent and counted; else FSR_MSG_FAILURE alone
    bool fatal;
};

const ReportCase kCases[] = {
    {"Plain", 0, 0, 80, true, false},
    {"FailOnSeekFailureStopsTheJobAndStillReports", 1, 0, 80, true, true},
    {"IndexReconstructionIsRefused", 0, FSR_OPT_INDEX_RECONSTRUCTION, 80, false, false},
    {"IndexReconstructionWithFailOnSeekFailureReports", 1, FSR_OPT_INDEX_RECONSTRUCTION, 80, true, true},
    {"ShortPayloadIsReadNoFurtherThanItHolds", 0, 0, 40, true, false},
};

class ErrorReportTest : public JobFixture, public ::testing::WithParamInterface<ReportCase> {
protected:
    ErrorReportTest() { firKeep_.codes = {FSR_MSG_ERROR_REPORT}; }
};

TEST_P(ErrorReportTest, TheBufferBecomesAReportByTheJobsOptions) {
    const ReportCase& row = GetParam();
    FclRestore* job = makeJob();
    job->_network = engineEnd_.get();
    job->_clock = fixedClock;
    job->_setParams = new FSRSetParams();
    job->_setParams->options = row.options;
    job->_failOnSeekFailure = row.failOnSeekFailure;
    job->_pendingErrorReports = 1;  // one report already open

    std::vector<unsigned char> buffer = readErrorBuffer(row.payload);
    job->OnBufferPlFsReadErr(buffer.data());

    fir::FirMessage m;
    ASSERT_TRUE(fir_->next(&m, 5000));
    EXPECT_EQ(job->_fatalError, row.fatal ? 1 : 0);
    if (!row.reported) {
        EXPECT_EQ(m.code, FSR_MSG_FAILURE);
        EXPECT_EQ(job->_pendingErrorReports, 1);
        EXPECT_EQ(job->_errorReportDeadline.load(), 0);
        return;
    }
    ASSERT_EQ(m.code, FSR_MSG_ERROR_REPORT);
    ASSERT_TRUE(m.errorReport.has_value());
    const FSRErrorReport& r = m.errorReport->record;
    EXPECT_FALSE(m.errorReport->name.present);
    EXPECT_EQ(r.nodeNumLow, 5u);
    EXPECT_EQ(r.secondValue, 6u);
    EXPECT_EQ(r.archFileId.reserved0, 0u);
    EXPECT_EQ(r.archFileId.reserved1, 0u);
    EXPECT_EQ(r.archFileId.word2, 3u);
    EXPECT_EQ(r.archFileId.word3, row.payload == 80 ? 4u : 0u);
    EXPECT_EQ(r.archFileId.archiveId, row.payload == 80 ? 0x109u : 0u);
    EXPECT_EQ(r.offset, row.payload == 80 ? 0x0100000000000020ULL : 0u);
    EXPECT_EQ(r.nodeNumHigh, row.payload == 80 ? 8u : 0u);
    EXPECT_EQ(job->_pendingErrorReports, 2);
    EXPECT_EQ(job->_errorReportDeadline.load(), g_now + 180);
}

INSTANTIATE_TEST_SUITE_P(Cases, ErrorReportTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

TEST_F(ErrorReportTest, TheDeadlineRunsFromTheLatestReport) {
    FclRestore* job = makeJob();
    job->_network = engineEnd_.get();
    job->_clock = fixedClock;
    std::vector<unsigned char> buffer = readErrorBuffer(80);
    const long long start = g_now;
    job->OnBufferPlFsReadErr(buffer.data());
    g_now += 10;
    job->OnBufferPlFsReadErr(buffer.data());
    EXPECT_EQ(job->_pendingErrorReports, 2);
    EXPECT_EQ(job->_errorReportDeadline.load(), start + 10 + 180);
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_ERROR_REPORT}, 5000));
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_ERROR_REPORT}, 5000));
}

TEST_F(ErrorReportTest, ARecordIsConvertedInPlaceAsThePayloadIsRead) {
    std::vector<unsigned char> buffer = readErrorBuffer(80);
    FSRErrorReport report;
    std::memcpy(&report, buffer.data() + 96, sizeof report);
    makeJob()->convertErrReportByteOrder(&report);
    EXPECT_EQ(report.nodeNumLow, 5u);
    EXPECT_EQ(report.archFileId.archiveId, 0x109u);
    EXPECT_EQ(report.offset, 0x0100000000000020ULL);
    EXPECT_EQ(report.nodeNumHigh, 8u);
}

}  // namespace
}  // namespace jobtest
