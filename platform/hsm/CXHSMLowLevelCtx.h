#pragma once
// The job's storage-management context: the objects of the managed file systems it met, by name.
#include <atomic>
#include <map>
#include <string>

#include "platform/hsm/CXHSMLowLevel.h"
#include "platform/hsm/CXHSMMntTab.h"
#include "platform/support/FaultCounter.h"
#include "platform/threads/WzCriticalSection.h"

// The object of a managed file system in the driverless mode.
class CXHSMLowLevelDriverless : public CXHSMLowLevel {
public:
    // The mount points of the file system that keep no extended attributes, as one text: "" on this machine.
    std::string getNonXATTRmountPoints() const { return std::string(); }
    // Whether stubs restored in place into `directory` are taken by its file system: no file system here is one.
    bool isDMRFSforInPlaceRestore(const std::string& /*directory*/) const { return false; }
};

class CXHSMLowLevelCtx : public wzfault::FailableAllocation<CXHSMLowLevelCtx> {
public:
    // useDriver: 2 without the storage filter driver (the mode of this machine), 1 with it.
    explicit CXHSMLowLevelCtx(int useDriver) : useDriver_(useDriver) {}
    // The context owns the objects of its map.
    ~CXHSMLowLevelCtx();
    CXHSMLowLevelCtx(const CXHSMLowLevelCtx&) = delete;
    CXHSMLowLevelCtx& operator=(const CXHSMLowLevelCtx&) = delete;

    int getuseDriver() const { return useDriver_; }
    // The object of the managed file system holding `path`; null, since no file system of this machine is managed.
    CXHSMLowLevel* getByFileName(const char* path);
    // True the first time only: a missing object is logged once per job, not once per item.
    bool firstMissingObject() { return !missingNoted_.exchange(true); }

private:
    std::map<std::string, CXHSMLowLevel*> objects_;
    WzCriticalSection objectsLock_;
    CXHSMMntTab mntTab_;
    int useDriver_;
    std::atomic<bool> missingNoted_{false};
};
