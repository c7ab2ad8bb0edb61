// Handlers and services of the job object that later work builds. Each says once that it is not built yet and
// answers as an ordinary job would see it: nothing done, go on; not impersonating.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

// ---- stream buffers ----
void FclRestore::ProcessPlFsPreHdr(FSRPreHeader*, CXFileHeader*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsHdr(void*, CXFileHeader*, FSRPreHeader*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr2(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr3(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr4(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsIndexHdr(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlVSDiskInfo(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlVSVolHeaderInfo(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlVSVolHeaderMetadata(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlVSVolHeaderMetadataEof(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlData(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsEof(void*, CXFileHeader*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsBadEof(void*, CXFileHeader*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsReadErr(void*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlDmSiLink(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsCldedup(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsExtents(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsExtentData(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlSdmParameters(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlSdmPadding(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFSProbeReply(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlHole(void*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFSSystemStateItemMetadataHdr(void*, int) {
    FCL_NOT_BUILT_YET();
}

bool FclRestore::OnBufferAFileOpened(void*) {
    FCL_NOT_BUILT_YET();
    return true;
}

void* FclRestore::readPipeline() {
    FCL_NOT_BUILT_YET();
    return nullptr;
}

// ---- archives and seeks ----
bool FclRestore::OnMsgOpenArchive(FSROpenArchive*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgPreOpenArchive(FSRPreOpenArchive*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgCloseArchive() {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgSnapSrc(FSRSnapSrcPath*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgSnapSrcArray(FSRSnapSrcPathArray*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgSeekToOffset(FSRSeekArchiveArray*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgSeekToOffset10(FSRSeekArchiveArray_10*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgSeekToOffset10V2(FSRSeekArchiveArray_10_V2*) {
    FCL_NOT_BUILT_YET();
    return true;
}

// ---- image-level restore ----
bool FclRestore::OnMsgImgInit(FSRImgInit*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgImgTimesArray(FSRImgTimesArray*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgImgWinStreamsArray(FSRImgWinStreamsArray*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgImgAfileOffsetsArray(FSRImgAfileOffsetsArray*) {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgProcessImgAfileOffsetsArray() {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgEndImgAfileOffsetsArray() {
    FCL_NOT_BUILT_YET();
    return true;
}

bool FclRestore::OnMsgImgRestoreEnd() {
    FCL_NOT_BUILT_YET();
    return true;
}

// ---- identity ----
int FclRestore::CheckImpersonateUser(std::string&) {
    FCL_NOT_BUILT_YET();
    return 0;
}
