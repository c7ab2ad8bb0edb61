#pragma once
// The job's results store: the result lines of one job in <results dir>/<zendrel>/<job id>/.
//
// Store mode: the file restore.results, where each putLine text is one line and each item is its text, a tab and its
// status number. Raw mode: the engine writes the file itself; the store only names it (restore.out) and makes its
// directory. Lines go out whole, in the order given, and lines from several threads never mix. Item lines may wait to
// go out together, in one write: at the latest once kPendingBytes have gathered, at an item line given when the oldest
// waiting one is kPendingAge old, at flushIfStale() then, and at once with a putLine line, flushPending() or the close.
// A crash loses only lines that waited, so whatever the file lists stays true. A carriage return or line feed inside a
// text is written as "<CR>" or "<LF>": one call is always one line.
#include <chrono>
#include <mutex>
#include <string>

#include "platform/support/FaultCounter.h"
#include "platform/support/WaitingSince.h"

class StoreResults : public wzfault::FailableAllocation<StoreResults> {
public:
    // Results-file kind of the job's restore results, the only kind this store keeps.
    static const int kRestoreResults = 2;
    static constexpr size_t kPendingBytes = 32 * 1024;
    static constexpr std::chrono::milliseconds kPendingAge{10};

    // `name`: the store file's name in the job's directory; null or "" for restore.results. The directory is made
    // when a file is opened, whatever `create` says.
    StoreResults(unsigned int zendrelNumber, long long jobId, bool create, const char* name);
    virtual ~StoreResults();
    StoreResults(const StoreResults&) = delete;
    StoreResults& operator=(const StoreResults&) = delete;

    // Opens the store file for appending (created when missing): lines of an earlier run of the same job stay. 0 on
    // success; an errno otherwise (EINVAL for another kind).
    int openFile(int kind, bool create, bool exclusive);
    // Makes the job's directory and names the raw file in it. 0 with `path` set; an errno otherwise.
    int openRaw(int kind, std::string& path);
    // One line. `first` marks the begin line; it changes nothing here. 0, or an errno (EBADF when no file is open).
    int putLine(const char* line, bool first);
    // One item: its text, a tab, its status. 0, or an errno (also of the write of lines that waited).
    int setRestoreStatusOnObject(const char* line, int status, bool flag);
    // Writes the item lines that wait: 0, or an errno.
    int flushPending();
    // flushPending() once the oldest waiting line is kPendingAge old; 0 at once when none waits.
    int flushIfStale();
    // The job's directory, ending in '/'.
    std::string getDirectory() const;
    // 0, or an errno (EBADF when no file is open).
    int closeFile();

    // The store file's path (whether open or not).
    std::string filePath() const;

    // Test hooks: armed, the next opens (openFile, openRaw) or writes (putLine, setRestoreStatusOnObject) fail with
    // the armed error (EIO when armed with 0).
    static wzfault::FaultCounter& openFaults();
    static wzfault::FaultCounter& writeFaults();

private:
    // The checks and the directory every open needs: 0 or an errno.
    int prepareDirectory(int kind);
    // Adds one line (`text` and, when `status` is set, a tab and the status) to those that wait, writing them all
    // when `writeNow`, when enough gathered or when the oldest is old enough.
    int addLine(const char* text, const int* status, bool writeNow);
    int writePendingLocked();

    const std::string directory_;
    const std::string fileName_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    std::string pending_;  // whole lines, each ending in '\n'
    wzsupport::WaitingSince waiting_;
};
