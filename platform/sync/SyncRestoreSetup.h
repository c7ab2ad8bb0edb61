#pragma once
// What the client's sync library knows about a restore: whether it is a synchronised one, whether files the user
// changed since the last sync backup are kept, that backup's time and the mapped pairs. Tests give it with
// setSyncRestoreSetup; otherwise it comes from the settings section [SyncRestore]:
//   bSyncRestore = y            the job is a synchronised restore
//   bInitFails = y              the library fails to start (a critical error for the job)
//   bPreserveModifiedFiles = y  keep files changed since the last sync backup
//   nLastSyncBackupTime = N     Unix seconds
//   sMappedPair = SRC => DEST   one pair; further ones as sMappedPair1, sMappedPair2, ...
#include <string>
#include <vector>

#include "platform/sync/CSyncRestorePathMapper.h"

namespace wzsync {

struct SyncRestoreSetup {
    // What InitSyncRestore answers: 0 a synchronised restore, 1 not one, -1 a critical failure.
    int initResult = 1;
    bool preserveModifiedFiles = false;
    long long lastSyncBackupTime = 0;
    std::vector<SrcDestMap> mappedPairs;
};

// Replaces what the settings say until clearSyncRestoreSetup.
void setSyncRestoreSetup(const SyncRestoreSetup& setup);
void clearSyncRestoreSetup();
// The test's setup when one is given, else the settings' one.
SyncRestoreSetup currentSyncRestoreSetup();

}  // namespace wzsync

// Names the sync library shares with the client's sync scan.
class SXSyncMisc {
public:
    // The name of the lock that the sync scan of subclient `index` holds while it runs; a job that must not overlap
    // with the scan takes the same name.
    static std::string syncSubClientMutexName(int index);
};
