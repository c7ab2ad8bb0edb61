#pragma once
// A Unix factory without a job over a scratch settings file, with the process-wide restore state put back before
// and after each test (the state outlives tests as it outlives jobs).
#include <memory>
#include <string>
#include <vector>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace fcltest {

class FactoryFixture : public PlatformFixture {
protected:
    static constexpr long long kJobId = 4242;

    FactoryFixture() { resetProcessRestoreState(); }
    ~FactoryFixture() override { resetProcessRestoreState(); }

    std::unique_ptr<FsRestoreUnixObjectsFactory> makeFactory(unsigned long options = 0,
                                                             std::vector<FSRSrcPath>* paths = nullptr,
                                                             const char* destDir = "/restore/dest") {
        std::string dest = destDir;
        FSRSrcPath* records = paths != nullptr ? paths->data() : nullptr;
        const int count = paths != nullptr ? static_cast<int>(paths->size()) : 0;
        return std::unique_ptr<FsRestoreUnixObjectsFactory>(
            new FsRestoreUnixObjectsFactory(nullptr, records, count, &dest[0], options, nullptr));
    }
};

}  // namespace fcltest
