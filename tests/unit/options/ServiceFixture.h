#pragma once
// A job's Unix companion with its own settings file and results directory.
#include "clRestore/options/FclRestoreUNIX.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace fcltest {

class ServiceFixture : public PlatformFixture {
protected:
    FclRestoreUNIX unix_{nullptr};
};

}  // namespace fcltest
