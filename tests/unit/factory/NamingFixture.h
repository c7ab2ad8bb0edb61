#pragma once
// A Unix factory over a real job object: source paths with strip levels (sorted as the engine sorts them), the job's
// kind set on its companion, the settings of the test, and the answer of a naming call as one text.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ClExceptError.h"
#include "tests/common/FactoryFixture.h"

namespace fcltest {

// The factory's protected state the naming tests look at or set.
class NamingFactory : public FsRestoreUnixObjectsFactory {
public:
    using FsRestoreUnixObjectsFactory::FsRestoreUnixObjectsFactory;
    void setCaseSensitive(bool on) { _caseSensitivePaths = on; }
    int currentItemMapped() const { return _currentItemMapped; }
    const std::map<std::string, std::string>& mapping() const { return _mapping; }
    const std::string& mappedPath() const { return currentMappedPath; }
    int restoreUnmappedData() const { return _restoreUnmappedData; }
};

// "#0x1700005b" for a per-item error thrown by a naming call.
inline std::string thrownId(const ClExceptError& error) {
    char text[32];
    snprintf(text, sizeof text, "#0x%x", static_cast<unsigned int>(error.getErrCode()));
    return text;
}

class NamingFixture : public FactoryFixture {
protected:
    ~NamingFixture() override {
        for (FSRSrcPath& record : paths_) {
            free(record.path);
        }
    }

    // "path:strip ..." adds source paths; a path of "-" adds a record without a text.
    void addSources(const std::string& sources) {
        std::istringstream words(sources);
        std::string source;
        while (words >> source) {
            const size_t colon = source.rfind(':');
            FSRSrcPath record;
            record.index = static_cast<int64_t>(paths_.size());
            const std::string path = source.substr(0, colon);
            record.path = path == "-" ? nullptr : strdup(path.c_str());
            record.stripLevel = colon == std::string::npos ? 0 : strtoull(source.c_str() + colon + 1, nullptr, 10);
            paths_.push_back(record);
        }
    }
    FSRInitData& initData() {
        if (job_._initData == nullptr) {
            job_._initData = new FSRInitData;
            job_._initData->jobId = kJobId;
        }
        return *job_._initData;
    }
    FclRestoreUNIX& companion() { return *job_.getUnixCompanion(); }
    // A text of the init data, allocated as the job releases it.
    static char* initText(const char* text) {
        char* copy = new char[strlen(text) + 1];
        memcpy(copy, text, strlen(text) + 1);
        return copy;
    }

    // The factory of the job over its source paths, sorted by the factory's order as the engine sorts them.
    NamingFactory& makeNamingFactory(unsigned long options, const char* dest = "/r", bool withJob = true) {
        if (!paths_.empty()) {
            qsort(paths_.data(), paths_.size(), sizeof(FSRSrcPath), FsRestoreUnixObjectsFactory::cmpFunc);
        }
        std::string destination = dest;
        factory_.reset(new NamingFactory(nullptr, paths_.empty() ? nullptr : paths_.data(),
                                         static_cast<int>(paths_.size()), &destination[0], options,
                                         withJob ? &job_ : nullptr));
        return *factory_;
    }

    // translatePathname's answer: the path, or the id it throws.
    std::string translate(const std::string& from, unsigned short mode = 0x8000, CXFileHeader* header = nullptr,
                          std::string to = "stale") {
        try {
            factory_->translatePathname(to, from, header, mode);
            return to;
        } catch (const ClExceptError& error) {
            EXPECT_EQ(to, "") << "a refused name is left behind";
            return thrownId(error);
        }
    }

    FclRestore job_;
    std::vector<FSRSrcPath> paths_;
    std::unique_ptr<NamingFactory> factory_;
};

}  // namespace fcltest
