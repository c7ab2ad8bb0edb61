#include "clRestore/objects/ProcessRestoreState.h"

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/AccessLists.h"
#include "clRestore/objects/FsRestoreUnixObject.h"

void resetProcessRestoreState() {
    FsRestoreUnixObject::_minHoleSize = FsRestoreUnixObject::kDefaultMinHoleSize;
    FsRestoreUnixObject::_createHoles = 0;
    // The next object reads the sticky-bit setting again: it may have changed between jobs.
    FsRestoreUnixObject::_preventStickyBeforeWrite = false;
    FsRestoreUnixObject::_firstTime = 1;
    giBlockSize = kDefaultBlockSize;
    g_holeSettingsRead = false;
    lastOffset = 0;

    fileRange = fileRange_t();
    fileRangeMap.clear();
    g_dirMap.clear();
    g_preserveOwnership = false;
    g_setACL = false;
    MinSrcPathSize = 0;

    clearHardLinkInodeTable();
    resetPostOpenSettings();
    fclobjects::resetAclOnceFlags();
}
