#pragma once
// The extent-restore engine of image-level jobs: restores one extent of an archived item from the archive files of
// the media directory into a staging file, and tells how that went.
//
// Our extents: extent `ver` of the item whose first buffer lies at `offset` of archive file `archiveFileId` (the
// third word of the identifier) is the window of kExtentWindowBytes bytes of the item's data (a link's target is its
// data) starting at ver * kExtentWindowBytes; holes come out as zeros. The staging file is "Extent<nodenum>" in the
// first source directory of the restore parameters (made with mode 0700 when missing), so the caller names the
// extent by the number it gives as `nodenum`. An item that ends before the window gives a shorter or empty file.
#include <cstdint>
#include <string>
#include <vector>

// The archive file an extent lies in: the third word is the archive file's id.
struct ArchiveFileId_t {
    uint32_t words[4] = {0, 0, 0, 0};
};
struct NasRestoreInfo;

class WZRestoreFiles {
public:
    static constexpr uint64_t kExtentWindowBytes = 64 << 10;
    // What WaitForStatusOfExtentFile answers.
    static constexpr int kStatusRestored = 0;
    static constexpr int kStatusFailed = 0x1700003e;
    static constexpr int kStatusDiskFull = 0x17000046;

    // 1 on success.
    int setOptions(unsigned long options);
    int init(const char* clientName, const char* hostName, const char* subclientName, int streams, int flags,
             long long jobId, unsigned long long appNumber, unsigned long initOptions, unsigned long long zendrelNumber,
             unsigned long long copyPrecedence, const char* firstPath, const char* secondPath,
             void* reserved1 = nullptr, void* reserved2 = nullptr, void* reserved3 = nullptr, void* reserved4 = nullptr,
             long reserved5 = 0, long reserved6 = 0);
    int setRestoreParameters(const char** sources, int sourceCount, const char** destinations, int* flags,
                             int destinationCount, unsigned long options);
    // Restores one extent (see above). 1 when the restore ran, whatever its status; anything else when it could not
    // be run (not initialised, no parameters, no staging directory).
    int restoreFile(ArchiveFileId_t archiveFile, unsigned long long offset, unsigned long long nodenum,
                    unsigned long ver, char* unusedName, NasRestoreInfo* nas, int unusedFlags);
    // The status of the last extent restored: kStatusRestored, kStatusFailed, or kStatusDiskFull when the staging
    // file could not be written for want of space.
    int WaitForStatusOfExtentFile();
    int finalize(int status, unsigned long options) { return finalize(status, options, true); }
    int finalize(int status, unsigned long options, bool flag);
    void SetDoNotUnRegisterJob() { m_doNotUnRegisterJob = true; }

    // Test hook: while not 0, writes to staging files fail with this errno.
    static void setStagingWriteFailure(int err);

private:
    bool m_doNotUnRegisterJob = false;
    bool m_initialised = false;
    unsigned long m_options = 0;
    std::vector<std::string> m_sources;
    int m_status = kStatusFailed;
};
