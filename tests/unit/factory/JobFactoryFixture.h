#pragma once
// A Unix factory with a job: the job object, its source paths (each text with the 20 characters of room the engine
// leaves), and a view of the factory's protected state. The destination root and the mount table are put back
// after each test.
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/files/DestinationGate.h"
#include "platform/mounts/FXFolder.h"
#include "protocol/CXFileHeader.h"
#include "tests/common/FactoryFixture.h"

namespace fcltest {

// The factory's state that the tests read or arrange.
class FactoryView : public FsRestoreUnixObjectsFactory {
public:
    using FsRestoreUnixObjectsFactory::FsRestoreUnixObjectsFactory;
    const std::vector<std::string>& topLevelDestPaths() const { return _topLevelDestPaths; }
    const std::vector<int>& mkdirLevels() const { return _mkdirLevels; }
    const std::list<WzMntTab::Entry>& mountList() const { return _mountList; }
    bool caseSensitivePaths() const { return _caseSensitivePaths; }
    void addMapping(const std::string& from, const std::string& to) { _mapping[from] = to; }
};

class JobFactoryFixture : public FactoryFixture {
protected:
    ~JobFactoryFixture() override {
        wzfiles::clearDestinationRoot();
        wzmounts::setMountTablePath("");
        for (FSRSrcPath& record : sources_) {
            delete[] record.path;
        }
    }

    void addSource(const std::string& path, uint64_t stripLevel = 0) {
        FSRSrcPath record;
        record.index = static_cast<int64_t>(sources_.size());
        record.stripLevel = stripLevel;
        record.path = new char[path.size() + 21];
        memcpy(record.path, path.c_str(), path.size() + 1);
        sources_.push_back(record);
    }
    void addMissingSource() { sources_.push_back(FSRSrcPath()); }

    void setJobIdentity(long long jobId, unsigned long appType) {
        if (job_._initData == nullptr) {
            job_._initData = new FSRInitData();
        }
        job_._initData->jobId = jobId;
        job_._initData->appType = appType;
    }
    void setJobDestination(const std::string& dest) {
        if (job_._setParams == nullptr) {
            job_._setParams = new FSRSetParams();
        }
        // The job frees its texts with delete[].
        delete[] job_._setParams->destDir;
        job_._setParams->destDir = new char[dest.size() + 1];
        memcpy(job_._setParams->destDir, dest.c_str(), dest.size() + 1);
    }
    FclRestoreUNIX& companion() { return *job_.getUnixCompanion(); }

    // With the job unless `withJob` is false.
    std::unique_ptr<FactoryView> make(unsigned long options, const std::string& dest, bool withJob = true) {
        std::string text = dest;
        return std::unique_ptr<FactoryView>(new FactoryView(nullptr, sources_.empty() ? nullptr : sources_.data(),
                                                            static_cast<int>(sources_.size()), &text[0], options,
                                                            withJob ? &job_ : nullptr));
    }

    static CXFileHeader header(const std::string& name, unsigned int mode, int platform = 25) {
        CXFileHeader h;
        strncpy(h.name, name.c_str(), CXHDR_NAME_SIZE - 1);
        h.name[CXHDR_NAME_SIZE - 1] = '\0';
        h.nameLength = static_cast<uint32_t>(name.size() + 1);
        h.mode = mode;
        h.sourcePlatform = platform;
        return h;
    }

    static mode_t modeOf(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : static_cast<mode_t>(-1);
    }

    FclRestore job_;
    std::vector<FSRSrcPath> sources_;
};

}  // namespace fcltest
