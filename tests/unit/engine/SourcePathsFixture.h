#pragma once
// A job past its parameters, waiting for its source paths: init data, event, statistics, the parameters record with
// its count, options and destination, and the zero-filled array the parameters handler makes.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/FsRestoreRestart.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/settings/PlatformPaths.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {

class SourcePathsFixture : public JobFixture {
protected:
    static const long long kJobId = 4711;
    static const unsigned long kZendrel = 2;

    SourcePathsFixture() : destination_(scratch_ / "dest") {}

    FclRestore& prepare(int count, unsigned long long options = FSR_OPT_OUT_OF_PLACE, unsigned long appType = 29) {
        FclRestore* job = makeJob<FclRestore>();
        prepareJob(*job, count, options, appType);
        return *job;
    }

    void prepareJob(FclRestore& job, int count, unsigned long long options, unsigned long appType) {
        job._initData = new FSRInitData;
        job._initData->appType = appType;
        job._initData->jobId = kJobId;
        job._initData->zendrelNumber = kZendrel;
        job._initData->numFiles = 3;
        job._event = new EvEvent;
        job._statistics = new FsRestoreStatistics(3);
        giveParameters(job, count, options);
    }

    // What the parameters handler leaves: the record (start-up made it when the job started) and the zero-filled
    // array of `count` records.
    void giveParameters(FclRestore& job, int count, unsigned long long options) {
        if (job._setParams == nullptr) {
            job._setParams = new FSRSetParams;
        }
        delete[] job._setParams->destDir;
        job._setParams->destDir = new char[destination_.size() + 1];
        std::memcpy(job._setParams->destDir, destination_.c_str(), destination_.size() + 1);
        job._setParams->numSrcPaths = static_cast<uint64_t>(count);
        job._setParams->options = options;
        job._srcPaths = count > 0 ? new FSRSrcPath[count]() : nullptr;
    }

    static bool send(FclRestore& job, long long index, const char* path, unsigned long long strip = 0) {
        FSRSrcPath record;
        record.index = index;
        record.stripLevel = strip;
        record.path = const_cast<char*>(path);
        return job.OnMsgSrcPath(&record);
    }

    // "index path strip" of each record of the array, in array order.
    static std::vector<std::string> stored(const FclRestore& job) {
        std::vector<std::string> out;
        for (uint64_t k = 0; k < job._setParams->numSrcPaths; ++k) {
            const FSRSrcPath& r = job._srcPaths[k];
            out.push_back(std::to_string(r.index) + " " + (r.path != nullptr ? r.path : "(null)") + " " +
                          std::to_string(r.stripLevel));
        }
        return out;
    }

    // The restart record as the host writes it.
    static std::string restartRecord(uint64_t number, const std::string& name) {
        std::string bytes(sizeof(RestartRecord), '\0');
        std::memcpy(&bytes[0], &number, sizeof number);
        std::memcpy(&bytes[8], name.data(), name.size());
        return bytes;
    }
    // The job's restart file with `bytes`; "" removes it.
    void writeRestartFile(const std::string& bytes) {
        const std::string directory =
            wzplatform::agentDirectory() + "/RestoreRestart/" + std::to_string(kZendrel) + "/" + std::to_string(kJobId);
        ASSERT_TRUE(wzplatform::makeDirectories(directory));
        ::unlink((directory + "/RestartInfo").c_str());
        if (!bytes.empty()) {
            fcltest::writeFile(directory + "/RestartInfo", bytes);
        }
    }

    static void giveRestoreJobClient(FclRestore& job) {
        job._rstJobClient = new WZRstJobClient;
        job._rstJobClientReady = 1;
        wzplatform::clearPendingCauses();
    }
    static std::vector<int> pendingCauseCodes() {
        std::vector<int> codes;
        for (const JMPendingCause& cause : wzplatform::pendingCauses()) {
            codes.push_back(cause.code);
        }
        return codes;
    }

    std::string destination_;
};

}  // namespace jobtest
