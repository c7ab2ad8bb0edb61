#pragma once
// Classes the job object owns whose behaviour a later piece of work builds: only what the job needs of them now
// (their destruction, and the few answers it reads), answering as a job that does not use them would see.
#include <string>

#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/options/PendingLog.h"
#include "platform/results/StoreResults.h"

// The seek optimiser's decision object. Its end of restore has nothing to finish yet.
class SeekDecision {
public:
    virtual ~SeekDecision() = default;
    void OnRestoreEnd() { FCL_NOT_BUILT_YET(); }
};
