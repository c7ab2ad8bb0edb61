#pragma once
// A job whose message handlers record that they were called, in order, and can hold the processing thread at one
// handler until the test lets it go.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"

namespace jobtest {

class RecordingJob : public FclRestore {
public:
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(m_);
        return calls_;
    }
    // The next call of `handler` waits until release().
    void holdAt(const std::string& handler) {
        std::lock_guard<std::mutex> lock(m_);
        holdAt_ = handler;
        held_ = false;
    }
    bool waitHeld(int ms) {
        std::unique_lock<std::mutex> lock(m_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return held_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_);
        holdAt_.clear();
        changed_.notify_all();
    }
    // A handler that stops the job as a fatal error.
    std::string fatalAt;

    bool OnMsgOpenArchive(FSROpenArchive*) override { return note("OnMsgOpenArchive"); }
    bool OnMsgCloseArchive() override { return note("OnMsgCloseArchive"); }
    bool OnMsgRestoreEnd() override {
        note("OnMsgRestoreEnd");
        return FclRestore::OnMsgRestoreEnd();
    }
    bool OnMsgRestartInfo() override { return note("OnMsgRestartInfo"); }
    bool OnMsgSrcPath(FSRSrcPath*) override { return note("OnMsgSrcPath"); }
    bool OnMsgSetParams(FSRSetParams*) override { return note("OnMsgSetParams"); }
    bool OnMsgDestPath(FSRDestPath*) override { return note("OnMsgDestPath"); }
    bool OnMsgArchiveId(FSRArchiveId*) override { return note("OnMsgArchiveId"); }
    bool OnMsgImgWinStreamsArray(FSRImgWinStreamsArray*) override { return note("OnMsgImgWinStreamsArray"); }
    bool OnMsgProcessImgAfileOffsetsArray() override { return note("OnMsgProcessImgAfileOffsetsArray"); }
    bool OnMsgEndImgAfileOffsetsArray() override { return note("OnMsgEndImgAfileOffsetsArray"); }
    bool OnMsgImgTimesArray(FSRImgTimesArray*) override { return note("OnMsgImgTimesArray"); }
    bool OnMsgImgInit(FSRImgInit*) override { return note("OnMsgImgInit"); }
    bool OnMsgImgRestoreEnd() override { return note("OnMsgImgRestoreEnd"); }
    bool OnMsgOpenChunk(FSROpenChunk* rec) override {
        note("OnMsgOpenChunk");
        return FclRestore::OnMsgOpenChunk(rec);
    }
    bool OnMsgArchFilesEndingInChunk(FSRArchFileIdArray*) override { return note("OnMsgArchFilesEndingInChunk"); }
    bool OnMsgGetMetaDataFolder(FSRMetaDataFolder* rec) override {
        note("OnMsgGetMetaDataFolder");
        return FclRestore::OnMsgGetMetaDataFolder(rec);
    }
    bool OnMsgJobStart(wzsDatabuf_v2*) override { return note("OnMsgJobStart"); }
    bool OnMsgJobEnd(wzsDatabuf_v2*) override { return note("OnMsgJobEnd"); }
    bool OnMsgPreOpenArchive(FSRPreOpenArchive*) override { return note("OnMsgPreOpenArchive"); }
    bool OnMsgSnapSrc(FSRSnapSrcPath*) override { return note("OnMsgSnapSrc"); }
    bool OnMsgSnapSrcArray(FSRSnapSrcPathArray*) override { return note("OnMsgSnapSrcArray"); }
    bool OnMsgVSRestoreEnd(FSRVirtualServerRestoreEnd*) override { return note("OnMsgVSRestoreEnd"); }
    bool OnMsgVSRestoreInfo(FSRVirtualServerRestoreInfo* rec) override {
        note("OnMsgVSRestoreInfo");
        return FclRestore::OnMsgVSRestoreInfo(rec);
    }
    bool OnMsgImgAfileOffsetsArray(FSRImgAfileOffsetsArray*) override { return note("OnMsgImgAfileOffsetsArray"); }
    bool OnMsgNasSeekArchive(FSRNasSeekArchiveArray*) override { return note("OnMsgNasSeekArchive"); }
    bool OnMsgSeekToOffset(FSRSeekArchiveArray*) override { return note("OnMsgSeekToOffset"); }
    bool OnMsgInitDataVer2(FSRInitDataVer2* rec) override {
        note("OnMsgInitDataVer2");
        return FclRestore::OnMsgInitDataVer2(rec);
    }
    bool OnMsgSeekToOffset10(FSRSeekArchiveArray_10*) override { return note("OnMsgSeekToOffset10"); }
    bool OnMsgStartVMReplication() override { return note("OnMsgStartVMReplication"); }
    bool OnMsgSeekToOffset10V2(FSRSeekArchiveArray_10_V2*) override { return note("OnMsgSeekToOffset10V2"); }
    void HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject*, const std::string&) override {
        note("HandleRestoreFileUpdate " + std::string(path) + " " + std::to_string(errCode));
    }

private:
    bool note(const std::string& call) {
        std::unique_lock<std::mutex> lock(m_);
        calls_.push_back(call);
        if (!holdAt_.empty() && call == holdAt_) {
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return holdAt_.empty(); });
        }
        lock.unlock();
        if (!fatalAt.empty() && call == fatalAt) {
            setFailureReason("Restore: The test stops the job.");
            terminateOnFatalError();
        }
        return true;
    }

    mutable std::mutex m_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::string holdAt_;
    bool held_ = false;
};

}  // namespace jobtest
