#include "clRestore/support/FsRestoreStatistics.h"

#include <ctime>
#include <limits>
#include <new>

#include "platform/threads/WzCriticalSection.h"

FsRestoreStatistics::FsRestoreStatistics(unsigned long numFilesToRestore)
    : _fileNum(0),
      _numFilesToRestore(numFilesToRestore),
      _numFilesSucceeded(0),
      _numFilesSkipped(0),
      _numFilesFailed(0),
      _numFilesProcessed(0),
      _lastPercentDone(0),
      _curFileSize(0),
      _curFileCompSize(0),
      _numBytesSucceeded(0),
      _numCompBytesSucceeded(0),
      _numBytesSkipped(0),
      _numBytesFailed(0),
      _numBytes(0),
      _lastBytesDone(0),
      _updateInterval(kDefaultUpdateIntervalSeconds),
      _lastUpdateTime(0),
      _objectsProcessed(0),
      _statsLock(nullptr) {}

FsRestoreStatistics::~FsRestoreStatistics() {
    delete _statsLock.load();
}

bool FsRestoreStatistics::switchMultiThreadModeOn() {
    if (_statsLock.load() != nullptr) {
        return true;
    }
    WzCriticalSection* made = nullptr;
    try {
        made = new WzCriticalSection();
    } catch (...) {
        return false;
    }
    // Two threads switching at once keep the first lock made.
    WzCriticalSection* expected = nullptr;
    if (!_statsLock.compare_exchange_strong(expected, made)) {
        delete made;
    }
    return true;
}

void FsRestoreStatistics::book(Counter& count, Counter& bytes, unsigned long long size, unsigned long long compressed,
                               bool keepCompressed) {
    ++count;
    bytes += size;
    _numBytes += size;
    if (keepCompressed) {
        _numCompBytesSucceeded += compressed;
    }
    ++_numFilesProcessed;
    ++_fileNum;
}

void FsRestoreStatistics::fileOutcome(Counter& count, Counter& bytes, bool keepCompressed) {
    WzCriticalSectionLock lock(_statsLock.load());
    unsigned long long size = _curFileSize.exchange(0);
    unsigned long long compressed = _curFileCompSize.exchange(0);
    book(count, bytes, size, compressed, keepCompressed);
}

void FsRestoreStatistics::settledOutcome(Counter& count, Counter& bytes, unsigned long long size,
                                         unsigned long long compressed, bool keepCompressed) {
    WzCriticalSectionLock lock(_statsLock.load());
    book(count, bytes, size, compressed, keepCompressed);
}

void FsRestoreStatistics::itemLost(Loss what, int error) {
    LossCount& loss = _losses[static_cast<int>(what)];
    int none = 0;
    loss.error.compare_exchange_strong(none, error);
    ++loss.items;
}

void FsRestoreStatistics::fileSucceeded() {
    fileOutcome(_numFilesSucceeded, _numBytesSucceeded, true);
}

void FsRestoreStatistics::fileFailed() {
    fileOutcome(_numFilesFailed, _numBytesFailed, false);
}

void FsRestoreStatistics::fileSkipped() {
    fileOutcome(_numFilesSkipped, _numBytesSkipped, false);
}

void FsRestoreStatistics::fileSucceeded(unsigned long long size, unsigned long long compSize) {
    settledOutcome(_numFilesSucceeded, _numBytesSucceeded, size, compSize, true);
}

void FsRestoreStatistics::fileFailed(unsigned long long size) {
    settledOutcome(_numFilesFailed, _numBytesFailed, size, 0, false);
}

void FsRestoreStatistics::fileSkipped(unsigned long long size) {
    settledOutcome(_numFilesSkipped, _numBytesSkipped, size, 0, false);
}

void FsRestoreStatistics::addBytes(Counter& bucket, unsigned long long n) {
    WzCriticalSectionLock lock(_statsLock.load());
    bucket += n;
    _numBytes += n;
}

void FsRestoreStatistics::bytesSucceeded(unsigned long long n) {
    addBytes(_numBytesSucceeded, n);
}

void FsRestoreStatistics::bytesFailed(unsigned long long n) {
    addBytes(_numBytesFailed, n);
}

void FsRestoreStatistics::bytesSkipped(unsigned long long n) {
    addBytes(_numBytesSkipped, n);
}

void FsRestoreStatistics::bytesCompressedSucceeded(unsigned long long n) {
    WzCriticalSectionLock lock(_statsLock.load());
    _numCompBytesSucceeded += n;
}

void FsRestoreStatistics::ObjectProcessed() {
    WzCriticalSectionLock lock(_statsLock.load());
    ++_objectsProcessed;
}

void FsRestoreStatistics::setCurrFileSize(unsigned long long n) {
    WzCriticalSectionLock lock(_statsLock.load());
    _curFileSize = n;
}

void FsRestoreStatistics::setCurrFileCompSize(unsigned long long n) {
    WzCriticalSectionLock lock(_statsLock.load());
    _curFileCompSize = n;
}

void FsRestoreStatistics::setCurrFileSizes(unsigned long long size, unsigned long long compSize) {
    WzCriticalSectionLock lock(_statsLock.load());
    _curFileSize = size;
    _curFileCompSize = compSize;
}

void FsRestoreStatistics::setNumFilesToRestore(unsigned long n) {
    WzCriticalSectionLock lock(_statsLock.load());
    _numFilesToRestore = n;
}

bool FsRestoreStatistics::timeToUpdateByFiles() {
    WzCriticalSectionLock lock(_statsLock.load());
    return getPercentDone() != _lastPercentDone.load();
}

bool FsRestoreStatistics::timeToUpdateByBytes() {
    WzCriticalSectionLock lock(_statsLock.load());
    return _numBytes.load() - _lastBytesDone.load() > 0xFFFFu;
}

bool FsRestoreStatistics::timeToUpdateByTime() {
    std::int64_t current = now();
    std::int64_t last = _lastUpdateTime.load();
    // The whole 64-bit difference: seconds counted in 32 bits read as negative from 2038 on, and no report would
    // ever be due by time again. Of callers that find the interval passed at once, the one that moves the time on
    // answers true.
    return current - last >= _updateInterval.load() && _lastUpdateTime.compare_exchange_strong(last, current);
}

unsigned int FsRestoreStatistics::getPercentDone() const {
    unsigned long long announced = _numFilesToRestore;
    if (announced == 0) {
        return 100;
    }
    // Exact integer arithmetic: 128 bits hold the sum of two 64-bit counts times 100.
    unsigned __int128 done = static_cast<unsigned __int128>(_numFilesSucceeded.load()) + _numFilesFailed.load();
    unsigned __int128 percent = done * 100u / announced;
    const unsigned int most = std::numeric_limits<unsigned int>::max();
    return percent > most ? most : static_cast<unsigned int>(percent);
}

std::int64_t FsRestoreStatistics::now() const {
    return static_cast<std::int64_t>(time(nullptr));
}
