#pragma once
// Classes the job object owns whose behaviour a later piece of work builds: only what the job needs of them now
// (their destruction, and the few answers it reads), answering as a job that does not use them would see.
#include <string>

#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/options/PendingLog.h"
#include "platform/seek/SeekDecision.h"

// The results store. The restore end's last line and the close store nothing yet: each answers a failure, which the
// restore end logs.
class StoreResults {
public:
    virtual ~StoreResults() = default;
    int putLine(const char* /*line*/, bool /*flush*/) {
        FCL_NOT_BUILT_YET();
        return -1;
    }
    int closeFile() {
        FCL_NOT_BUILT_YET();
        return -1;
    }
};

