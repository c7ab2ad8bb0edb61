#pragma once
// The counters of one restore job: files and bytes restored, skipped and failed, the sizes of the file in progress,
// percent done and the tests that say when the next progress report is due.
//
// Single-thread mode (no lock) until switchMultiThreadModeOn; from then on every updating operation holds the lock,
// so updates from the reader and processing threads never interleave. Counters are atomics so that the getters,
// which take no lock, read whole values while another thread updates.
#include <atomic>
#include <cstdint>

class WzCriticalSection;

class FsRestoreStatistics {
public:
    static const int kDefaultUpdateIntervalSeconds = 300;

    explicit FsRestoreStatistics(unsigned long numFilesToRestore);
    virtual ~FsRestoreStatistics();
    FsRestoreStatistics(const FsRestoreStatistics&) = delete;
    FsRestoreStatistics& operator=(const FsRestoreStatistics&) = delete;

    // Makes the lock when there is none; true when the statistics have one.
    bool switchMultiThreadModeOn();

    // Outcomes of the current file (locked): count it, book its sizes, clear the current sizes.
    void fileSucceeded();
    void fileFailed();
    void fileSkipped();
    // Outcomes of an item settled apart from the file in progress (on another thread): booked with the item's own
    // sizes, the current file's sizes left as they are (locked).
    void fileSucceeded(unsigned long long size, unsigned long long compSize);
    void fileFailed(unsigned long long size);
    void fileSkipped(unsigned long long size);

    // Byte adders (locked).
    void bytesSucceeded(unsigned long long n);
    void bytesFailed(unsigned long long n);
    void bytesSkipped(unsigned long long n);
    void bytesCompressedSucceeded(unsigned long long n);
    void ObjectProcessed();

    void setCurrFileSize(unsigned long long n);      // locked
    void setCurrFileCompSize(unsigned long long n);  // locked
    // Both under one lock: what the reader does for every buffer and item.
    void setCurrFileSizes(unsigned long long size, unsigned long long compSize);
    void setNumFilesToRestore(unsigned long n);  // locked
    void setFilesSucceeded(unsigned long n) { _numFilesSucceeded = n; }
    void SetTimeIntervalToUpdate(int seconds) { _updateInterval = seconds; }

    // Update tests (locked; the one by time needs no lock: one caller wins each interval).
    bool timeToUpdateByFiles();
    bool timeToUpdateByBytes();
    virtual bool timeToUpdateByTime();

    // Update points (no lock).
    void updatePercentDone() { _lastPercentDone = getPercentDone(); }
    void updateNumBytesDone() { _lastBytesDone = _numBytes.load(); }

    // Succeeded and failed files (skipped ones do not count) in percent of the files announced, rounded down; 100
    // when none were announced. Not capped at 100; a ratio beyond 32 bits reads as the largest 32-bit value.
    unsigned int getPercentDone() const;

    unsigned long long getCurrFileNum() const { return _fileNum; }
    unsigned long long getNumFilesToRestore() const { return _numFilesToRestore; }
    unsigned long long getNumFilesSucceeded() const { return _numFilesSucceeded; }
    unsigned long long getNumFilesSkipped() const { return _numFilesSkipped; }
    unsigned long long getNumFilesFailed() const { return _numFilesFailed; }
    unsigned long long getNumFiles() const { return _numFilesProcessed; }
    unsigned long long getCurrFileSize() const { return _curFileSize; }
    unsigned long long getCurrFileCompSize() const { return _curFileCompSize; }
    unsigned long long getNumBytesSucceeded() const { return _numBytesSucceeded; }
    unsigned long long getNumCompBytesSucceeded() const { return _numCompBytesSucceeded; }
    unsigned long long getNumBytesSkipped() const { return _numBytesSkipped; }
    unsigned long long getNumBytesFailed() const { return _numBytesFailed; }
    unsigned long long getNumBytes() const { return _numBytes; }
    unsigned long long getObjectsProcessed() const { return _objectsProcessed; }

    // Items restored without part of what the backup holds of them: the owner (when owner errors are ignored), or
    // ACLs and extended attributes the destination cannot hold. Each item counts once per kind; the system error
    // (errno) kept is that of the first item.
    enum class Loss { Owner, AclsOrXattrs, Count };
    void itemLost(Loss what, int error);
    unsigned long long getItemsLosing(Loss what) const { return _losses[static_cast<int>(what)].items; }
    int getLossError(Loss what) const { return _losses[static_cast<int>(what)].error; }

protected:
    // The clock of the time test; a test can stand in its own.
    virtual std::int64_t now() const;

private:
    using Counter = std::atomic<unsigned long long>;

    // Books the current file into `count` and `bytes` and counts it as processed.
    void fileOutcome(Counter& count, Counter& bytes, bool keepCompressed);
    // Books an item of the given sizes; the caller holds the lock.
    void book(Counter& count, Counter& bytes, unsigned long long size, unsigned long long compressed,
              bool keepCompressed);
    void settledOutcome(Counter& count, Counter& bytes, unsigned long long size, unsigned long long compressed,
                        bool keepCompressed);
    // Adds n to `bucket` and to the byte total.
    void addBytes(Counter& bucket, unsigned long long n);

    Counter _fileNum;
    Counter _numFilesToRestore;
    Counter _numFilesSucceeded;
    Counter _numFilesSkipped;
    Counter _numFilesFailed;
    Counter _numFilesProcessed;
    std::atomic<unsigned int> _lastPercentDone;
    Counter _curFileSize;
    Counter _curFileCompSize;
    Counter _numBytesSucceeded;
    Counter _numCompBytesSucceeded;
    Counter _numBytesSkipped;
    Counter _numBytesFailed;
    Counter _numBytes;
    Counter _lastBytesDone;
    std::atomic<int> _updateInterval;
    std::atomic<std::int64_t> _lastUpdateTime;
    Counter _objectsProcessed;
    std::atomic<WzCriticalSection*> _statsLock;
    struct LossCount {
        Counter items{0};
        std::atomic<int> error{0};
    };
    LossCount _losses[static_cast<int>(Loss::Count)];
};
