#pragma once
// A started job whose parameters come from the FIR over the session, with the results, progress and statistics that
// follow from them. The job tells the test when its parameters handler has ended and what it answered.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {

class ParamsJob : public FclRestore {
public:
    bool OnMsgSetParams(FSRSetParams* params) override {
        const bool result = FclRestore::OnMsgSetParams(params);
        std::lock_guard<std::mutex> lock(m_);
        ended_ = true;
        result_ = result;
        changed_.notify_all();
        return result;
    }
    // Waits (bounded) for the handler's end; false when it did not end in time.
    bool waitSetParams(int ms, bool* result) {
        std::unique_lock<std::mutex> lock(m_);
        if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; })) {
            return false;
        }
        ended_ = false;
        *result = result_;
        return true;
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    bool ended_ = false;
    bool result_ = false;
};

// A restore object that only names what it restored.
class NamedObject : public FsRestoreObject {
public:
    explicit NamedObject(const char* kind) : kind_(kind) {}
    std::string GetRestoredItemType() override { return kind_; }

private:
    std::string kind_;
};

// A factory whose stub-data option a test sets.
class OptionsFactory : public FsRestoreUnixObjectsFactory {
public:
    OptionsFactory(FclRestore* job, unsigned long options)
        : FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, const_cast<char*>("/dest"), options, job) {}
    void setRestoreDataNotStub(bool on) { _restoreDataNotStubOption = on; }
};

struct ParamsPlan {
    std::string destDir = "/dest";
    unsigned long long options = 0;
    unsigned long long numSrcPaths = 1;
};

class ParamsFixture : public JobFixture {
protected:
    // Writes the job's settings file.
    void writeSettings(const std::string& text);
    // Makes and starts a ParamsJob (or a kind of it) and runs its receive loop.
    template <class Job = ParamsJob>
    Job* startParamsJob(const InitDataPlan& plan = InitDataPlan()) {
        Job* made = makeJob<Job>();
        EXPECT_EQ(startJob(plan), FSR_MSG_SUCCESS);
        runReceiveLoop();
        return made;
    }
    // Sends FSR_MSG_SET_PARAMS and answers what the handler answered; fails the test when it did not end.
    bool setParams(const ParamsPlan& plan);
    // The FIR ends the job: restore end, the loop's end, finalize.
    void finishJob();
    // Gives the job a factory with `options` (the recorder reads the options word there).
    OptionsFactory* giveFactory(unsigned long options);
    // The lines of the job's results store file ("" lines dropped); empty when there is no store.
    std::vector<std::string> resultLines();

    ParamsJob* job() { return static_cast<ParamsJob*>(job_.get()); }
};

}  // namespace jobtest
