// The buffers that streams of other kinds of backup carry and a file-system restore has no use for: they are taken
// and left alone, so that the stream goes on past them. Those that are out of place in a file-system stream say so.
#include "clRestore/engine/FclRestore.h"
#include "platform/log/LogWriter.h"

// ---- extent-based and storage-device streams ----

void FclRestore::OnBufferPlFsExtents(void*, int) {
    FCL_LOG(0, "Don't know how to handle PL_FS_EXTENTS buffer");
}

void FclRestore::OnBufferPlFsExtentData(void*, int) {
    FCL_LOG(0, "Don't know how to handle PL_FS_EXTENT_DATA buffer");
}

void FclRestore::OnBufferPlSdmParameters(void*, int) {
    FCL_LOG(0, "Don't know how to handle PL_SDM_PARAMERTERS buffer");
}

void FclRestore::OnBufferPlSdmPadding(void*, int) {
    FCL_LOG(0, "Don't know how to handle PL_SDM_PADDING buffer");
}

// ---- virtual-server volumes ----

void FclRestore::OnBufferPlVSDiskInfo(void*, int) {}

void FclRestore::OnBufferPlVSVolHeaderInfo(void*, int) {}

void FclRestore::OnBufferPlVSVolHeaderMetadata(void*, int) {}

void FclRestore::OnBufferPlVSVolHeaderMetadataEof(void*, int) {}

// ---- links, deduplication, archive-file notices and system state ----

void FclRestore::OnBufferPlDmSiLink(void*, int) {}

void FclRestore::OnBufferPlFsCldedup(void*, int) {}

bool FclRestore::OnBufferAFileOpened(void*) {
    return true;
}

void FclRestore::OnBufferPlFSSystemStateItemMetadataHdr(void*, int) {}
