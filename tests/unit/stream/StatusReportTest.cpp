// The status of every item goes to the FIR at its end: its destination (or its header's name when it got no
// object) and its code, or "restored" when it has none; the water marks are relayed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/stream/StreamFixture.h"
#include "tools/fir/FirSession.h"

namespace {

class StatusReport : public streamtest::StreamFixture {
protected:
    StatusReport() {
        std::unique_ptr<CWzNetwork> firEnd;
        EXPECT_FALSE(CWzNetwork::makePair(&firEnd, &engineEnd_).IsError());
        fir_ = std::make_unique<fir::FirSession>(std::move(firEnd),
                                                 fir::FirKeep{false, {FSR_MSG_IMG_EXTENT_RESTORE_STATUS}, 0});
        job_->_network = engineEnd_.get();
    }
    ~StatusReport() override {
        job_->_network = nullptr;
        fir_.reset();
    }

    struct Status {
        bool named;
        std::string name;
        unsigned int status;
        bool operator==(const Status& o) const { return named == o.named && name == o.name && status == o.status; }
    };

    // The statuses that wait go out, as when the reader waits for the stream.
    Status nextStatus() {
        job_->flushItemReports(false);
        fir::FirMessage message;
        if (!fir_->waitFor({FSR_MSG_IMG_EXTENT_RESTORE_STATUS}, 10000, &message) || !message.extentStatus) {
            ADD_FAILURE() << "no status report";
            return Status{false, "", 0};
        }
        return Status{message.extentStatus->name.present, message.extentStatus->name.text,
                      static_cast<unsigned int>(message.extentStatus->record.status)};
    }

    std::unique_ptr<CWzNetwork> engineEnd_;
    std::unique_ptr<fir::FirSession> fir_;
};

TEST_F(StatusReport, CarriesEachItemsNameAndCode) {
    header("/ok");
    eof();
    streamtest::Plan declined;
    declined.kind = streamtest::Plan::kDecline;
    declined.code = 0x17000040;
    factory_->plans["/skipped"] = declined;
    header("/skipped");
    eof();
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(0);
    job_->OnBufferPlFsEof(buffer.data(), nullptr);

    EXPECT_EQ((Status{true, "/dst/ok", 0x1700003f}), nextStatus());
    EXPECT_EQ((Status{true, "/skipped", 0x17000040}), nextStatus());
    EXPECT_EQ((Status{false, "", 0x17000008}), nextStatus());
}

TEST_F(StatusReport, AFailedItemReportsItsFailure) {
    const std::string partial = planPartialFile("/f", 0);
    header("/f");
    data("abc");
    eof();
    EXPECT_EQ((Status{true, partial, 0x17000012}), nextStatus());
}

// An item's status has gone out when its end is handled: a FIR that left makes that very send fail, not a later one.
TEST_F(StatusReport, AStatusThatCannotGoOutFailsItsOwnSend) {
    header("/first");
    eof();
    EXPECT_EQ((Status{true, "/dst/first", 0x1700003f}), nextStatus());
    fir_.reset();
    wzlog::ScopedCapture log;
    header("/second");
    eof();
    EXPECT_TRUE(log->contains("CWzNetwork::SendXDRMessage() returned error")) << "the failure waited for a later send";
}

TEST_F(StatusReport, WaterMarksAreRelayed) {
    EXPECT_EQ(1, job_->OnBufferPlFsHiWaterMark());
    EXPECT_EQ(1, job_->OnBufferPlFsLoWaterMark());
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_HI_WATER_MARK}, 10000));
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_LO_WATER_MARK}, 10000));
    job_->_network = nullptr;
    EXPECT_EQ(0, job_->OnBufferPlFsHiWaterMark());
}

}  // namespace
