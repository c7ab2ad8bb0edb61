#pragma once
// The host's snapshot client: the volume snapshots taken for an archive file of a job, and their revert in place.
// The snapshots there are lines of the settings file:
//   [VolumeSnaps]  snap = jobId,archFileId,zendrelId,copy
// Nothing is reverted on this machine: each revert is recorded, so a test sees what was asked.
#include <vector>

#include "platform/support/FaultCounter.h"

// Which snapshots a call is about; each field is an int, as the client takes them.
class SMVolSnapInfo {
public:
    void setJobId(int value) { jobId_ = value; }
    void setArchFileId(int value) { archFileId_ = value; }
    void setZendrelId(int value) { zendrelId_ = value; }
    void setCopyParam(int value) { copy_ = value; }
    void setRetrieveValidFlags(int value) { flags_ = value; }
    int jobId() const { return jobId_; }
    int archFileId() const { return archFileId_; }
    int zendrelId() const { return zendrelId_; }
    int copy() const { return copy_; }
    int retrieveValidFlags() const { return flags_; }
    // Whether the snapshots found by getVolumeSnaps are at hand.
    bool found() const { return found_; }
    void setFound(bool found) { found_ = found; }

private:
    int jobId_ = 0;
    int archFileId_ = 0;
    int zendrelId_ = 0;
    int copy_ = 0;
    int flags_ = 0;
    bool found_ = false;
};

class WZSnapClientAPI {
public:
    // True when snapshots of the job, archive file, Zendrel id and copy were found.
    bool getVolumeSnaps(SMVolSnapInfo& info);
    // Non-zero when the snapshots found were reverted.
    int revertVolumeSnaps(SMVolSnapInfo& info);
};

namespace wzsnaps {

// The reverts done since the last clearReverts, in order.
std::vector<SMVolSnapInfo> reverts();
void clearReverts();
// Test hook: armed, a revert fails.
wzfault::FaultCounter& revertFaults();

}  // namespace wzsnaps
