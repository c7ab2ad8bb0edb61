#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/log/LogWriter.h"
#include "platform/support/PerfCounter.h"

namespace {

class PerfFigures : public ::testing::Test {
protected:
    void SetUp() override {
        perf.initPerfCounters(nullptr);
        perf.AddPerfCounter(0, "recvRestMsgs", 0, false);
        perf.AddPerfCounter(2, "NetworkRead", 1, true);
        perf.setEnabled(true);
    }
    PerfCounter perf{nullptr};
};

TEST_F(PerfFigures, StopCountsTimeAndBytesOfTheBracketedStep) {
    perf.StartPerfCounter("t", 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    perf.StopPerfCounter("t", 2, 4096);
    PerfCounter::Figures f = perf.fileFigures(2);
    EXPECT_EQ(f.count, 1u);
    EXPECT_EQ(f.bytes, 4096u);
    EXPECT_GE(f.time, std::chrono::milliseconds(2));
}

TEST_F(PerfFigures, CancelDropsTheRunningMeasurement) {
    perf.StartPerfCounter("t", 0);
    perf.CancelPerfCounter("t", 0);
    perf.StopPerfCounter("t", 0, 0);  // a stray stop after the cancel measures no time
    PerfCounter::Figures f = perf.fileFigures(0);
    EXPECT_EQ(f.cancels, 1u);
    EXPECT_EQ(f.count, 1u);
    EXPECT_EQ(f.time.count(), 0);
}

// A pair measures what the two single calls would: each counter its own step, bytes and cancel, and the same time.
TEST_F(PerfFigures, APairMeasuresEachOfItsCountersAsTwoSingleCallsWould) {
    perf.setAggregate(true);
    perf.StartPerfCounterPair("t", 0, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    perf.StopPerfCounterPair("t", 0, 0, 2, 4096);
    EXPECT_EQ(perf.fileFigures(0).count, 1u);
    EXPECT_EQ(perf.fileFigures(0).bytes, 0u);
    EXPECT_EQ(perf.fileFigures(2).count, 1u);
    EXPECT_EQ(perf.fileFigures(2).bytes, 4096u);
    EXPECT_GE(perf.fileFigures(0).time, std::chrono::milliseconds(2));
    EXPECT_EQ(perf.fileFigures(0).time, perf.fileFigures(2).time);
    EXPECT_EQ(perf.totalFigures(2).bytes, 4096u);

    perf.StartPerfCounterPair("t", 0, 2);
    perf.CancelPerfCounterPair("t", 0, 2);
    perf.StopPerfCounterPair("t", 0, 0, 2, 0);  // stray stops after the cancel measure no time
    EXPECT_EQ(perf.fileFigures(0).cancels, 1u);
    EXPECT_EQ(perf.fileFigures(2).cancels, 1u);
    EXPECT_EQ(perf.fileFigures(2).count, 2u);
    EXPECT_EQ(perf.fileFigures(0).time, perf.fileFigures(2).time);

    // An unregistered counter in a pair is passed over, as a single call passes it over.
    perf.StartPerfCounterPair("t", 1, 2);
    perf.StopPerfCounterPair("t", 1, 7, 2, 8);
    EXPECT_EQ(perf.fileFigures(1).count, 0u);
    EXPECT_EQ(perf.fileFigures(2).bytes, 4104u);
}

TEST_F(PerfFigures, AggregateFoldsEachStepIntoTheTotalsOnce) {
    perf.setAggregate(true);
    perf.StartPerfCounter("t", 2);
    perf.StopPerfCounter("t", 2, 10);
    perf.StartPerfCounter("t", 0);
    perf.StopPerfCounter("t", 0, 0);  // aggregates again; counter 2 must not be added twice
    EXPECT_EQ(perf.totalFigures(2).count, 1u);
    EXPECT_EQ(perf.totalFigures(2).bytes, 10u);
    perf.setAggregate(false);
    perf.StopPerfCounter("t", 2, 5);
    EXPECT_EQ(perf.totalFigures(2).bytes, 10u);
    EXPECT_EQ(perf.fileFigures(2).bytes, 15u);
}

TEST_F(PerfFigures, PerFileResetRestartsFileFiguresOnly) {
    perf.setPerFile(true);
    perf.setAggregate(true);
    perf.StopPerfCounter("t", 2, 100);
    perf.ResetPerfCounters("ITERRATION 1 in finalize ", "/src/f", 123);
    EXPECT_EQ(perf.fileFigures(2).bytes, 0u);
    EXPECT_EQ(perf.totalFigures(2).bytes, 100u);
    EXPECT_EQ(perf.currentFile(), "/src/f");
    EXPECT_EQ(perf.currentFileSize(), 123);
}

TEST_F(PerfFigures, StopAllEndsRunningMeasurementsAndReports) {
    wzlog::ScopedCapture capture(10);
    perf.StartPerfCounter("t", 0);
    perf.StopPerfCounters("FclRestore::finalize", PerfCounter::kAllFiles, true, true, -1);
    EXPECT_EQ(perf.fileFigures(0).count, 1u);
    EXPECT_TRUE(capture->contains("recvRestMsgs"));
    EXPECT_FALSE(capture->contains("NetworkRead"));  // nothing measured, nothing reported
}

TEST_F(PerfFigures, UnknownIndexesAreIgnored) {
    for (int index : {-1, 1, 20, 1000}) {
        perf.StartPerfCounter("t", index);
        perf.StopPerfCounter("t", index, 1);
        perf.CancelPerfCounter("t", index);
        EXPECT_FALSE(perf.isRegistered(index));
        EXPECT_EQ(perf.fileFigures(index).count, 0u);
    }
    wzlog::ScopedCapture capture(10);
    perf.AddPerfCounter(-1, "bad", 0, false);
    EXPECT_TRUE(capture->contains("bad"));
}

TEST_F(PerfFigures, ConcurrentMeasurementsOnDistinctCountersAllCount) {
    auto measure = [this](int index) {
        for (int i = 0; i < 1000; ++i) {
            perf.StartPerfCounter("t", index);
            perf.StopPerfCounter("t", index, 1);
        }
    };
    std::thread a(measure, 0);
    std::thread b(measure, 2);
    a.join();
    b.join();
    EXPECT_EQ(perf.fileFigures(0).count, 1000u);
    EXPECT_EQ(perf.fileFigures(2).bytes, 1000u);
}

}  // namespace
