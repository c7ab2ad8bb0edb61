#pragma once
// The backup index's file services: optional files kept with a subclient's backups fetched into a directory, a
// subclient's own directory, and the index host named in a mangled network host name.
//
// The index's files are those of one fixture directory, named by the settings file ([IndexFetch] source = DIR) or by
// setIndexFetchSource (which takes precedence; "" forgets it). A fetch copies every regular file of it whose name
// matches one of the patterns (shell wildcards) into the directory asked for, replacing files of the same name.
// Subclient directories are the directory field of the [Subclients] lines (platform/apps/ClientApplications.h).
// Every fetch is recorded, so a test sees what was asked.
#include <list>
#include <string>
#include <vector>

#include "platform/index/IndexRecords.h"
#include "platform/support/FaultCounter.h"

// Fetches the index files matching `patterns` into `directory`: 0 on success, -1 when the index has no files
// source, the source or the directory cannot be read or written, or a copy fails.
int GetIndexFiles(std::string host, unsigned int zendrelId, unsigned int applicationNumber, unsigned int toTime,
                  long long reserved, unsigned int browseMode, unsigned int flags, const char* directory,
                  std::list<std::string>* patterns, unsigned int* count);

// The directory of subclient `subclientId` into the record's first text: 0, or -1 for an unknown subclient or one
// whose directory does not fit.
int GetSubclientDirAndFiles(unsigned int zendrelId, unsigned int subclientId, subclientFiles* record, int kind,
                            const char* context);

// Splits a mangled network host name ("client*host") into its client name and host name; the numbers are 0. A name
// without '*' is the host itself.
void DemangleHostName(const char* mangled, std::string& client, std::string& host, int& first, int& second);

namespace wzindex {

struct IndexFetch {
    std::string host;
    unsigned int zendrelId = 0;
    unsigned int applicationNumber = 0;
    unsigned int toTime = 0;
    unsigned int browseMode = 0;
    std::string directory;
    std::vector<std::string> patterns;
};

void setIndexFetchSource(const std::string& directory);
// The fetches since the last clearIndexFetches, in order.
std::vector<IndexFetch> indexFetches();
void clearIndexFetches();
// Test hooks: armed, the fetch fails (-1) before copying anything; a subclient's directory is not found.
wzfault::FaultCounter& indexFetchFaults();
wzfault::FaultCounter& subclientDirFaults();

}  // namespace wzindex
