#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/support/PerfCounter.h"

namespace {

// Records every measuring call the front ends make, as "op(args)".
class RecordingPerfCounter : public PerfCounter {
public:
    RecordingPerfCounter() : PerfCounter(nullptr) {}
    std::vector<std::string> calls;

protected:
    void startCounter(const char* label, int index) override {
        calls.push_back("start(" + std::string(label) + "," + std::to_string(index) + ")");
    }
    void stopCounter(const char* label, int index, unsigned long long bytes) override {
        calls.push_back("stop(" + std::string(label) + "," + std::to_string(index) + "," + std::to_string(bytes) + ")");
    }
    void cancelCounter(const char* label, int index) override {
        calls.push_back("cancel(" + std::string(label) + "," + std::to_string(index) + ")");
    }
    void resetCountersForFile(const char* label, const char* file, long long size) override {
        calls.push_back("reset(" + std::string(label) + "," + file + "," + std::to_string(size) + ")");
    }
    void stopCountersForFile(const char* label, const char* file, bool report, bool last, long long size) override {
        calls.push_back("stopAll(" + std::string(label) + "," + file + "," + std::to_string(report) + "," +
                        std::to_string(last) + "," + std::to_string(size) + ")");
    }
    void aggregateCounters(const char* label, const char* file, long long size) override {
        calls.push_back("aggregate(" + std::string(label) + "," + file + "," + std::to_string(size) + ")");
    }
};

using Calls = std::vector<std::string>;

enum FrontEnd { kStart, kStop, kCancel, kReset, kResetNull, kStopAll, kStopAllNull };

void call(PerfCounter& p, FrontEnd f) {
    switch (f) {
        case kStart:
            p.StartPerfCounter("L", 3);
            break;
        case kStop:
            p.StopPerfCounter("L", 3, 77);
            break;
        case kCancel:
            p.CancelPerfCounter("L", 3);
            break;
        case kReset:
            p.ResetPerfCounters("L", "/f", 10);
            break;
        case kResetNull:
            p.ResetPerfCounters("L", nullptr, 10);
            break;
        case kStopAll:
            p.StopPerfCounters("L", "/f", true, false, -1);
            break;
        case kStopAllNull:
            p.StopPerfCounters("L", nullptr, true, true, -1);
            break;
    }
}

struct GateCase {
    const char* name;
    bool enabled;
    bool perFile;
    bool aggregate;
    FrontEnd frontEnd;
    Calls expected;
};

class GateCases : public ::testing::TestWithParam<GateCase> {};

TEST_P(GateCases, FrontEndsCallExactlyWhatTheFlagsAllow) {
    const GateCase& c = GetParam();
    RecordingPerfCounter p;
    p.setEnabled(c.enabled);
    p.setPerFile(c.perFile);
    p.setAggregate(c.aggregate);
    call(p, c.frontEnd);
    EXPECT_EQ(p.calls, c.expected);
}

const char* kAgg = "aggregate(L,For All The Files,-1)";

INSTANTIATE_TEST_SUITE_P(
    Perf, GateCases,
    ::testing::Values(
        // Disabled: nothing reaches the library, whatever the other flags say.
        GateCase{"offStart", false, true, true, kStart, {}}, GateCase{"offStop", false, true, true, kStop, {}},
        GateCase{"offCancel", false, true, true, kCancel, {}}, GateCase{"offReset", false, true, true, kReset, {}},
        GateCase{"offStopAll", false, false, true, kStopAll, {}},
        GateCase{"start", true, false, true, kStart, {"start(L,3)"}},
        GateCase{"stopAggregated", true, false, true, kStop, {"stop(L,3,77)", kAgg}},
        GateCase{"stopPlain", true, false, false, kStop, {"stop(L,3,77)"}},
        GateCase{"cancelAggregatedLikeAStop", true, false, true, kCancel, {"cancel(L,3)", kAgg}},
        GateCase{"cancelPlain", true, false, false, kCancel, {"cancel(L,3)"}},
        GateCase{"resetPerFile", true, true, true, kReset, {"reset(L,/f,10)"}},
        GateCase{"resetNullFileIsAllFiles", true, true, false, kResetNull, {"reset(L,For All The Files,10)"}},
        GateCase{"resetNotPerFile", true, false, true, kReset, {}},
        GateCase{"stopAllPerFile", true, true, true, kStopAll, {}},
        GateCase{"stopAllAggregated", true, false, true, kStopAll, {"stopAll(L,/f,1,0,-1)", kAgg}},
        GateCase{"stopAllPlain", true, false, false, kStopAll, {"stopAll(L,/f,1,0,-1)"}},
        GateCase{
            "stopAllNullFileIsAllFiles", true, false, false, kStopAllNull, {"stopAll(L,For All The Files,1,1,-1)"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
