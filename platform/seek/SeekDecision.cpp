#include "platform/seek/SeekDecision.h"

#include <cstdarg>
#include <mutex>
#include <new>

#include "platform/events/RecordedList.h"
#include "platform/log/LogWriter.h"
#include "platform/support/TextFormat.h"
#include "protocol/TimeValues.h"

namespace wzseek {
namespace {

std::mutex g_configLock;
DecisionConfig g_config;
wzplatform::RecordedList<std::string> g_calls;

std::string printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string printed(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = wztext::vformat(format, args);
    va_end(args);
    return text;
}

DecisionConfig currentConfig() {
    std::lock_guard<std::mutex> lock(g_configLock);
    return g_config;
}

// The platform's decision object. It holds its decisions from the moment it is made, so a test that changes them
// later does not change a job that runs.
class StandInDecision : public SeekDecision, public wzfault::FailableAllocation<StandInDecision> {
public:
    using wzfault::FailableAllocation<StandInDecision>::operator new;
    using wzfault::FailableAllocation<StandInDecision>::operator delete;

    StandInDecision(bool full, DecisionConfig config) : full_(full), config_(std::move(config)) {}

    int Initialize(FsRestoreObjectsFactory*, FclRestore*, EvEvent*, int syncRestore,
                   CTimeStamp* keepModifiedSince) override {
        std::string keep = "none";
        if (keepModifiedSince != nullptr) {
            keep = std::to_string((keepModifiedSince->Ticks() - CTimeStamp::kUnixEpochTicks) / 10000000LL);
        }
        g_calls.add(printed("Initialize sync=%d keep=%s", syncRestore, keep.c_str()));
        return config_.initializeFails ? 0 : 1;
    }

    int IsRestoreRequired(const char* path, unsigned long long sixthWord, unsigned long long flags,
                          unsigned long long version) override {
        g_calls.add(printed("IsRestoreRequired %s %llu %llx %llu", path != nullptr ? path : "(null)", sixthWord, flags,
                            version));
        return decide(path);
    }

    int IsRestoreRequiredV2(const char* path, unsigned long long sixthWord, unsigned long long flags,
                            unsigned long long version, unsigned long long extraSeekWord) override {
        g_calls.add(printed("IsRestoreRequiredV2 %s %llu %llx %llu %llu", path != nullptr ? path : "(null)", sixthWord,
                            flags, version, extraSeekWord));
        return decide(path);
    }

    int GetLastStatus() override { return lastStatus_; }
    void GetDestinationName(std::string& name) override { name = lastDestination_; }

    void OnRestoreEnd() override { g_calls.add("OnRestoreEnd"); }

    bool IsOptimizationEnabled() override { return full_ && config_.optimizationEnabled; }

    void RecordDeletedItem(const char* path, unsigned long long flags) override {
        g_calls.add(printed("RecordDeletedItem %s %llx", path != nullptr ? path : "(null)", flags));
        lastStatus_ = config_.deletedItemStatus;
        lastDestination_.clear();
    }

private:
    int decide(const char* path) {
        lastStatus_ = 0;
        lastDestination_.clear();
        if (!IsOptimizationEnabled() || path == nullptr) {
            return 1;
        }
        auto it = config_.skips.find(path);
        if (it == config_.skips.end()) {
            return 1;
        }
        lastStatus_ = it->second.status;
        lastDestination_ = it->second.destination;
        return 0;
    }

    const bool full_;
    const DecisionConfig config_;
    int lastStatus_ = 0;
    std::string lastDestination_;
};

SeekDecision* make(bool full) {
    SeekDecision* made = new (std::nothrow) StandInDecision(full, currentConfig());
    if (made == nullptr) {
        FCL_ERROR("Seek decision object of kind %s could not be made", full ? "full" : "0");
    }
    return made;
}

}  // namespace

namespace hooks {

void configure(const DecisionConfig& config) {
    std::lock_guard<std::mutex> lock(g_configLock);
    g_config = config;
}

void reset() {
    configure(DecisionConfig());
    allocationFaults().clear();
    clearCalls();
}

wzfault::FaultCounter& allocationFaults() {
    return StandInDecision::allocationFaults();
}

std::vector<std::string> calls() {
    return g_calls.snapshot();
}

void clearCalls() {
    g_calls.clear();
}

}  // namespace hooks
}  // namespace wzseek

SeekDecision::~SeekDecision() = default;

int SeekDecision::Reset() {
    return 0;
}

void SeekDecision::DumpState() {}

void SeekDecision::Flush() {}

SeekDecision* SeekDecisionFactoryObj::allocateObj(int kind) {
    if (kind != 0) {
        FCL_ERROR("Seek decision object of unknown kind %d asked for", kind);
        return nullptr;
    }
    return wzseek::make(false);
}

SeekDecision* SeekDecisionFactoryObj::allocateObj(FsRestoreObjectsFactory*, FclRestore*) {
    return wzseek::make(true);
}
