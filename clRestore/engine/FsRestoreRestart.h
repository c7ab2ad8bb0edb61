#pragma once
// The restart file of a restartable job: the number of the item the job had reached and that item's name, one
// fixed record in <agent directory>/RestoreRestart/<Zendrel number>/<job id>/RestartInfo. The engine opens it at the
// last source path and reads the point once; writing it is the host's (updateRestartInfo), never the engine's.
//
// No lock: the engine uses the object on its processing thread only.
#include <cstddef>
#include <cstdint>

class EvEvent;
class FsRestoreStatistics;

// The record at offset 0 of the file, in the machine's own byte order. Its length is 1040 bytes; the last 8 carry
// nothing (written as zeros, ignored when read).
struct RestartRecord {
    uint64_t fileNum;
    // At most 1024 characters, zero-padded; not terminated when the name fills it.
    char fileName[1024];
    char unused[8];
};
static_assert(sizeof(RestartRecord) == 1040, "the restart record is 1040 bytes");

class FsRestoreRestart {
public:
    static const unsigned long long kWriteEveryBytes = 0x100000;
    // Longest path of the file that init accepts.
    static const size_t kMaxPathLength = 1031;

    FsRestoreRestart();
    ~FsRestoreRestart();
    FsRestoreRestart(const FsRestoreRestart&) = delete;
    FsRestoreRestart& operator=(const FsRestoreRestart&) = delete;

    // Opens (creating when missing, never truncating) the job's file; the statistics are not owned. 1 when open.
    int init(unsigned long zendrelNumber, long long jobId, FsRestoreStatistics* statistics);
    // 1 when the whole record is in memory (read now or before); 0 while the file holds no whole record.
    int readContents();
    // The record's file number; 0 when there is no record.
    unsigned long getRestartFileNum();
    // The record's name buffer (1024 characters, not necessarily terminated: bound it); null when there is no record.
    char* getRestartFileName();
    // Writes the statistics' current file number and `name` over the record once 1 MiB more was restored since the
    // last write. 1 when written or not yet due, 0 on a failure (or before init).
    int updateRestartInfo(char* name);

private:
    FsRestoreStatistics* _statistics;  // not owned
    int _fd;
    RestartRecord _record;
    unsigned long long lastWriteBytes;
    EvEvent* _logger;
    int mustRead;
};
