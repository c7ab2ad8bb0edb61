// Start-up: the first message decides the answer to the FIR; registrations and threads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "clRestore/engine/StartUpSteps.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/threads/WzThread.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {
namespace {

struct FirstMessageCase {
    const char* name;
    // Sends the first message, or closes the session.
    void (*send)(fir::FirSession& fir);
    unsigned long answer;
    bool criticalEvent;  // 0x17000029 with the received code and FSR_MSG_INIT_DATA
    unsigned long eventCode;
    const char* logLine;
};

void sendInit(fir::FirSession& fir) {
    FSRInitData record;
    record.jobId = 12;
    record.appType = 29;
    char src[] = "a", dst[] = "b", sub[] = "c";
    record.sourceMachine = src;
    record.destMachine = dst;
    record.subclientName = sub;
    fir.send(FSR_MSG_INIT_DATA, &record, sizeof record);
}
void sendStop(fir::FirSession& fir) {
    fir.send(FSR_MSG_STOP);
}
void sendSetParams(fir::FirSession& fir) {
    FSRSetParams params;
    fir.send(FSR_MSG_SET_PARAMS, &params, sizeof params);
}
void sendInitWithoutRecord(fir::FirSession& fir) {
    fir.send(FSR_MSG_INIT_DATA);
}
void closeSession(fir::FirSession& fir) {
    fir.close();
}

const FirstMessageCase kFirstMessages[] = {
    {"init data", sendInit, FSR_MSG_SUCCESS, false, 0, "Received message"},
    {"stop", sendStop, FSR_MSG_FAILURE, false, 0, "Restore stops during initializations"},
    {"set params", sendSetParams, FSR_MSG_FAILURE, true, FSR_MSG_SET_PARAMS, "instead of FSR_MSG_INIT_DATA"},
    {"init data without record", sendInitWithoutRecord, FSR_MSG_FAILURE, true, FSR_MSG_INIT_DATA, "without its record"},
    {"session error", closeSession, 0, true, 0, "Receive for FSR_MSG_INIT_DATA message failed"},
};

class StartUpTest : public JobFixture {};

TEST_F(StartUpTest, FirstMessageDecidesTheAnswer) {
    for (const FirstMessageCase& c : kFirstMessages) {
        SCOPED_TRACE(c.name);
        wzplatform::clearRaisedEvents();
        wzlog::ScopedCapture log;
        makeJob();
        c.send(*fir_);
        char name[] = "test";
        const bool started = job_->initialize(engineEnd_.get(), name, nullptr);
        EXPECT_EQ(started, c.answer == FSR_MSG_SUCCESS);
        fir::FirMessage answer;
        if (c.answer != 0) {
            ASSERT_TRUE(fir_->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 10000, &answer));
            EXPECT_EQ(answer.code, c.answer);
        }
        EXPECT_TRUE(log->contains(c.logLine));
        std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
        if (c.criticalEvent) {
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].severity, EV_CRITICAL);
            EXPECT_EQ(events[0].messageId, 0x17000029);
            ASSERT_EQ(events[0].arguments.size(), 2u);
            EXPECT_EQ(events[0].arguments[0].asUInt64(), c.eventCode);
            EXPECT_EQ(events[0].arguments[1].asInt(), static_cast<int>(FSR_MSG_INIT_DATA));
            EXPECT_EQ(job_->getFailureReason(),
                      "Restore: Wrong parameters for the job. Possible mismatched version of Hallmoor or corrupted "
                      "install.");
        } else {
            EXPECT_TRUE(events.empty());
            EXPECT_EQ(job_->getFailureReason(), "");
        }
        // A failed start-up leaves no thread behind; a successful one has its processing thread running.
        EXPECT_EQ(job_->_prThreadRunning == 1, started);
        destroyJob();
    }
}

TEST_F(StartUpTest, InitDataWithoutItsNamesIsRefused) {
    const InitDataPlan without[] = {
        {4711, 29, 3, nullptr, "dst", "sub", nullptr},
        {4711, 29, 3, "src", nullptr, "sub", nullptr},
        {4711, 29, 3, "src", "dst", nullptr, nullptr},
    };
    for (const InitDataPlan& plan : without) {
        makeJob();
        EXPECT_EQ(startJob(plan), FSR_MSG_FAILURE);
        destroyJob();
    }
}

TEST_F(StartUpTest, KeepsTheInitDataCopy) {
    makeJob();
    InitDataPlan plan;
    plan.reservedString = nullptr;
    ASSERT_EQ(startJob(plan), FSR_MSG_SUCCESS);
    const FSRInitData* copy = job_->getInitData();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(job_->getJobID(), 4711);
    EXPECT_EQ(job_->getAppType(), 29u);
    EXPECT_STREQ(copy->sourceMachine, "src-host");
    EXPECT_STREQ(copy->subclientName, "default");
    EXPECT_STREQ(copy->reserved13, "");  // absent unnamed texts are kept as ""
    EXPECT_EQ(copy->suffixTag, nullptr);
    EXPECT_EQ(copy->reservedString, nullptr);
    EXPECT_EQ(job_->_rstJobClientReady, 1);
    EXPECT_EQ(job_->_keepAliveInterval, 1800);
    EXPECT_EQ(job_->_holeThreshold, -1);
}

// The job's own registration: the twenty counters of its companion's list at their indexes, whatever was registered
// before, switched on so that the first receive is already measured.
TEST_F(StartUpTest, CountersAreRegisteredAndMeasureFromTheFirstReceive) {
    makeJob();
    PerfCounter& perf = job_->_perfCounter;
    perf.AddPerfCounter(25, "stale", 0, false);
    ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
    EXPECT_EQ(perf.event(), job_->getEvent());
    EXPECT_TRUE(perf.isEnabled());
    EXPECT_FALSE(perf.isRegistered(25));
    const std::vector<_rstrPerfCounterInfo> list = restorePerfCounterInfoList();
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(perf.counterName(static_cast<int>(i)), list[i].name) << i;
    }
    EXPECT_FALSE(perf.isRegistered(static_cast<int>(list.size())));
    EXPECT_EQ(perf.fileFigures(kPerfRecvRestMsgs).count, 1u);
    EXPECT_GT(perf.fileFigures(kPerfReadRecvRestMsgs).bytes, 0u);
}

TEST_F(StartUpTest, RefusedRegistrationsDoNotStopTheJob) {
    makeJob();
    WZJobCtrlClient::init2Faults().failNext(1);
    WZRstJobClient::initFaults().failNext(1);
    EXPECT_EQ(startJob(), FSR_MSG_SUCCESS);
    EXPECT_EQ(job_->_rstJobClientReady, 0);
    EXPECT_NE(job_->getFailureReason().find("Restore: Job Client initialization failure."), std::string::npos);
}

TEST_F(StartUpTest, ThreadThatCannotStartFailsTheJobAndLeavesNoRunningFlag) {
    makeJob();
    WzThread::creationFaults().failNext(1, EAGAIN);
    EXPECT_EQ(startJob(), FSR_MSG_FAILURE);
    EXPECT_EQ(job_->_prThreadRunning, 0);
    std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].messageId, 0x1700002a);
    EXPECT_EQ(events[0].arguments.at(0).asInt(), EAGAIN);
    std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
    ASSERT_EQ(causes.size(), 1u);
    EXPECT_EQ(causes[0].code, 0x1700002a);
    EXPECT_EQ(causes[0].messageType, 300);
}

TEST_F(StartUpTest, LongRegistrationNameIsCut) {
    makeJob();
    sendInitData();
    std::string name(300, 'n');
    ASSERT_TRUE(job_->initialize(engineEnd_.get(), &name[0], nullptr));
    EXPECT_EQ(std::string(job_->_registrationName), std::string(255, 'n'));
}

TEST_F(StartUpTest, SettingsOfIntervals) {
    fcltest::writeFile(settingsPath_, "[Wzd]\nnKEEPALIVEINTERVAL = 2\n[Vornak]\nOptimizeRunLengths = 1025\n");
    makeJob();
    ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
    EXPECT_EQ(job_->_keepAliveInterval, 120);
    EXPECT_EQ(job_->_holeThreshold, 2048);
}

struct MultiStreamCase {
    const char* name;
    const char* hostName;  // the client host name the host gives the job
    bool focusFails;
    bool started;
    const char* clientNameFromHost;
    const char* logLine;
};

const MultiStreamCase kMultiStreamCases[] = {
    {"host of a listed client", "node-7.example", false, true, "client-b",
     "Client name got using host name is [client-b]."},
    {"focus that cannot be set", "node-7.example", true, false, "",
     "Failed wzpi.setFocus for vmname [node-7.example]."},
    {"host of no client", "elsewhere", false, false, "", "Cannot get client name using Host Name elsewhere"},
};

// In multi-stream mode the host names the client's host; the job looks its client up through the focused platform.
TEST_F(StartUpTest, MultiStreamJobFindsItsClientFromTheHostName) {
    fcltest::writeFile(settingsPath_, "[ClientHostNames]\nnode-7.example = client-b\n");
    for (const MultiStreamCase& c : kMultiStreamCases) {
        SCOPED_TRACE(c.name);
        wzplatform::clearRaisedEvents();
        wzplatform::clearPendingCauses();
        wzlog::ScopedCapture log;
        makeJob();
        job_->_multiStreamMode = 1;
        job_->_clientName = new char[strlen(c.hostName) + 1];
        strcpy(job_->_clientName, c.hostName);
        if (c.focusFails) {
            WZPlatformInfo::focusFaults().failNext(1);
        }
        EXPECT_EQ(startJob(), c.started ? FSR_MSG_SUCCESS : FSR_MSG_FAILURE);
        EXPECT_TRUE(log->contains(std::string("Client Host name is set to [") + c.hostName + "]"));
        EXPECT_TRUE(log->contains(c.logLine)) << c.logLine;
        EXPECT_EQ(job_->_clientNameFromHost, c.clientNameFromHost);
        EXPECT_STREQ(job_->_clientName, c.hostName);
        EXPECT_EQ(job_->_jobResultsDir != nullptr, c.started);
        // A failed lookup sends only the failure: no event, no reason, no pending cause.
        EXPECT_TRUE(wzplatform::raisedEvents().empty());
        EXPECT_TRUE(wzplatform::pendingCauses().empty());
        EXPECT_EQ(job_->getFailureReason(), "");
        WZPlatformInfo::focusFaults().clear();
        destroyJob();
    }
}

TEST(HoleThreshold, FromTheSettingText) {
    const struct {
        const char* text;
        int threshold;
    } cases[] = {{"", -1},       {"0", 1024}, {"abc", 1024}, {"1024", 1024},
                 {"1025", 2048}, {"-5", -5},  {"1", 1024},   {"99999999999999", 2147482624}};
    for (const auto& c : cases) {
        EXPECT_EQ(fclstartup::holeThresholdFrom(c.text), c.threshold) << c.text;
    }
}

}  // namespace
}  // namespace jobtest
