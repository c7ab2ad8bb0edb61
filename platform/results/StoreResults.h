#pragma once
// The job's results store: the result lines of one job in <results dir>/<zendrel>/<job id>/.
//
// Store mode: the file restore.results, where each putLine text is one line and each item is its text, a tab and its
// status number. Raw mode: the engine writes the file itself; the store only names it (restore.out) and makes its
// directory. Lines go out whole, in the order given, with one write each, so the file is true after a crash and lines
// from several threads never mix. A carriage return or line feed inside a text is written as "<CR>" or "<LF>": one
// call is always one line.
#include <mutex>
#include <string>

#include "platform/support/FaultCounter.h"

class StoreResults : public wzfault::FailableAllocation<StoreResults> {
public:
    // Results-file kind of the job's restore results, the only kind this store keeps.
    static const int kRestoreResults = 2;

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
    // One item: its text, a tab, its status. 0, or an errno.
    int setRestoreStatusOnObject(const char* line, int status, bool flag);
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
    int writeLine(std::string text);

    const std::string directory_;
    const std::string fileName_;
    mutable std::mutex mutex_;
    int fd_ = -1;
};
